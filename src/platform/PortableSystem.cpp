#include "platform/PortableSystem.h"

#include <QCoreApplication>
#include <QDir>
#include <QLockFile>
#include <QSysInfo>

#ifdef _WIN32
#include "platform/win/WinPlatform.h"
#endif

#include <cstdio>
#include <cstdlib>

namespace quenlor {

PortableSystem::PortableSystem(QString lockFilePath)
    : m_lockFilePath(lockFilePath.isEmpty() ? defaultLockFilePath() : std::move(lockFilePath)) {}

PortableSystem::~PortableSystem() = default;

QString PortableSystem::defaultLockFilePath() {
    return QDir(QDir::tempPath()).filePath(QStringLiteral("Quenlor.lock"));
}

QString PortableSystem::computerName() {
#ifdef _WIN32
    // The NetBIOS name the ERP's login expects, not the DNS host name.
    return QString::fromStdWString(win::computerName());
#else
    return QSysInfo::machineHostName();
#endif
}

QString PortableSystem::programFolder() {
    if (QCoreApplication::instance())
        return QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
    return QDir::toNativeSeparators(QDir::currentPath());
}

bool PortableSystem::acquireSingleInstance() {
    if (m_lock && m_lock->isLocked())
        return true;
    m_lock = std::make_unique<QLockFile>(m_lockFilePath);
    // Age never makes the lock stale: a copy may run for days. QLockFile still takes over a lock
    // whose owner process no longer exists, which is the copy that was killed.
    m_lock->setStaleLockTime(0);
    return m_lock->tryLock(0);
}

bool PortableSystem::openUrl(const QString& url) {
    Q_UNUSED(url);
    return false;
}

void PortableSystem::messageBox(const QString& title, const QString& text) {
    std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(text));
}

void PortableSystem::endProcess(int exitCode) {
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(exitCode);
}

} // namespace quenlor
