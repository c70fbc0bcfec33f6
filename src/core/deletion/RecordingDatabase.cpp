#include "core/deletion/RecordingDatabase.h"

#include <QRegularExpression>

namespace quenlor {

bool RecordingDatabase::readsOnly(const QString& sql) {
    // Leading blanks and comments do not change what a statement is.
    static const QRegularExpression lead(QStringLiteral(R"(^(?:\s+|--[^\n]*\n?|/\*.*?\*/)*)"),
                                         QRegularExpression::DotMatchesEverythingOption);
    const QString text = sql.mid(lead.match(sql).capturedLength());
    static const QRegularExpression select(QStringLiteral(R"(^select\b)"),
                                           QRegularExpression::CaseInsensitiveOption);
    // INTO makes a table; a semicolon or a comment may hide a second statement. Quoted texts
    // are left out of the search, so a name holding one of them does not count.
    static const QRegularExpression quoted(QStringLiteral(R"('(?:[^']|'')*'|\[(?:[^\]]|\]\])*\])"));
    QString bare = text;
    bare.replace(quoted, QStringLiteral("''"));
    static const QRegularExpression hidden(QStringLiteral(R"(\binto\b|;|--|/\*)"),
                                           QRegularExpression::CaseInsensitiveOption);
    return select.match(text).hasMatch() && !hidden.match(bare).hasMatch();
}

QueryResult RecordingDatabase::query(const QString& sql) {
    if (!readsOnly(sql)) {
        m_recorded << sql;
        return {};
    }
    QueryResult result;
    try {
        result = m_server.query(sql);
    } catch (const DbError&) {
        m_failedRead = sql;
        throw;
    }
    // Where the dry run must assume: a database whose drop it recorded is gone for the rest of
    // the run, as the real run would find it. The server still lists it, so the catalogue's
    // list of databases is answered without it.
    const int name = result.columnIndex(QStringLiteral("name"));
    if (name >= 0 && !m_dropped.isEmpty() &&
        sql.contains(QStringLiteral("sysdatabases"), Qt::CaseInsensitive)) {
        result.rows.removeIf([&](const QList<QVariant>& row) {
            return m_dropped.contains(row.value(name).toString(), Qt::CaseInsensitive);
        });
    }
    return result;
}

void RecordingDatabase::execute(const QString& sql) {
    m_recorded << sql;
    // The drop statement names its database in brackets, "]" doubled inside.
    static const QRegularExpression drop(QStringLiteral(R"(^drop database \[((?:[^\]]|\]\])*)\]$)"),
                                         QRegularExpression::CaseInsensitiveOption);
    if (const QRegularExpressionMatch m = drop.match(sql); m.hasMatch())
        m_dropped << m.captured(1).replace(QStringLiteral("]]"), QStringLiteral("]"));
}

} // namespace quenlor
