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
    return m_lock->tryLock(0) || takeOverOwnStaleLock();
}

bool PortableSystem::takeOverOwnStaleLock() {
    qint64 pid = 0;
    QString hostName;
    QString appName;
    if (m_lock->error() != QLockFile::LockFailedError ||
        !m_lock->getLockInfo(&pid, &hostName, &appName))
        return false;
    // QLockFile keeps a lock in this process's own name, though a copy that was killed may have
    // left it when the system then gave its process number to this one (Wine hands out the same
    // few numbers again and again). The removal fails while the lock is really held, by another
    // object of this process too: the holder keeps the file open and locked.
    if (pid != QCoreApplication::applicationPid())
        return false;
    return m_lock->removeStaleLockFile() && m_lock->tryLock(0);
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
