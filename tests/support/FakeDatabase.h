#pragma once

#include "platform/Database.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace quenlor::test {

// A scripted SQL Server: answers statements by their exact text and records every statement and
// transaction boundary of every connection, in order, as "<database>: <statement>",
// "<database>: BEGIN" / "COMMIT" / "ROLLBACK". Unscripted queries give an empty result,
// unscripted statements succeed.
class FakeServer {
public:
    // Answers a query whose text equals sql exactly.
    void answer(const QString& sql, QueryResult result);
    // The statement fails with this error (query or execute).
    void fail(const QString& sql, DbError error);
    // Opening this database (case-insensitive; empty = every database) fails.
    void failOpen(const QString& database, DbError error);
    // Opening fails for the next n attempts, then succeeds.
    void failNextOpens(int n, DbError error);

    // Answers the queries no exact answer covers, when it gives a result.
    std::function<std::optional<QueryResult>(const QString& sql)> respond;

    // Every statement and boundary, in order.
    QStringList log;
    // Every connection attempt, in order.
    std::vector<ConnectionParams> opens;

    // Used by FakeDatabase.
    QueryResult run(const QString& database, const QString& sql, bool wantResult);
    void record(const QString& database, const QString& entry);
    std::unique_ptr<Database> open(const ConnectionParams& params);

private:
    QHash<QString, QueryResult> m_answers;
    QHash<QString, DbError> m_failures;
    QHash<QString, DbError> m_openFailures;
    int m_failOpens = 0;
    DbError m_failOpenError;
};

class FakeDatabase final : public Database {
public:
    FakeDatabase(FakeServer& server, QString database)
        : m_server(server), m_db(std::move(database)) {}
    bool isOpen() const override { return !m_lost; }
    // The link drops: the driver knows the connection is dead.
    void lose() { m_lost = true; }
    QueryResult query(const QString& sql) override { return m_server.run(m_db, sql, true); }
    void execute(const QString& sql) override { m_server.run(m_db, sql, false); }
    void beginTrans() override { m_server.record(m_db, QStringLiteral("BEGIN")); }
    void commitTrans() override { m_server.record(m_db, QStringLiteral("COMMIT")); }
    void rollbackTrans() override { m_server.record(m_db, QStringLiteral("ROLLBACK")); }
    const QString& databaseName() const { return m_db; }

private:
    FakeServer& m_server;
    QString m_db;
    bool m_lost = false;
};

class FakeConnector final : public DatabaseConnector {
public:
    explicit FakeConnector(FakeServer& server) : m_server(server) {}
    std::unique_ptr<Database> open(const ConnectionParams& params) override {
        return m_server.open(params);
    }

private:
    FakeServer& m_server;
};

// A one-column or many-column result written inline: table({"name"}, {{"ufsystem"}}).
QueryResult table(const QStringList& columns, const QList<QList<QVariant>>& rows = {});

} // namespace quenlor::test
