#pragma once

#include <QString>

#include <memory>

namespace quenlor {

class Database;

// The manual server login dialog as start-up sees it: public fields preset before it is shown
// and read back after it has closed.
class SqlLoginDialog {
public:
    virtual ~SqlLoginDialog() = default;

    QString ServerName;
    QString UserName;
    QString Password;
    bool Confirmed = false;
    // The test connection of the last successful attempt; stays open for the rest of the process.
    std::unique_ptr<Database> TestConn;

    // Shows the dialog modally and returns when it has closed.
    virtual void ConnSql() = 0;
};

} // namespace quenlor
