#pragma once

#include "platform/System.h"

#include <QString>

#include <memory>

class QLockFile;

namespace quenlor {

// What Qt Core can do of System: the computer's host name, the program's folder and the
// single-instance lock. The message box and the browser need the windowing layer, which
// overrides them; here they only report on standard error.
class PortableSystem : public System {
public:
    // The lock file marks a running copy on this computer; the default lies in the system's
    // temporary folder, shared by every user.
    explicit PortableSystem(QString lockFilePath = QString());
    ~PortableSystem() override;

    QString computerName() override;
    QString programFolder() override;
    bool acquireSingleInstance() override;
    bool openUrl(const QString& url) override;
    void messageBox(const QString& title, const QString& text) override;
    void endProcess(int exitCode) override;

    [[nodiscard]] static QString defaultLockFilePath();

private:
    bool takeOverOwnStaleLock();

    QString m_lockFilePath;
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace quenlor
