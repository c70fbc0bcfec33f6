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
    if (readsOnly(sql))
        return m_server.query(sql);
    m_recorded << sql;
    return {};
}

} // namespace quenlor
