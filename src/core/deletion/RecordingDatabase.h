#pragma once

#include "platform/Database.h"

#include <QStringList>

namespace quenlor {

// The connection of a dry run: reads reach the server as they are; every other statement and
// every transaction boundary is recorded instead of sent, in the order the workers give them.
// A write that arrives as a query (a batch that is not a single SELECT) is recorded too and
// answered with an empty result: nothing that could change the server ever reaches it.
class RecordingDatabase final : public Database {
public:
    explicit RecordingDatabase(Database& server) : m_server(server) {}

    [[nodiscard]] bool isOpen() const override { return m_server.isOpen(); }
    QueryResult query(const QString& sql) override;
    void execute(const QString& sql) override;
    void beginTrans() override { m_recorded << QStringLiteral("BEGIN TRANSACTION"); }
    void commitTrans() override { m_recorded << QStringLiteral("COMMIT TRANSACTION"); }
    void rollbackTrans() override { m_recorded << QStringLiteral("ROLLBACK TRANSACTION"); }

    // What the real run would have sent but the dry run kept back.
    [[nodiscard]] const QStringList& recorded() const { return m_recorded; }

    // The read the server could not answer, when one failed.
    [[nodiscard]] const QString& failedRead() const { return m_failedRead; }

    // True for a single SELECT that writes nothing (no INTO, no second statement); anything
    // else counts as a write.
    [[nodiscard]] static bool readsOnly(const QString& sql);

private:
    Database& m_server;
    QStringList m_recorded;
    QStringList m_dropped; // databases whose drop was recorded
    QString m_failedRead;
};

} // namespace quenlor
