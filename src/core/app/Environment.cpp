#include "core/app/Environment.h"

#include "core/app/ProgramState.h"

#include <QDir>
#include <QFileInfo>

namespace quenlor {

QString programFile(const QString& fileName) {
    const QDir folder(QDir::fromNativeSeparators(state().system->programFolder()));
    if (QFileInfo::exists(folder.filePath(fileName)))
        return folder.filePath(fileName);
    // Windows file names ignore letter case; find the file the same way elsewhere.
    const QStringList entries = folder.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& entry : entries) {
        if (entry.compare(fileName, Qt::CaseInsensitive) == 0)
            return folder.filePath(entry);
    }
    return folder.filePath(fileName);
}

bool FileExists(const QString& path) {
    if (path.isEmpty())
        return false;
    const QFileInfo info(QDir::fromNativeSeparators(path));
    if (!info.exists())
        return false;
    return info.isDir() || !info.isHidden();
}

bool RegKeyExists(const QString& keyPath, RegistryRoot root) {
    ProgramState& s = state();
    return root == RegistryRoot::LocalMachine && s.registry && s.registry->keyExists(keyPath);
}

QString GetLocalComputerName() {
    ProgramState& s = state();
    return s.system ? s.system->computerName() : QString();
}

} // namespace quenlor
