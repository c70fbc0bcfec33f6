#pragma once

// The platform interfaces over the Windows layer (src/platform/win), for the program built on
// Windows. Elsewhere the portable implementations serve.

#ifdef _WIN32

#include "platform/Automation.h"
#include "platform/Profile.h"
#include "platform/Registry.h"
#include "platform/Services.h"

#include <memory>

namespace quenlor {

class WindowsServices final : public Services {
public:
    QList<ServiceInfo> list() override;
    bool runHidden(const QString& commandLine) override;
    void sleep(int milliseconds) override;
};

class WindowsRegistry final : public Registry {
public:
    bool keyExists(const QString& keyPath) override;
};

// GetPrivateProfileStringA; the value's bytes are read as UTF-8 when they are valid UTF-8 with
// something beyond ASCII in them, otherwise in the ANSI code page.
class WindowsProfile final : public Profile {
public:
    QString readString(const QString& section, const QString& key, const QString& defaultValue,
                       const QString& filePath, int bufferSize) override;
};

// The automation host beside the program.
std::unique_ptr<Automation> makeWindowsAutomation(const QString& programFolder);

} // namespace quenlor

#endif
