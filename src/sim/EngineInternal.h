#pragma once

// What the parts of the simulated server's engine share: set-up, the functions registered with
// the embedded database, statements and their errors, and the database statements. Not part of
// the engine's interface; only the engine's own sources include it.

#include "sim/SqlTranslator.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <sqlite3.h>

namespace quenlor::sim {

class Engine;

namespace detail {

inline QString lower(const QString& s) {
    return s.toLower();
}

inline QString sqliteError(sqlite3* db) {
    return QString::fromUtf8(sqlite3_errmsg(db));
}

// A prepared statement, finalised when it goes out of scope.
struct Statement {
    sqlite3_stmt* handle = nullptr;
    ~Statement() { sqlite3_finalize(handle); }
};

const QStringList& systemDatabases();

// sysdatabases.status bits of the flags that have one.
int statusBits(const QSet<QString>& flags);

// A name as the engine's SQL quotes it.
QString quoted(const QString& name);

// The current row of a statement: NULL, a 64-bit integer, a double or text.
QList<QVariant> rowOf(sqlite3_stmt* statement);

inline bool isWord(const QList<sql::Token>& tokens, qsizetype i, const char* word) {
    return i < tokens.size() && tokens[i].kind == sql::TokenKind::Word &&
           tokens[i].text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

inline bool isName(const QList<sql::Token>& tokens, qsizetype i) {
    return i < tokens.size() &&
           (tokens[i].kind == sql::TokenKind::Word || tokens[i].kind == sql::TokenKind::QuotedName);
}

// The significant tokens of a statement: no blanks, no comments.
QList<sql::Token> significant(const QString& statement);

// Registers the collation and the functions translated statements call; the functions that ask
// about the server, its databases or the current session ask engine.
void registerFunctions(sqlite3* db, Engine* engine);

} // namespace detail
} // namespace quenlor::sim
