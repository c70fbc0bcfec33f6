// The real ODBC path (driver manager, wide-character calls, result reading, transactions, errors
// and time-outs) against real drivers: SQLite's, which needs no server, and FreeTDS on loopback
// ports only, one where nothing listens and one that accepts the connection but never answers.
#include "platform/odbc/OdbcConnector.h"
#include "platform/odbc/OdbcDatabase.h"

#include "support/QtPrinters.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTcpServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <memory>
#include <optional>

using namespace Qt::StringLiterals;
using namespace quenlor;

namespace {

// The error a call throws, or one with the text "no error".
DbError errorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const DbError& e) {
        return e;
    }
    return DbError({}, 0, u"no error"_s);
}

class OdbcSqlite : public ::testing::Test {
protected:
    void SetUp() override {
        // By path: the "[SQLite]" entry of a stock odbcinst.ini names a library not installed.
        ASSERT_TRUE(QFileInfo(driver).isFile()) << "libsqliteodbc is not installed";
        db = open();
        db->execute(u"create table acc (id integer primary key, name text, "
                    "amount double, big bigint)"_s);
    }
    std::unique_ptr<OdbcDatabase> open() { return OdbcDatabase::connect(connection, 5, 300); }
    QVariant value(const QString& sql) { return db->query(sql).rows.value(0).value(0); }
    // What another connection sees: only what was committed.
    qint64 committed() {
        return open()->query(u"select count(*) from acc"_s).rows[0][0].toLongLong();
    }
    const QString driver = u"/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so"_s;
    QTemporaryDir dir;
    // This driver takes its file name bare, not in braces.
    const QString connection = u"DRIVER={%1};Database=%2/e.db;"_s.arg(driver, dir.path());
    std::unique_ptr<OdbcDatabase> db;
};

// Logs in through FreeTDS on a thread of its own, so that a login that never gives up fails the
// test instead of hanging it (a hung one is left behind for the process end). Gives the error
// and the milliseconds the attempt took, or nothing when it hung.
std::optional<std::pair<DbError, qint64>> attemptOpen(const ConnectionParams& params) {
    OdbcConnector::Options options = OdbcConnector::platformDefaults();
    options.loginTimeoutSeconds = 2;
    auto attempt = std::make_unique<std::future<std::pair<DbError, qint64>>>(
        std::async(std::launch::async, [=] {
            QElapsedTimer timer;
            timer.start();
            const DbError e = errorOf([&] { (void)OdbcConnector(options).open(params); });
            return std::pair(e, timer.elapsed());
        }));
    if (attempt->wait_for(std::chrono::seconds(20)) == std::future_status::ready)
        return attempt->get();
    (void)attempt.release();
    return std::nullopt;
}

} // namespace

TEST_F(OdbcSqlite, ValuesNullsLongTextAndColumnNamesComeBackAsStored) {
    db->execute(u"insert into acc values (1, '中文账套名称', 1234.5, 9000000000), "
                "(2, '', NULL, NULL), (3, NULL, NULL, NULL)"_s);
    const QueryResult r =
        db->query(u"select id as 选择, name as AccName, amount, big from acc order by id"_s);
    EXPECT_EQ(r.columns, QStringList({u"选择"_s, u"AccName"_s, u"amount"_s, u"big"_s}));
    ASSERT_EQ(r.rows.size(), 3);
    EXPECT_EQ(r.rows[0],
              QList<QVariant>({qint64(1), u"中文账套名称"_s, 1234.5, Q_INT64_C(9000000000)}));
    EXPECT_EQ(r.rows[1][1], QVariant(QString())) << "empty text is a value, not NULL";
    for (const QVariant& null : {r.rows[1][2], r.rows[2][1], r.rows[2][3]})
        EXPECT_FALSE(null.isValid());
    // Chinese in the statement's own text reaches the driver too; no row still names the columns.
    EXPECT_EQ(value(u"select id from acc where name = '中文账套名称'"_s), qint64(1));
    EXPECT_EQ(db->query(u"select id as 选择 from acc where id = 9"_s).columns,
              QStringList(u"选择"_s));

    // Lengths around the sizes a reader might use for its pieces, and one far beyond them.
    for (const int length : {2047, 2048, 2049, 4097, 20001}) {
        QString text(length, QChar(u'账'));
        for (int i = 0; i < length; i += 3)
            text[i] = QChar(u'a' + i % 26);
        db->execute(u"update acc set name = '%1' where id = 3"_s.arg(text));
        EXPECT_TRUE(value(u"select name from acc where id = 3"_s) == text) << length;
    }
}

