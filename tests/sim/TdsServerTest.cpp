// The simulator through the program's real path: OdbcConnector, the FreeTDS driver, TCP on
// 127.0.0.1 to a server the test starts and stops itself.

#include "sim/TdsServer.h"
#include "platform/odbc/OdbcConnector.h"
#include "support/QtPrinters.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QtEndian>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <utility>

using namespace quenlor;
using namespace quenlor::sim;

namespace {

const QString password = QStringLiteral("Secret#1");

Message error(int number, const QString& text) {
    return Message{number, 1, 16, text};
}

ResultSet singleValue(const QString& column, const QVariant& value) {
    return ResultSet{{Column{column, ColumnType::NVarChar}}, {{value}}};
}

// Statements the tests send, each with its scripted answer; any other is refused the way the
// server refuses an unknown procedure, so a stray statement fails the test loudly.
Reply script(const QString& sql, Session&) {
    if (sql == QStringLiteral("SELECT databases"))
        return {{ResultSet{{Column{QStringLiteral("name"), ColumnType::NVarChar},
                            Column{QStringLiteral("选择"), ColumnType::Int},
                            Column{QStringLiteral("备注"), ColumnType::NVarChar}},
                           {{QStringLiteral("账套_测试"), 6, QVariant()},
                            {QStringLiteral("UFDATA_001_2024"), QVariant(), QStringLiteral("")},
                            {QStringLiteral("master"), -2147483647 - 1, QStringLiteral("系统")}}}}};
    if (sql == QStringLiteral("UPDATE then SELECT"))
        return {
            {RowCount{3}, RowCount{0}, singleValue(QStringLiteral("x"), QStringLiteral("after"))}};
    if (sql == QStringLiteral("SELECT then DROP"))
        return {{singleValue(QStringLiteral("x"), QStringLiteral("first")),
                 error(3702, QStringLiteral("Cannot drop database \"账套_测试\" because it is "
                                            "currently in use."))}};
    if (sql == QStringLiteral("UPDATE then DROP"))
        return {{RowCount{1}, error(3702, QStringLiteral("Cannot drop database \"账套_测试\" "
                                                         "because it is currently in use."))}};
    if (sql == QStringLiteral("PRINT then SELECT"))
        return {{Message{0, 1, 0, QStringLiteral("informational")},
                 singleValue(QStringLiteral("x"), QStringLiteral("printed"))}};
    if (sql == QStringLiteral("DELETE"))
        return {{RowCount{2}}};
    if (sql == QStringLiteral("WAITFOR"))
        return Reply{{}, true};
    return {{error(2812, QStringLiteral("Could not find stored procedure '%1'.").arg(sql))}};
}

struct Simulator {
    explicit Simulator(const QString& pw = password) {
        ServerConfig config;
        config.user = QStringLiteral("sa");
        config.password = pw;
        config.handler = script;
        server = std::make_unique<TdsServer>(config);
    }
    std::unique_ptr<TdsServer> server;

    ConnectionParams params(const QString& pw = password) const {
        return {QStringLiteral("127.0.0.1,%1").arg(server->port()), QStringLiteral("master"),
                QStringLiteral("sa"), pw};
    }
};

OdbcConnector connector(int queryTimeoutSeconds = 30) {
    OdbcConnector::Options options = OdbcConnector::platformDefaults();
    options.loginTimeoutSeconds = 5;
    options.queryTimeoutSeconds = queryTimeoutSeconds;
    return OdbcConnector(options);
}

} // namespace

namespace quenlor::sim {
void PrintTo(const TransactionStep& step, std::ostream* os) {
    const char* names[] = {"Begin", "Commit", "Rollback"};
    *os << names[int(step.request)] << (step.beginsNew ? "+new" : "");
}
} // namespace quenlor::sim

namespace {

DbError failureOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const DbError& e) {
        return e;
    }
    ADD_FAILURE() << "no DbError was thrown";
    return {};
}

class SimulatorTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(sim.server->start()); }
    Simulator sim;
};

} // namespace

