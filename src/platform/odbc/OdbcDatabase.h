#pragma once

#include "platform/Database.h"

#include <QString>

#include <memory>

namespace quenlor {

// A Database over the ODBC wide-character API.
class OdbcDatabase final : public Database {
public:
    ~OdbcDatabase() override;

    // Connects with a complete ODBC connection string; throws DbError.
    static std::unique_ptr<OdbcDatabase> connect(const QString& connectionString,
                                                 int loginTimeoutSeconds, int queryTimeoutSeconds);

    bool isOpen() const override;
    QueryResult query(const QString& sql) override;
    void execute(const QString& sql) override;
    void beginTrans() override;
    void commitTrans() override;
    void rollbackTrans() override;

private:
    struct Handles;
    explicit OdbcDatabase(std::unique_ptr<Handles> handles, int queryTimeoutSeconds);

    std::unique_ptr<Handles> m_handles;
    int m_queryTimeoutSeconds;
    bool m_inTransaction = false;
};

} // namespace quenlor
