#pragma once

#include "core/app/Outcome.h"

#include <QString>

namespace quenlor {

class Database;

// Drops a database after forcing it into single-user mode. Fails with the reason when the database
// does not exist or the drop fails; a failed drop puts the database back into multi-user mode
// when this call had switched it.
[[nodiscard]] Outcome DropDB(const QString& databaseName, Database* conn);

// Removes the backup and restore history msdb keeps of a database (dropped or not).
[[nodiscard]] Outcome DeleteBackupHistory(const QString& databaseName, Database* conn);

// Switches a database to single-user mode, rolling back other connections' work. Fills an empty
// ServerVersionText (and the major version) first. Done when the switch ran, or when the server
// says the database already is in single-user mode with a user connected.
Outcome SetSingleUser(const QString& databaseName, Database* conn);

// Fills an empty ServerVersionText and the major version the statement forms depend on, when
// start-up could not. A failure here is no failure of the caller's: the statement forms then
// follow the later servers.
void EnsureServerVersion(Database* conn);

// The statement with the comment line "--password " in front.
[[nodiscard]] QString AddPasswordComment(const QString& statement);

// Removes the folder that held `filePath` when it is empty. Accepts "\" and, where the system's
// own separator is "/", that one too. A bare drive or root is never removed. True when it was
// removed; a folder that could not be read or removed fails with the system's reason.
Read<bool> RemoveEmptyDir(const QString& filePath);
// The folder RemoveEmptyDir would remove for `filePath`, as the server writes it; empty when
// there is none (no folder, or a bare drive or root).
[[nodiscard]] QString ContainingFolder(const QString& filePath);

} // namespace quenlor
