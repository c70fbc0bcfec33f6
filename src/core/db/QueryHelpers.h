#pragma once

#include "core/app/Outcome.h"
#include "platform/Database.h"

#include <QString>
#include <QVariant>

#include <memory>

namespace quenlor {

// A connection to one database of the program's server, built from SqlServer, SqlUser and
// SqlPassword; statement timeout 300 s. An empty handle and the driver's failure when it cannot
// be opened.
[[nodiscard]] Read<std::unique_ptr<Database>> OpenConn(const QString& databaseName);

// "select <field> from <table> where 1=1 and <condition>": the named field of the first row, a
// null QVariant when there is no row. On failure the value is null too and the outcome tells them
// apart.
[[nodiscard]] Read<QVariant> LookupValue(const QString& field, const QString& table,
                                         const QString& condition, Database* conn);

// As LookupValue with a complete statement; empty text when there is no row.
[[nodiscard]] Read<QVariant> GetFieldValue(const QString& field, const QString& statement,
                                           Database* conn);

// Null (and the empty value) gives empty text, anything else its text form.
[[nodiscard]] QString NullToStr(const QVariant& value);

} // namespace quenlor
