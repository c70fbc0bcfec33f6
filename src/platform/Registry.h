#pragma once

#include <QString>

namespace quenlor {

// Read-only look at HKEY_LOCAL_MACHINE.
class Registry {
public:
    virtual ~Registry() = default;
    // True when the key below HKEY_LOCAL_MACHINE can be opened for reading; the key is closed
    // again.
    [[nodiscard]] virtual bool keyExists(const QString& keyPath) = 0;
};

class NoRegistry final : public Registry {
public:
    bool keyExists(const QString&) override { return false; }
};

} // namespace quenlor
