#include "core/db/SqlText.h"

namespace quenlor {

QString quoteIdentifier(const QString& name) {
    QString out = name;
    out.replace(QLatin1Char(']'), QStringLiteral("]]"));
    return QLatin1Char('[') + out + QLatin1Char(']');
}

QString quoteLiteral(const QString& value) {
    QString out = value;
    out.replace(QLatin1Char('\''), QStringLiteral("''"));
    return out;
}

QString likePattern(const QString& value) {
    QString out;
    out.reserve(value.size() + 8);
    for (const QChar c : value) {
        if (c == QLatin1Char('[') || c == QLatin1Char('%') || c == QLatin1Char('_'))
            out += QLatin1Char('[') + c + QLatin1Char(']');
        else if (c == QLatin1Char('\''))
            out += QStringLiteral("''");
        else
            out += c;
    }
    return out;
}

} // namespace quenlor
