#pragma once

#include "platform/Profile.h"

#include <QHash>
#include <QStringList>

namespace quenlor::test {

// Values by "<file>|<section>|<key>" (section and key lower-cased); records every read.
class FakeProfile final : public Profile {
public:
    QHash<QString, QString> values;
    QStringList reads;

    static QString keyOf(const QString& file, const QString& section, const QString& key) {
        return file + QLatin1Char('|') + section.toLower() + QLatin1Char('|') + key.toLower();
    }
    QString readString(const QString& section, const QString& key, const QString& defaultValue,
                       const QString& filePath, int bufferSize) override {
        reads.append(keyOf(filePath, section, key));
        const QString v = values.value(keyOf(filePath, section, key), defaultValue);
        return v.left(bufferSize - 1);
    }
};

} // namespace quenlor::test