TEST_F(SimulatorTest, LoginWithTheRightPasswordSucceedsAndAWrongOneIsRefused) {
    ASSERT_NE(sim.server->port(), 0);
    std::unique_ptr<Database> db = connector().open(sim.params());
    ASSERT_TRUE(db && db->isOpen());

    const DbError refused =
        failureOf([&] { (void)connector().open(sim.params(QStringLiteral("wrong"))); });
    EXPECT_EQ(refused.number, 18456);
    EXPECT_TRUE(refused.description.contains(QStringLiteral("Login failed for user 'sa'.")))
        << refused.description.toStdString();

    const QList<Session> sessions = sim.server->sessions();
    ASSERT_EQ(sessions.size(), 2);
    EXPECT_TRUE(sessions[0].loggedIn);
    EXPECT_EQ(sessions[0].user, QStringLiteral("sa"));
    EXPECT_EQ(sessions[0].database, QStringLiteral("master"));
    EXPECT_FALSE(sessions[1].loggedIn);
    EXPECT_EQ(sessions[1].password, QStringLiteral("wrong"));
}

TEST_F(SimulatorTest, QueryReturnsNamesTextIntegersNullsAndEmptyStrings) {
    std::unique_ptr<Database> db = connector().open(sim.params());
    const QueryResult result = db->query(QStringLiteral("SELECT databases"));
    EXPECT_EQ(result.columns, (QStringList{QStringLiteral("name"), QStringLiteral("选择"),
                                           QStringLiteral("备注")}));
    ASSERT_EQ(result.rows.size(), 3);

    EXPECT_EQ(result.rows[0][0].toString(), QStringLiteral("账套_测试"));
    EXPECT_EQ(result.rows[0][1].toLongLong(), 6);
    EXPECT_TRUE(result.rows[0][2].isNull());

    EXPECT_EQ(result.rows[1][0].toString(), QStringLiteral("UFDATA_001_2024"));
    EXPECT_TRUE(result.rows[1][1].isNull());
    EXPECT_FALSE(result.rows[1][2].isNull()) << "an empty string arrived as NULL";
    EXPECT_EQ(result.rows[1][2].toString(), QString());

    EXPECT_EQ(result.rows[2][1].toLongLong(), -2147483648LL);
    EXPECT_EQ(result.rows[2][2].toString(), QStringLiteral("系统"));

    // The statement text reached the server as sent.
    EXPECT_EQ(sim.server->sessions().front().batches.last(), QStringLiteral("SELECT databases"));
}

TEST_F(SimulatorTest, ResultSetAfterRowCountsAndMessagesIsTheOneQueried) {
    std::unique_ptr<Database> db = connector().open(sim.params());
    const std::pair<QString, QString> batches[] = {
        {QStringLiteral("UPDATE then SELECT"), QStringLiteral("after")},
        {QStringLiteral("PRINT then SELECT"), QStringLiteral("printed")}};
    for (const auto& [sql, value] : batches) {
        const QueryResult result = db->query(sql);
        EXPECT_EQ(result.columns, QStringList{QStringLiteral("x")}) << sql.toStdString();
        ASSERT_EQ(result.rows.size(), 1) << sql.toStdString();
        EXPECT_EQ(result.rows[0][0].toString(), value);
    }
    // A batch with a row count and no result set gives an empty result, not an error.
    EXPECT_TRUE(db->query(QStringLiteral("DELETE")).columns.isEmpty());
    EXPECT_NO_THROW(db->execute(QStringLiteral("DELETE")));
}

TEST_F(SimulatorTest, ErrorInTheSecondStatementOfABatchIsThrown) {
    std::unique_ptr<Database> db = connector().open(sim.params());
    for (const QString& sql :
         {QStringLiteral("SELECT then DROP"), QStringLiteral("UPDATE then DROP")}) {
        const DbError byQuery = failureOf([&] { (void)db->query(sql); });
        const DbError byExecute = failureOf([&] { db->execute(sql); });
        for (const DbError& e : {byQuery, byExecute}) {
            EXPECT_EQ(e.number, 3702) << sql.toStdString();
            EXPECT_TRUE(e.description.contains(QStringLiteral(
                "Cannot drop database \"账套_测试\" because it is currently in use.")))
                << e.description.toStdString();
        }
    }
    // An unknown statement is refused, and the connection goes on.
    EXPECT_EQ(failureOf([&] { db->execute(QStringLiteral("EXEC nothing")); }).number, 2812);
    EXPECT_EQ(db->query(QStringLiteral("UPDATE then SELECT")).rows.size(), 1);
}

