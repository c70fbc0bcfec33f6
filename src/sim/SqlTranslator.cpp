#include "sim/SqlTranslator.h"

#include <QRegularExpression>

#include <algorithm>
#include <cstring>
#include <utility>

// What the rewriting understands:
// - names: [bracketed] and "quoted" names, db..object, db.owner.object, owner.object; table
//   positions (after FROM, JOIN, UPDATE, INTO, DELETE) are resolved to the engine's schemas;
// - DELETE without FROM;
// - N'...' literals; -- and /* */ comments;
// - "+" as text concatenation (the program adds no numbers in its statements; "+" between two
//   number literals stays an addition);
// - ISNULL, LEFT, RIGHT, LEN, CHARINDEX, GETDATE, DB_NAME, SERVERPROPERTY, DATABASEPROPERTY,
//   DATABASEPROPERTYEX, HAS_PERMS_BY_NAME and IS_SRVROLEMEMBER, which the engine provides under
//   its own names;
// - @@VERSION, @@SERVERNAME, @@SPID and @@TRANCOUNT.
// One change is for speed only: "FROM t1 FULL JOIN t2 ON ..." becomes "FROM t2 FULL JOIN t1 ON
// ...". The result is the same (the program names its columns and orders its listings), but the
// engine loops over the first table and probes the second, and the program's full joins name the
// database list first: probed by its key, 120,000 period rows against 10,000 databases take a
// fraction of a second instead of minutes. When the WHERE needs a row of the (new) first table,
// the FULL JOIN keeps what a LEFT JOIN keeps and becomes one, so that the engine filters that
// table's rows before it probes the other (one account's years: 24 ms instead of 150).
// Another is for speed too: "name LIKE <pattern>", where name can only be the database list's
// column and the pattern is an expression, not a literal (one per account in the listings'
// joins), gets
// "AND name BETWEEN tsql_names_first(<pattern>) AND tsql_names_last(<pattern>)", the first and
// the last database name the pattern matches, so that the engine searches the database list's
// index between them instead of comparing every name; the LIKE still decides.
namespace quenlor::sim::sql {

namespace {

bool isWordStart(QChar c) {
    return c.isLetter() || c == u'_' || c == u'#' || (c.unicode() > 0x7F && !c.isSpace());
}

bool isWordPart(QChar c) {
    return isWordStart(c) || c.isDigit() || c == u'$' || c == u'@';
}

// Index of the next significant token after i, or -1.
qsizetype nextSignificant(const QList<Token>& tokens, qsizetype i) {
    for (qsizetype k = i + 1; k < tokens.size(); ++k) {
        if (tokens[k].kind != TokenKind::Space && tokens[k].kind != TokenKind::Comment)
            return k;
    }
    return -1;
}

qsizetype previousSignificant(const QList<Token>& tokens, qsizetype i) {
    for (qsizetype k = i - 1; k >= 0; --k) {
        if (tokens[k].kind != TokenKind::Space && tokens[k].kind != TokenKind::Comment)
            return k;
    }
    return -1;
}

bool isSymbol(const QList<Token>& tokens, qsizetype i, QStringView symbol) {
    return i >= 0 && i < tokens.size() && tokens[i].kind == TokenKind::Symbol &&
           tokens[i].text == symbol;
}

bool isName(const QList<Token>& tokens, qsizetype i) {
    return i >= 0 && i < tokens.size() &&
           (tokens[i].kind == TokenKind::Word || tokens[i].kind == TokenKind::QuotedName);
}

QString quoted(const QString& name) {
    QString escaped = name;
    escaped.replace(u'"', QStringLiteral("\"\""));
    return u'"' + escaped + u'"';
}

// Functions the engine registers under its own names, because the engine's grammar either
// reserves the word (LEFT, RIGHT, ISNULL) or lacks the function.
QString engineFunction(const QString& upper) {
    static const QStringList renamed = {QStringLiteral("LEFT"),
                                        QStringLiteral("RIGHT"),
                                        QStringLiteral("LEN"),
                                        QStringLiteral("CHARINDEX"),
                                        QStringLiteral("GETDATE"),
                                        QStringLiteral("DB_NAME"),
                                        QStringLiteral("SERVERPROPERTY"),
                                        QStringLiteral("DATABASEPROPERTY"),
                                        QStringLiteral("DATABASEPROPERTYEX"),
                                        QStringLiteral("HAS_PERMS_BY_NAME"),
                                        QStringLiteral("IS_SRVROLEMEMBER")};
    if (upper == QLatin1String("ISNULL"))
        return QStringLiteral("ifnull");
    if (renamed.contains(upper))
        return QStringLiteral("tsql_") + upper.toLower();
    return {};
}

// The value the server itself gives for a global variable, as an engine expression.
QString variableExpression(const QString& upper) {
    if (upper == QLatin1String("@@VERSION"))
        return QStringLiteral("tsql_version()");
    if (upper == QLatin1String("@@SERVERNAME"))
        return QStringLiteral("tsql_servername()");
    if (upper == QLatin1String("@@SPID"))
        return QStringLiteral("tsql_spid()");
    if (upper == QLatin1String("@@TRANCOUNT"))
        return QStringLiteral("tsql_trancount()");
    return {};
}

// ---- LIKE on the database list's names ----

bool isWordIn(const QList<Token>& tokens, qsizetype i, const QStringList& upperWords) {
    return i >= 0 && i < tokens.size() && tokens[i].kind == TokenKind::Word &&
           upperWords.contains(tokens[i].text.toUpper());
}

bool isNameColumn(const QList<Token>& tokens, qsizetype i) {
    return isName(tokens, i) && unquoteName(tokens[i]).compare(u"name", Qt::CaseInsensitive) == 0;
}

// Where the pattern after the LIKE at like ends (the index of the token after it), when it is a
// plain expression: operands (literals, variables, names, calls, parenthesised expressions)
// joined by "+", followed by the end of a condition. -1 for anything else (ESCAPE, NOT, a
// comparison, ...), which keeps its LIKE as it is.
qsizetype likePatternEnd(const QList<Token>& tokens, qsizetype like) {
    static const QStringList conditionEnds = {
        QStringLiteral("AND"),    QStringLiteral("OR"),    QStringLiteral("THEN"),
        QStringLiteral("WHERE"),  QStringLiteral("ORDER"), QStringLiteral("GROUP"),
        QStringLiteral("HAVING"), QStringLiteral("UNION"), QStringLiteral("JOIN"),
        QStringLiteral("LEFT"),   QStringLiteral("RIGHT"), QStringLiteral("FULL"),
        QStringLiteral("INNER"),  QStringLiteral("CROSS")};
    qsizetype i = nextSignificant(tokens, like);
    for (;;) {
        if (i < 0)
            return -1;
        if (isSymbol(tokens, i, u"(") ||
            (isName(tokens, i) && !isWordIn(tokens, i, conditionEnds) &&
             isSymbol(tokens, nextSignificant(tokens, i), u"("))) {
            // A call or a parenthesised expression: up to its closing parenthesis.
            int depth = 0;
            for (i = isSymbol(tokens, i, u"(") ? i : nextSignificant(tokens, i); i >= 0;
                 i = nextSignificant(tokens, i)) {
                depth += isSymbol(tokens, i, u"(") ? 1 : isSymbol(tokens, i, u")") ? -1 : 0;
                if (depth == 0)
                    break;
            }
            if (i < 0)
                return -1;
        } else if (isName(tokens, i) && !isWordIn(tokens, i, conditionEnds)) {
            while (isSymbol(tokens, nextSignificant(tokens, i), u".") &&
                   isName(tokens, nextSignificant(tokens, nextSignificant(tokens, i))))
                i = nextSignificant(tokens, nextSignificant(tokens, i));
        } else if (tokens[i].kind != TokenKind::String && tokens[i].kind != TokenKind::Number &&
                   tokens[i].kind != TokenKind::Variable) {
            return -1;
        }
        const qsizetype next = nextSignificant(tokens, i);
        if (!isSymbol(tokens, next, u"+"))
            return next < 0 || isSymbol(tokens, next, u")") || isWordIn(tokens, next, conditionEnds)
                       ? (next < 0 ? tokens.size() : next)
                       : -1;
        i = nextSignificant(tokens, next);
    }
}

// Whether an unqualified "name" in the statement can only be the database list's column: the
// statement reads the database list, no other table it reads has such a column, and "name"
// names no column of the statement's own ("x as name", "x name").
bool nameMeansDatabaseList(const QList<Token>& tokens, const QList<TableTarget>& tables) {
    const auto databaseList = [](const TableTarget& t) {
        return t.schema == QLatin1String("main") && t.table == QLatin1String("sysdatabases");
    };
    if (std::none_of(tables.begin(), tables.end(), databaseList))
        return false;
    for (const TableTarget& t : tables) {
        if (!databaseList(t) && t.nameColumn)
            return false;
    }
    static const QStringList before = {
        QStringLiteral("SELECT"), QStringLiteral("DISTINCT"), QStringLiteral("WHERE"),
        QStringLiteral("ON"),     QStringLiteral("AND"),      QStringLiteral("OR"),
        QStringLiteral("WHEN"),   QStringLiteral("THEN"),     QStringLiteral("ELSE"),
        QStringLiteral("NOT"),    QStringLiteral("BY"),       QStringLiteral("LIKE"),
        QStringLiteral("IS"),     QStringLiteral("IN"),       QStringLiteral("BETWEEN"),
        QStringLiteral("CASE"),   QStringLiteral("HAVING"),   QStringLiteral("SET")};
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        if (!isNameColumn(tokens, i) || isSymbol(tokens, previousSignificant(tokens, i), u"."))
            continue;
        const qsizetype p = previousSignificant(tokens, i);
        if (p >= 0 && (tokens[p].kind == TokenKind::Word
                           ? !isWordIn(tokens, p, before)
                           : !(tokens[p].kind == TokenKind::Symbol && tokens[p].text != u")")))
            return false;
    }
    return true;
}

// Whether the statement's WHERE (the first one at the outer level after from) holds, as one
// of the terms ANDed at its top, a column of alias compared with a literal: false for a row
// where alias's table has no row, so a FULL JOIN with that table first keeps only what a LEFT
// JOIN keeps. Any OR at the top, and nothing is concluded.
bool whereRejectsNullsOf(const QString& sql, qsizetype from, const QString& alias) {
    const QRegularExpression comparison(
        QStringLiteral(R"(^"%1"\."[^"]+"\s*=\s*(?:\d+|'[^']*'(?:\s+collate\s+tsql)?)$)")
            .arg(QRegularExpression::escape(alias)),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression word(QStringLiteral(R"(\G\w+)"));
    QStringList terms;
    qsizetype depth = 0, start = -1, i = from;
    for (; i < sql.size(); ++i) {
        const QChar c = sql[i];
        if (c == u'\'' || c == u'"') { // a text or a quoted name: skipped whole
            const qsizetype end = sql.indexOf(c, i + 1);
            i = end < 0 ? sql.size() - 1 : end;
            continue;
        }
        depth += c == u'(' ? 1 : (c == u')' ? -1 : 0);
        if (depth < 0)
            break;
        if (depth != 0 || !c.isLetter() || sql[i - 1].isLetterOrNumber() || sql[i - 1] == u'_')
            continue;
        const QString w = word.match(sql, i).captured().toLower();
        if (start >= 0 && (w == u"or" || w == u"order" || w == u"group" || w == u"and")) {
            if (w == u"or")
                return false;
            if (w != u"and")
                break;
            terms << sql.mid(start, i - start).trimmed();
            start = i + 3;
        } else if (start < 0 && w == u"where") {
            start = i + 5;
        }
        i += w.size() - 1;
    }
    if (start >= 0)
        terms << sql.mid(start, i - start).trimmed();
    return std::any_of(terms.begin(), terms.end(),
                       [&comparison](const QString& t) { return comparison.match(t).hasMatch(); });
}

QString swapFirstFullJoin(const QString& sql) {
    static const QRegularExpression pattern(
        // Groups: FROM, first table, "full [outer] join", second table, ON.
        QStringLiteral(
            R"((\bfrom\s+)("[^"]*"\."[^"]*"(?:\s+as\s+\w+|\s+(?!full\b)\w+)?)(\s+full\s+)"
            R"((?:outer\s+)?join\s+)("[^"]*"\."[^"]*"(?:\s+as\s+\w+|\s+(?!on\b)\w+)?)(\s+on\b))"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = pattern.match(sql);
    if (!m.hasMatch())
        return sql;
    static const QRegularExpression alias(QStringLiteral(R"((?:\s+as)?\s+(\w+)$)"),
                                          QRegularExpression::CaseInsensitiveOption);
    const QString first = alias.match(m.captured(4)).captured(1);
    const bool left = !first.isEmpty() && whereRejectsNullsOf(sql, m.capturedEnd(), first);
    QString out = sql;
    out.replace(m.capturedStart(), m.capturedLength(),
                m.captured(1) + m.captured(4) +
                    (left ? m.captured(3).replace(QStringLiteral("full"), QStringLiteral("left"),
                                                  Qt::CaseInsensitive)
                          : m.captured(3)) +
                    m.captured(2) + m.captured(5));
    return out;
}

} // namespace

QList<Token> tokenize(const QString& sql) {
    QList<Token> tokens;
    const qsizetype n = sql.size();
    qsizetype i = 0;
    auto add = [&](TokenKind kind, qsizetype from, qsizetype to) {
        tokens.append(Token{kind, sql.mid(from, to - from)});
    };
    while (i < n) {
        const QChar c = sql[i];
        const qsizetype start = i;
        if (c.isSpace()) {
            while (i < n && sql[i].isSpace())
                ++i;
            add(TokenKind::Space, start, i);
        } else if (c == u'-' && i + 1 < n && sql[i + 1] == u'-') {
            while (i < n && sql[i] != u'\n')
                ++i;
            add(TokenKind::Comment, start, i);
        } else if (c == u'/' && i + 1 < n && sql[i + 1] == u'*') {
            const qsizetype end = sql.indexOf(QStringLiteral("*/"), i + 2);
            i = end < 0 ? n : end + 2;
            add(TokenKind::Comment, start, i);
        } else if (c == u'\'' || ((c == u'N' || c == u'n') && i + 1 < n && sql[i + 1] == u'\'')) {
            const qsizetype open = c == u'\'' ? i : i + 1;
            i = open + 1;
            while (i < n) {
                if (sql[i] == u'\'') {
                    if (i + 1 < n && sql[i + 1] == u'\'') {
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                ++i;
            }
            add(TokenKind::String, open, i);
        } else if (c == u'[' || c == u'"') {
            const QChar close = c == u'[' ? QChar(u']') : QChar(u'"');
            ++i;
            while (i < n) {
                if (sql[i] == close) {
                    if (i + 1 < n && sql[i + 1] == close) {
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                ++i;
            }
            add(TokenKind::QuotedName, start, i);
        } else if (c == u'@') {
            ++i;
            while (i < n && (sql[i] == u'@' || isWordPart(sql[i])))
                ++i;
            add(TokenKind::Variable, start, i);
        } else if (c.isDigit()) {
            while (i < n && (sql[i].isDigit() || sql[i] == u'.'))
                ++i;
            add(TokenKind::Number, start, i);
        } else if (isWordStart(c)) {
            while (i < n && isWordPart(sql[i]))
                ++i;
            add(TokenKind::Word, start, i);
        } else {
            ++i;
            if (i < n) {
                const QString two = sql.mid(start, 2);
                if (two == QLatin1String("<>") || two == QLatin1String("!=") ||
                    two == QLatin1String(">=") || two == QLatin1String("<="))
                    ++i;
            }
            add(TokenKind::Symbol, start, i);
        }
    }
    return tokens;
}

namespace {

using namespace Qt::StringLiterals;

// What splitting a batch needs to know of the statement so far: its significant tokens,
// upper-cased, as far as they decide where the next statement starts.
struct StatementSoFar {
    QString first, beforeLast, last;
    bool rowsNamed = false; // a SELECT, VALUES or EXEC that gives an INSERT its rows
    bool setNamed = false;

    void add(const QString& token) {
        if (first.isEmpty())
            first = token;
        rowsNamed = rowsNamed || token == u"SELECT"_s || token == u"VALUES"_s ||
                    token == u"EXEC"_s || token == u"EXECUTE"_s;
        setNamed = setNamed || token == u"SET"_s;
        beforeLast = std::exchange(last, token);
    }

    // Whether word, met outside parentheses, starts a statement of its own: T-SQL needs no ';'
    // between statements, but some of these words also go on one (INSERT ... SELECT, UNION
    // SELECT, UPDATE ... SET, ALTER DATABASE ... SET ... WITH ROLLBACK IMMEDIATE, DROP DATABASE
    // IF EXISTS).
    bool startsNew(const QString& word) const {
        static const QStringList starts = {
            u"SELECT"_s, u"INSERT"_s,    u"UPDATE"_s,   u"DELETE"_s, u"ALTER"_s,    u"DROP"_s,
            u"CREATE"_s, u"USE"_s,       u"BEGIN"_s,    u"COMMIT"_s, u"ROLLBACK"_s, u"SAVE"_s,
            u"EXEC"_s,   u"EXECUTE"_s,   u"IF"_s,       u"WHILE"_s,  u"DECLARE"_s,  u"SET"_s,
            u"PRINT"_s,  u"RAISERROR"_s, u"TRUNCATE"_s, u"RETURN"_s, u"GRANT"_s,    u"DBCC"_s};
        static const QStringList joining = {u"WITH"_s,  u"ON"_s,  u"FOR"_s,    u"AS"_s,
                                            u"UNION"_s, u"ALL"_s, u"EXCEPT"_s, u"INTERSECT"_s};
        if (first.isEmpty() || !starts.contains(word) || joining.contains(last))
            return false;
        if (word == u"SELECT"_s || word == u"EXEC"_s || word == u"EXECUTE"_s)
            return first != u"INSERT"_s || rowsNamed;
        if (word == u"SET"_s && (first == u"UPDATE"_s || first == u"ALTER"_s))
            return setNamed;
        return word != u"IF"_s || beforeLast != u"DROP"_s;
    }
};

} // namespace

QStringList splitStatements(const QString& batch) {
    QStringList statements;
    QString current;
    StatementSoFar soFar;
    int depth = 0; // of parentheses
    const auto finish = [&] {
        if (!current.trimmed().isEmpty())
            statements << current.trimmed();
        current.clear();
        soFar = {};
        depth = 0;
    };
    for (const Token& t : tokenize(batch)) {
        if (t.kind == TokenKind::Symbol && t.text == QLatin1String(";")) {
            finish();
            continue;
        }
        if (t.kind == TokenKind::Comment) {
            current += u' ';
            continue;
        }
        if (t.kind == TokenKind::Word && depth == 0 && soFar.startsNew(t.text.toUpper()))
            finish();
        if (t.kind == TokenKind::Symbol)
            depth += t.text == QLatin1String("(") ? 1 : (t.text == QLatin1String(")") ? -1 : 0);
        if (t.kind != TokenKind::Space)
            soFar.add(t.text.toUpper());
        current += t.text;
    }
    finish();
    return statements;
}

QStringList leadingWords(const QString& statement, int count) {
    QStringList words;
    for (const Token& t : tokenize(statement)) {
        if (words.size() >= count)
            break;
        if (t.kind == TokenKind::Space || t.kind == TokenKind::Comment)
            continue;
        words << t.text.toUpper();
    }
    return words;
}

QString unquoteName(const Token& token) {
    if (token.kind != TokenKind::QuotedName || token.text.size() < 2)
        return token.text;
    const QChar close = token.text.front() == u'[' ? QChar(u']') : QChar(u'"');
    QString inner = token.text.mid(1, token.text.size() - 2);
    inner.replace(QString(2, close), QString(close));
    return inner;
}

QString overlongName(const QString& batch) {
    constexpr qsizetype longest = 128;
    for (const Token& t : tokenize(batch)) {
        if (t.kind != TokenKind::Word && t.kind != TokenKind::QuotedName)
            continue;
        if (const QString name = unquoteName(t); name.size() > longest)
            return name.left(longest);
    }
    return {};
}

Translation translate(const QString& statement, const TableResolver& resolve) {
    const QList<Token> tokens = tokenize(statement);
    Translation result;
    QString& out = result.sql;
    bool expectTable = false;
    int depth = 0;             // of parentheses
    QList<int> fromLists;      // depths at which a FROM list is open
    QList<int> collateClosing; // depths whose closing parenthesis ends a text function's call
    // Texts the statement makes (literals, LEFT, RIGHT, ISNULL) compare as the server's columns
    // do, whichever side of a comparison they stand on.
    const QString collate = QStringLiteral(" COLLATE tsql");
    QList<TableTarget> tables; // every table the statement reads or changes
    // "name LIKE <pattern>" conditions: where their pattern starts and ends in the output.
    struct LikeSite {
        qsizetype from = 0, to = -1, endToken = -1;
    };
    QList<LikeSite> likes;

    for (qsizetype i = 0; i < tokens.size(); ++i) {
        if (!likes.isEmpty() && likes.last().to < 0 && i >= likes.last().endToken)
            likes.last().to = out.size();
        const Token& t = tokens[i];
        switch (t.kind) {
        case TokenKind::Space:
        case TokenKind::Comment:
            out += u' ';
            continue;
        case TokenKind::String:
            out += t.text + collate;
            expectTable = false;
            continue;
        case TokenKind::Number:
            out += t.text;
            expectTable = false;
            continue;
        case TokenKind::Variable: {
            const QString expression = variableExpression(t.text.toUpper());
            if (expression.isEmpty()) {
                result.syntaxNear = t.text;
                return result;
            }
            out += expression;
            continue;
        }
        case TokenKind::Symbol:
            if (t.text == QLatin1String("+")) {
                const qsizetype before = previousSignificant(tokens, i);
                const qsizetype after = nextSignificant(tokens, i);
                const bool numbers = before >= 0 && after >= 0 &&
                                     tokens[before].kind == TokenKind::Number &&
                                     tokens[after].kind == TokenKind::Number;
                out += numbers ? QStringLiteral("+") : QStringLiteral("||");
                expectTable = false;
            } else if (t.text == QLatin1String("(")) {
                out += t.text;
                ++depth;
                expectTable = false;
            } else if (t.text == QLatin1String(")")) {
                out += t.text;
                --depth;
                while (!fromLists.isEmpty() && fromLists.last() > depth)
                    fromLists.removeLast();
                if (!collateClosing.isEmpty() && collateClosing.last() == depth) {
                    collateClosing.removeLast();
                    out += collate;
                }
                expectTable = false;
            } else {
                out += t.text;
                // The next table of a FROM list: "from a, b".
                expectTable = t.text == QLatin1String(",") && !fromLists.isEmpty() &&
                              fromLists.last() == depth;
            }
            continue;
        case TokenKind::Word:
        case TokenKind::QuotedName:
            break;
        }

        // A name, possibly dotted: db..object, db.owner.object, owner.object, alias.column.
        QStringList parts{unquoteName(t)};
        qsizetype last = i;
        for (;;) {
            const qsizetype dot = nextSignificant(tokens, last);
            if (!isSymbol(tokens, dot, u"."))
                break;
            qsizetype after = nextSignificant(tokens, dot);
            if (isSymbol(tokens, after, u".")) {
                parts << QString();
                after = nextSignificant(tokens, after);
            }
            if (!isName(tokens, after))
                break;
            parts << unquoteName(tokens[after]);
            last = after;
        }

        if (expectTable && parts.size() <= 3) {
            const QString object = parts.last();
            const QString owner = parts.size() >= 2 ? parts[parts.size() - 2] : QString();
            const QString database = parts.size() == 3 ? parts.first() : QString();
            const std::optional<TableTarget> target = resolve(database, owner, object);
            if (!target) {
                QString written;
                for (qsizetype k = i; k <= last; ++k) {
                    if (tokens[k].kind != TokenKind::Space && tokens[k].kind != TokenKind::Comment)
                        written += tokens[k].text;
                }
                result.invalidObject = written;
                return result;
            }
            out += quoted(target->schema) + u'.' + quoted(target->table);
            tables << *target;
            i = last;
            expectTable = false;
            continue;
        }
        expectTable = false;

        if (parts.size() == 1 && t.kind == TokenKind::Word) {
            const QString upper = t.text.toUpper();
            static const QStringList listEnds = {QStringLiteral("WHERE"), QStringLiteral("GROUP"),
                                                 QStringLiteral("ORDER"), QStringLiteral("ON"),
                                                 QStringLiteral("UNION"), QStringLiteral("HAVING"),
                                                 QStringLiteral("SET"),   QStringLiteral("JOIN")};
            if (!fromLists.isEmpty() && fromLists.last() == depth && listEnds.contains(upper))
                fromLists.removeLast();
            if (upper == QLatin1String("FROM") || upper == QLatin1String("JOIN") ||
                upper == QLatin1String("UPDATE") || upper == QLatin1String("INTO")) {
                out += t.text;
                expectTable = true;
                if (upper == QLatin1String("FROM"))
                    fromLists << depth;
                continue;
            }
            if (upper == QLatin1String("LIKE")) {
                static const QStringList conditionStarts = {
                    QStringLiteral("WHERE"), QStringLiteral("ON"), QStringLiteral("AND"),
                    QStringLiteral("OR"), QStringLiteral("WHEN")};
                const qsizetype column = previousSignificant(tokens, i);
                const qsizetype before = previousSignificant(tokens, column);
                const qsizetype end = likePatternEnd(tokens, i);
                out += t.text;
                const bool open = !likes.isEmpty() && likes.last().to < 0;
                // A constant pattern is evaluated once per row anyway; the bounds serve a
                // pattern that changes with the rows of another table.
                const qsizetype first = nextSignificant(tokens, i);
                const qsizetype afterFirst = nextSignificant(tokens, first);
                const bool constant = first >= 0 && tokens[first].kind == TokenKind::String &&
                                      (afterFirst < 0 ? tokens.size() : afterFirst) == end;
                if (end >= 0 && !open && !constant && isNameColumn(tokens, column) &&
                    (isWordIn(tokens, before, conditionStarts) || isSymbol(tokens, before, u"(")))
                    likes << LikeSite{out.size(), -1, end};
                continue;
            }
            if (upper == QLatin1String("DELETE")) {
                out += t.text;
                const qsizetype next = nextSignificant(tokens, i);
                if (next < 0 || tokens[next].text.toUpper() != QLatin1String("FROM")) {
                    out += QStringLiteral(" FROM");
                    expectTable = true;
                }
                continue;
            }
            if (isSymbol(tokens, nextSignificant(tokens, i), u"(")) {
                const QString renamed = engineFunction(upper);
                out += renamed.isEmpty() ? t.text : renamed;
                if (upper == QLatin1String("LEFT") || upper == QLatin1String("RIGHT") ||
                    upper == QLatin1String("ISNULL"))
                    collateClosing << depth;
                continue;
            }
            out += t.text;
            continue;
        }

        // A dotted name in an expression: alias.column. Names are passed quoted so that words
        // the engine reserves can still name columns.
        for (qsizetype k = 0; k < parts.size(); ++k) {
            if (k > 0)
                out += u'.';
            out += quoted(parts[k]);
        }
        i = last;
    }
    if (!likes.isEmpty() && likes.last().to < 0)
        likes.last().to = out.size();
    if (!likes.isEmpty() && nameMeansDatabaseList(tokens, tables)) {
        for (qsizetype k = likes.size() - 1; k >= 0; --k) {
            const QString pattern = out.mid(likes[k].from, likes[k].to - likes[k].from);
            out.insert(likes[k].to, QStringLiteral(" AND \"name\" BETWEEN tsql_names_first(") +
                                        pattern + QStringLiteral(") AND tsql_names_last(") +
                                        pattern + QStringLiteral(") "));
        }
    }
    result.sql = swapFirstFullJoin(result.sql);
    return result;
}

} // namespace quenlor::sim::sql
