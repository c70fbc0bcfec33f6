#pragma once

#include "core/app/Outcome.h"

#include <QString>

#include <functional>

namespace quenlor {

class Database;

// An account code is exactly three letters or digits; a year exactly four digits. Anything else is
// refused before a statement is built from it.
[[nodiscard]] bool isValidAccountCode(const QString& code);
[[nodiscard]] bool isValidYear(const QString& year);
// A database name the server can hold: not empty, at most 128 characters.
[[nodiscard]] bool isValidDatabaseName(const QString& name);

// The server's databases of an account set and of one of its years, as conditions on
// master..sysdatabases; the code and year must have been checked.
[[nodiscard]] QString accountSetDatabases(const QString& accountCode);
[[nodiscard]] QString yearDatabases(const QString& accountCode, const QString& year);

// Told the name of each database just before it is dropped.
using DropNotice = std::function<void(const QString& database)>;

// What the caller of a worker hears, and decides, while the worker drops databases.
struct DropHooks {
    DropNotice dropping;
    // Removes the folder a dropped database's file lay in once it is empty; RemoveEmptyDir when
    // unset. A dry run only notes the folder.
    std::function<void(const QString& filePath)> removeFolder;
    // With backupHistory each dropped database's backup and restore history goes too, right
    // after its drop; a failure there is told to historyFailed and the worker goes on.
    bool backupHistory = false;
    std::function<void(const QString& database, const Outcome& failure)> historyFailed;
};

// Drops one database as the workers do: tells hooks.dropping first and, after a drop that went
// through, removes its backup history when hooks ask for it.
[[nodiscard]] Outcome DropWithHooks(const QString& databaseName, Database* conn,
                                    const DropHooks& hooks);

// Removes an account set of the ufsystem catalogue (one transaction) and, with deleteDatabases,
// drops its databases and removes the folders they leave empty. catalogueRemoved, when given,
// tells whether the catalogue's rows went, whatever became of the databases.
[[nodiscard]] Outcome DeleteAcc_UF(const QString& accountCode, Database* conn, bool deleteDatabases,
                                   bool* catalogueRemoved = nullptr, const DropHooks& hooks = {});

// Removes one year of an account set: its databases first (with deleteDatabases), then its
// catalogue rows in one transaction.
[[nodiscard]] Outcome DeleteYear_UF(const QString& accountCode, const QString& year, Database* conn,
                                    bool deleteDatabases, const DropHooks& hooks = {});

// Removes a T+ account from the UFTSystem catalogue (one transaction) and, with deleteDatabases,
// drops its database.
[[nodiscard]] Outcome DeleteAcc_TN(const QString& databaseName, Database* conn,
                                   bool deleteDatabases, bool* catalogueRemoved = nullptr,
                                   const DropHooks& hooks = {});

} // namespace quenlor