TEST_F(SimulatorTest, TransactionBoundariesReachTheServerInOrder) {
    std::unique_ptr<Database> db = connector().open(sim.params());
    db->beginTrans();
    db->execute(QStringLiteral("DELETE"));
    EXPECT_TRUE(sim.server->sessions().front().inTransaction);
    db->commitTrans();
    db->beginTrans();
    db->execute(QStringLiteral("DELETE"));
    db->rollbackTrans();
    db->execute(QStringLiteral("DELETE"));

    // Autocommit off is a begin; a commit or rollback while it stays off begins the next at once;
    // autocommit on again rolls that empty one back.
    const Session session = sim.server->sessions().front();
    using R = TransactionRequest;
    EXPECT_EQ(session.transactions, (QList<TransactionStep>{{R::Begin, false},
                                                            {R::Commit, true},
                                                            {R::Rollback, false},
                                                            {R::Begin, false},
                                                            {R::Rollback, true},
                                                            {R::Rollback, false}}));
    EXPECT_FALSE(session.inTransaction);
    EXPECT_EQ(session.batches.size(), 3);
}

TEST_F(SimulatorTest, UnansweredStatementTimesOutAndTheConnectionStillWorks) {
    std::unique_ptr<Database> db = connector(2).open(sim.params());
    QElapsedTimer timer;
    timer.start();
    const DbError timedOut = failureOf([&] { (void)db->query(QStringLiteral("WAITFOR")); });
    const qint64 elapsed = timer.elapsed();
    EXPECT_EQ(timedOut.sqlState, QStringLiteral("HYT00")) << timedOut.description.toStdString();
    EXPECT_GE(elapsed, 1500);
    EXPECT_LE(elapsed, 8000);
    EXPECT_EQ(sim.server->sessions().front().attentions, 1);

    EXPECT_TRUE(db->isOpen());
    const QueryResult after = db->query(QStringLiteral("UPDATE then SELECT"));
    ASSERT_EQ(after.rows.size(), 1);
    EXPECT_EQ(after.rows[0][0].toString(), QStringLiteral("after"));
}

TEST(Simulator, PasswordsWithConnectionStringCharactersArriveIntact) {
    for (const QString& pw : {QStringLiteral("pa}ss"), QStringLiteral("pa;ss"),
                              QStringLiteral("口令}x"), QStringLiteral("a=b;c")}) {
        Simulator sim(pw);
        ASSERT_TRUE(sim.server->start());
        std::unique_ptr<Database> db;
        try {
            db = connector().open(sim.params(pw));
        } catch (const DbError& e) {
            ADD_FAILURE() << pw.toStdString() << ": " << e.description.toStdString();
        }
        const QList<Session> sessions = sim.server->sessions();
        ASSERT_EQ(sessions.size(), 1) << pw.toStdString();
        EXPECT_EQ(sessions[0].password, pw);
        EXPECT_TRUE(sessions[0].loggedIn) << pw.toStdString();
    }
}

TEST(Simulator, UnknownPacketTypeIsAnsweredWithAnError) {
    Simulator sim;
    ASSERT_TRUE(sim.server->start());
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, sim.server->port());
    ASSERT_TRUE(socket.waitForConnected(3000));
    const char packet[8] = {0x07, 0x01, 0x00, 0x08, 0x00, 0x00, 0x01, 0x00};
    socket.write(packet, 8);
    QByteArray reply;
    while (reply.size() < 8 || reply.size() < qFromBigEndian<quint16>(reply.constData() + 2)) {
        ASSERT_TRUE(socket.waitForReadyRead(3000)) << "the server stayed silent";
        reply += socket.readAll();
    }
    EXPECT_EQ(quint8(reply[0]), 0x04);
    EXPECT_EQ(quint8(reply[8]), 0xAA) << "not an ERROR token";
    // The closing DONE carries the error flag.
    EXPECT_EQ(quint8(reply[reply.size() - 13]), 0xFD);
    EXPECT_EQ(quint8(reply[reply.size() - 12]) & 0x02, 0x02);
}
