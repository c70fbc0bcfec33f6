#pragma once

#include "platform/Registry.h"

#include <QSet>
#include <QStringList>

namespace quenlor::test {

// A set of existing keys below HKEY_LOCAL_MACHINE; records every key asked for.
class FakeRegistry final : public Registry {
public:
    QSet<QString> keys;
    QStringList asked;

    bool keyExists(const QString& keyPath) override {
        asked.append(keyPath);
        return keys.contains(keyPath);
    }
};

} // namespace quenlor::test
