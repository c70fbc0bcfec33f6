#pragma once

#include <QString>
#include <QVariant>

#include <memory>

namespace quenlor {

class Database;

// A connection to one database of the program's server, built from SqlServer, SqlUser and
// SqlPassword; statement timeout 300 s. An empty handle when it cannot be opened, with the
// driver's text in ErrorText. ErrorText is not cleared on entry.
[[nodiscard]] std::unique_ptr<Database> OpenConn(const QString& databaseName);

// "select <field> from <table> where 1=1 and <condition>": the named field of the first row, a
// null QVariant when there is no row. Clears ErrorText on entry; on failure ErrorText holds the
// failure and the result is empty (a null QVariant too; ErrorText tells them apart).
[[nodiscard]] QVariant LookupValue(const QString& field, const QString& table,
                                   const QString& condition, Database* conn);

// As LookupValue with a complete statement; empty text when there is no row.
[[nodiscard]] QVariant GetFieldValue(const QString& field, const QString& statement,
                                     Database* conn);

// Null (and the empty value) gives empty text, anything else its text form.
[[nodiscard]] QString NullToStr(const QVariant& value);

} // namespace quenlor
