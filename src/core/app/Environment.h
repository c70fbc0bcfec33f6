#pragma once

#include <QString>

namespace quenlor {

// What the program asks of the computer it runs on: files beside it, registry keys, its name.
// Each goes through the platform interfaces of the Program state.

// The program's folder followed by a file name (found without regard to letter case, as Windows
// finds it).
[[nodiscard]] QString programFile(const QString& fileName);

// True for an existing normal file (not hidden, not system) or folder.
[[nodiscard]] bool FileExists(const QString& path);

enum class RegistryRoot { LocalMachine };

// True when the key exists below the root; nothing is left open. Failures give false.
[[nodiscard]] bool RegKeyExists(const QString& keyPath, RegistryRoot root);

// The computer's name, or empty text when the system cannot tell it.
[[nodiscard]] QString GetLocalComputerName();

} // namespace quenlor