TEST_F(OdbcSqlite, CommitKeepsRollbackAndClosingDiscard) {
    const auto insert = [&] { db->execute(u"insert into acc (name) values ('x')"_s); };
    db->beginTrans();
    insert();
    EXPECT_EQ(committed(), 0);
    db->commitTrans();
    EXPECT_EQ(committed(), 1);
    db->beginTrans();
    insert();
    db->rollbackTrans();
    insert();
    EXPECT_EQ(committed(), 2) << "autocommit is back after the rollback";
    db->beginTrans();
    insert();
    db.reset();
    EXPECT_EQ(committed(), 2) << "closing inside a transaction discards it";
}

TEST_F(OdbcSqlite, ErrorsArriveWithTheirStateNumberAndText) {
    // SQLite's own result code and message, as its ODBC driver reports them.
    const struct {
        const char* sql;
        int number;
        const char* text;
    } rows[] = {{"insert into acc (id) values (1), (1)", 19, "UNIQUE constraint failed: acc.id"},
                {"selec 1", 1, "near \"selec\": syntax error"},
                {"select * from 不存在的表", 1, "no such table: 不存在的表"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.sql);
        const DbError e = errorOf([&] { (void)db->query(QString::fromUtf8(row.sql)); });
        EXPECT_EQ(e.sqlState, u"HY000"_s);
        EXPECT_EQ(e.number, row.number);
        EXPECT_TRUE(e.description.contains(QString::fromUtf8(row.text)))
            << e.description.toStdString();
    }
    EXPECT_EQ(value(u"select count(*) from acc"_s), qint64(0)) << "still usable";
}

// The kernel completes the TCP handshake for a listening socket; nobody ever reads or answers.
// FreeTDS obeys a Port item after SERVER: were a value's ";" to end it early, the login would go
// to that silent listener and time out instead of failing at once on the closed port.
TEST(FreeTds, ClosedPortFailsAtOnceSilentOneTimesOutAndNoValueRedirects) {
    QTcpServer closed, silent;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    const QString closedServer = u"127.0.0.1,%1"_s.arg(closed.serverPort());
    closed.close();
    const QString port = QString::number(silent.serverPort());
    const QString redirect = u"x;Port=%1;"_s.arg(port);
    const struct {
        const char* name;
        QString ConnectionParams::*item;
        QString value;
        bool timesOut;
    } rows[] = {{"ClosedPort", &ConnectionParams::server, closedServer, false},
                {"SilentServer", &ConnectionParams::server, u"127.0.0.1,"_s + port, true},
                {"Database", &ConnectionParams::database, redirect, false},
                {"User", &ConnectionParams::user, redirect, false},
                {"Password", &ConnectionParams::password, redirect, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ConnectionParams params{closedServer, u"master"_s, u"sa"_s, u"pw"_s};
        params.*row.item = row.value;
        const auto attempt = attemptOpen(params);
        ASSERT_TRUE(attempt) << "the login timeout was not applied";
        const auto& [error, elapsedMs] = *attempt;
        EXPECT_EQ(elapsedMs >= 1000, row.timesOut) << elapsedMs << " ms";
        EXPECT_LE(elapsedMs, 6000);
        const QString& text = error.description;
        if (row.timesOut) {
            EXPECT_EQ(error.sqlState, u"HYT00"_s);
            EXPECT_TRUE(text.contains(u"Timeout expired"_s)) << text.toStdString();
            continue;
        }
        EXPECT_EQ(error.sqlState, u"08S01"_s);
        EXPECT_EQ(error.number, 20009);
        // Each record on its own line: FreeTDS's second one must not be dropped.
        const QStringList records = text.split(QLatin1Char('\n'));
        ASSERT_EQ(records.size(), 2) << text.toStdString();
        EXPECT_TRUE(records[0].contains(u"Adaptive Server is unavailable"_s));
        EXPECT_TRUE(records[1].endsWith(u"Unable to connect to data source"_s));
    }
}
