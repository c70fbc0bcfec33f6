#pragma once

#include "platform/Database.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace quenlor {

// How a driver reads a braced connection-string value: Microsoft's drivers turn "}}" inside
// braces into "}", FreeTDS does not.
enum class BraceRule { DoubledCloseBrace, NoEscape };

// Protects one connection-string value. Returns false (and leaves `out` alone) when the value
// cannot be passed to a driver of this rule without changing its meaning.
[[nodiscard]] bool protectConnectionValue(const QString& value, BraceRule rule, QString& out);

// Of the installed ODBC driver names, the newest SQL Server driver ("ODBC Driver 18 for SQL
// Server" before 17, before the Native Clients), falling back to "SQL Server".
[[nodiscard]] QString chooseSqlServerDriver(const QStringList& installedDrivers);

// Opens ODBC connections to the program's SQL Server: FreeTDS by its full path on Linux, the
// newest SQL Server driver on Windows. Login timeout 15 s, statement timeout 300 s.
class OdbcConnector final : public DatabaseConnector {
public:
    struct Options {
        // A driver name or a full driver path. Empty takes this platform's default driver together
        // with its brace rule and extra items, which belong to it.
        QString driver;
        BraceRule braces = BraceRule::NoEscape;
        int loginTimeoutSeconds = 15;
        int queryTimeoutSeconds = 300;
        QString extra; // further items appended as they stand, e.g. "TDS_Version=7.4;"
    };

    OdbcConnector();
    explicit OdbcConnector(Options options);

    std::unique_ptr<Database> open(const ConnectionParams& params) override;

    // The connection string for params; throws DbError when a value cannot be protected.
    [[nodiscard]] QString connectionString(const ConnectionParams& params) const;
    [[nodiscard]] const Options& options() const { return m_options; }

    // The defaults of this platform.
    static Options platformDefaults();

private:
    Options m_options;
};

} // namespace quenlor
