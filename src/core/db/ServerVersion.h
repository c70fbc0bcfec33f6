#pragma once

#include "core/app/Outcome.h"

#include <QString>

namespace quenlor {

class Database;

// "SQL Server 2000 SP4 企业版" and the like, read from the server's properties; empty text and
// the failure when it cannot be read. The major version (8 for SQL Server 2000) goes to
// majorVersion when asked for, 0 when unknown.
[[nodiscard]] Read<QString> GetServerVersionText(Database* conn, int* majorVersion = nullptr);

// "8.00.2039" gives "SQL Server 2000 SP4"; appends "." to productVersion when it lacks one.
[[nodiscard]] QString GetSqlVersionName(QString& productVersion);

// "Enterprise Edition" gives "企业版"; unknown editions come back unchanged.
[[nodiscard]] QString GetEditionName(const QString& edition);

// The major version of a dotted product version text ("10.50.1600.1" gives 10).
[[nodiscard]] int majorVersionOf(const QString& productVersion);

} // namespace quenlor
