#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Turns the T-SQL the program sends into statements the embedded engine runs. The rewriting is
// token by token: no T-SQL grammar is parsed, so only the dialect features listed in
// SqlTranslator.cpp are understood, and everything else reaches the engine unchanged (where it
// fails with an error the server maps to a SQL Server number).
namespace quenlor::sim::sql {

enum class TokenKind { Space, Comment, String, QuotedName, Word, Number, Variable, Symbol };

struct Token {
    TokenKind kind = TokenKind::Space;
    QString text;
};

QList<Token> tokenize(const QString& sql);

// The statements of a batch, split at semicolons outside literals and names and, as T-SQL
// needs no semicolon, where a statement's first word follows a whole statement outside
// parentheses ("select 1 select 2"); comments removed, blank statements dropped.
QStringList splitStatements(const QString& batch);

// The significant words of a statement, upper-cased: the first few, enough to classify it.
QStringList leadingWords(const QString& statement, int count);

// The first 128 characters of the first name in the batch that is longer than the server
// allows (128 characters); empty when there is none.
QString overlongName(const QString& batch);

// The unquoted form of one name token: "[a]]b]" gives "a]b", "\"x\"" gives "x".
QString unquoteName(const Token& token);

// Where a table named in a statement lives.
struct TableTarget {
    QString schema; // the engine's schema name
    QString table;
    bool nameColumn = true; // whether the table has a column called "name"
};

// Resolves database (maybe empty: the session's own), owner (maybe empty) and object to a table
// of the engine; nullopt when no such object can exist (the server reports error 208).
using TableResolver = std::function<std::optional<TableTarget>(
    const QString& database, const QString& owner, const QString& object)>;

struct Translation {
    QString sql;           // for the engine
    QString invalidObject; // set when a table reference cannot be resolved
    QString syntaxNear;    // set when the statement cannot be rewritten
};

Translation translate(const QString& statement, const TableResolver& resolve);

// T-SQL LIKE: % and _, [abc], [a-z], [^...], case-insensitive for ASCII and by Unicode case
// folding otherwise. Trailing blanks of the value are ignored, as the server does for char data.
bool likeMatch(QStringView value, QStringView pattern, QChar escape = QChar());
bool likeMatchUtf8(const char* value, int valueLength, const char* pattern, int patternLength);

// The server's comparison of names and texts: case-insensitive, trailing blanks ignored.
int compareText(const char* a, int aLength, const char* b, int bLength);

} // namespace quenlor::sim::sql
