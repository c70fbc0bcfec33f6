// The real ODBC path (driver manager, wide-character calls, result reading, transactions)
// against the SQLite ODBC driver, which needs no server.

#include "platform/odbc/OdbcDatabase.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

using namespace quenlor;

namespace {

// By path: the "[SQLite]" entry of a stock odbcinst.ini names a library that is not installed.
QString sqliteDriver() {
    for (const char* path :
         {"/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so",
          "/usr/lib/aarch64-linux-gnu/odbc/libsqlite3odbc.so", "/usr/lib64/libsqlite3odbc.so",
          "/usr/lib/odbc/libsqlite3odbc.so", "/usr/local/lib/libsqlite3odbc.so"}) {
        if (QFileInfo(QString::fromLatin1(path)).isFile())
            return QString::fromLatin1(path);
    }
    return {};
}

std::string describe(const DbError& e) {
    return (e.sqlState + QStringLiteral(" ") + QString::number(e.number) + QStringLiteral(" ") +
            e.description)
        .toStdString();
}

class OdbcSqlite : public ::testing::Test {
protected:
    void SetUp() override {
        m_driver = sqliteDriver();
        ASSERT_FALSE(m_driver.isEmpty())
            << "the SQLite ODBC driver libsqlite3odbc.so is not installed (Debian: libsqliteodbc)";
        ASSERT_TRUE(m_dir.isValid());
        db = open();
        db->execute(QStringLiteral("create table acc (id integer primary key, name text, "
                                   "amount double, big bigint)"));
    }

    std::unique_ptr<OdbcDatabase> open() {
        // This driver takes its file name bare, not in braces.
        return OdbcDatabase::connect(QStringLiteral("DRIVER={%1};Database=%2;")
                                         .arg(m_driver, m_dir.filePath(QStringLiteral("erp.db"))),
                                     5, 300);
    }

    // How many rows another connection sees: only what was committed.
    qint64 committedRows(const QString& where) {
        const QueryResult r =
            open()->query(QStringLiteral("select count(*) from acc where ") + where);
        return r.rows.at(0).at(0).toLongLong();
    }

    std::unique_ptr<OdbcDatabase> db;

private:
    QString m_driver;
    QTemporaryDir m_dir;
};

} // namespace

TEST_F(OdbcSqlite, ChineseTextAndNullsComeBackAsStored) {
    EXPECT_TRUE(db->isOpen());
    db->execute(QStringLiteral("insert into acc (id, name) values (1, '中文账套名称')"));
    db->execute(QStringLiteral("insert into acc (id, name) values (2, '')"));
    db->execute(QStringLiteral("insert into acc (id, name) values (3, NULL)"));

    const QueryResult r = db->query(QStringLiteral("select name from acc order by id"));
    ASSERT_EQ(r.rows.size(), 3);
    EXPECT_EQ(r.rows[0][0].typeId(), QMetaType::QString);
    EXPECT_EQ(r.rows[0][0].toString(), QStringLiteral("中文账套名称"));
    // Empty text is a value, not NULL.
    EXPECT_FALSE(r.rows[1][0].isNull());
    EXPECT_EQ(r.rows[1][0].typeId(), QMetaType::QString);
    EXPECT_TRUE(r.rows[1][0].toString().isEmpty());
    EXPECT_TRUE(r.rows[2][0].isNull());
    EXPECT_FALSE(r.rows[2][0].isValid());

    // Chinese in the statement's own text reaches the driver too.
    const QueryResult found =
        db->query(QStringLiteral("select id from acc where name = '中文账套名称'"));
    ASSERT_EQ(found.rows.size(), 1);
    EXPECT_EQ(found.rows[0][0].toLongLong(), 1);
}

TEST_F(OdbcSqlite, NumbersKeepTheirKinds) {
    db->execute(QStringLiteral(
        "insert into acc (id, amount, big) values (7, 1234.5, 9000000000), (8, NULL, NULL)"));
    const QueryResult r = db->query(QStringLiteral("select id, amount, big from acc order by id"));
    ASSERT_EQ(r.rows.size(), 2);
    EXPECT_EQ(r.rows[0][0].typeId(), QMetaType::LongLong);
    EXPECT_EQ(r.rows[0][0].toLongLong(), 7);
    EXPECT_EQ(r.rows[0][1].typeId(), QMetaType::Double);
    EXPECT_DOUBLE_EQ(r.rows[0][1].toDouble(), 1234.5);
    // Beyond 32 bits: read as a 64-bit integer, not squeezed into an int.
    EXPECT_EQ(r.rows[0][2].typeId(), QMetaType::LongLong);
    EXPECT_EQ(r.rows[0][2].toLongLong(), Q_INT64_C(9000000000));
    EXPECT_TRUE(r.rows[1][1].isNull());
    EXPECT_TRUE(r.rows[1][2].isNull());
}

TEST_F(OdbcSqlite, ColumnNamesAsWrittenEvenWithoutRows) {
    db->execute(QStringLiteral("insert into acc (id, name) values (1, 'x')"));
    const QueryResult r = db->query(
        QStringLiteral("select id as 选择, name as AccName, amount as 账套金额 from acc"));
    EXPECT_EQ(r.columns, QStringList({QStringLiteral("选择"), QStringLiteral("AccName"),
                                      QStringLiteral("账套金额")}));
    EXPECT_EQ(r.columnIndex(QStringLiteral("accname")), 1);

    const QueryResult empty =
        db->query(QStringLiteral("select id as 选择, name from acc where id = 99"));
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_EQ(empty.columns, QStringList({QStringLiteral("选择"), QStringLiteral("name")}));
}

TEST_F(OdbcSqlite, LongTextIsReadWhole) {
    // Lengths around the sizes a reader might use for its pieces, and one far beyond 4000.
    for (const qsizetype length : {2047, 2048, 2049, 4095, 4096, 4097, 20001}) {
        QString text;
        for (qsizetype i = 0; i < length - 1; ++i)
            text += (i % 3 == 0) ? QChar(char16_t(u'a' + i % 26)) : QChar(u'账');
        text += QChar(u'尾');
        db->execute(QStringLiteral("delete from acc"));
        db->execute(QStringLiteral("insert into acc (id, name) values (1, '%1')").arg(text));
        const QueryResult r = db->query(QStringLiteral("select name from acc"));
        ASSERT_EQ(r.rows.size(), 1);
        const QString got = r.rows[0][0].toString();
        EXPECT_EQ(got.size(), length);
        EXPECT_TRUE(got == text) << "length " << length;
    }
}

TEST_F(OdbcSqlite, CommitKeepsAndRollbackDiscards) {
    db->beginTrans();
    db->execute(QStringLiteral("insert into acc (id) values (1)"));
    EXPECT_EQ(committedRows(QStringLiteral("id = 1")), 0);
    db->commitTrans();
    EXPECT_EQ(committedRows(QStringLiteral("id = 1")), 1);

    // Autocommit is back: this row is visible at once.
    db->execute(QStringLiteral("insert into acc (id) values (2)"));
    EXPECT_EQ(committedRows(QStringLiteral("id = 2")), 1);

    db->beginTrans();
    db->execute(QStringLiteral("insert into acc (id) values (3)"));
    EXPECT_EQ(
        db->query(QStringLiteral("select count(*) from acc where id = 3")).rows[0][0].toLongLong(),
        1);
    db->rollbackTrans();
    EXPECT_EQ(
        db->query(QStringLiteral("select count(*) from acc where id = 3")).rows[0][0].toLongLong(),
        0);

    db->execute(QStringLiteral("insert into acc (id) values (4)"));
    EXPECT_EQ(committedRows(QStringLiteral("id = 4")), 1);
}

TEST_F(OdbcSqlite, TransactionCallsOutOfOrderAreRefused) {
    for (const auto& call : {&OdbcDatabase::commitTrans, &OdbcDatabase::rollbackTrans}) {
        try {
            (db.get()->*call)();
            ADD_FAILURE() << "ended a transaction that was never begun";
        } catch (const DbError& e) {
            EXPECT_TRUE(e.sqlState.isEmpty());
            EXPECT_TRUE(e.description.contains(QStringLiteral("事务"))) << describe(e);
        }
    }

    db->beginTrans();
    db->execute(QStringLiteral("insert into acc (id) values (1)"));
    try {
        db->beginTrans();
        ADD_FAILURE() << "began a transaction twice";
    } catch (const DbError& e) {
        EXPECT_TRUE(e.description.contains(QStringLiteral("事务"))) << describe(e);
    }
    // The refused call left the open transaction as it was.
    db->rollbackTrans();
    EXPECT_EQ(committedRows(QStringLiteral("id = 1")), 0);
}

TEST_F(OdbcSqlite, ClosingInsideATransactionDiscardsIt) {
    db->beginTrans();
    db->execute(QStringLiteral("insert into acc (id) values (1)"));
    db.reset();
    EXPECT_EQ(committedRows(QStringLiteral("id = 1")), 0);
}

TEST_F(OdbcSqlite, DriverErrorsArriveWithTheirNumberAndText) {
    db->execute(QStringLiteral("insert into acc (id) values (1)"));
    try {
        db->execute(QStringLiteral("insert into acc (id) values (1)"));
        ADD_FAILURE() << "duplicate key accepted";
    } catch (const DbError& e) {
        // SQLite's own result code and message, as its ODBC driver reports them.
        EXPECT_EQ(e.sqlState, QStringLiteral("HY000"));
        EXPECT_EQ(e.number, 19);
        EXPECT_TRUE(e.description.contains(QStringLiteral("UNIQUE constraint failed: acc.id")))
            << describe(e);
    }
    try {
        (void)db->query(QStringLiteral("selec 1"));
        ADD_FAILURE() << "syntax error accepted";
    } catch (const DbError& e) {
        EXPECT_EQ(e.number, 1);
        EXPECT_TRUE(e.description.contains(QStringLiteral("near \"selec\": syntax error")))
            << describe(e);
    }
    try {
        (void)db->query(QStringLiteral("select * from 不存在的表"));
        ADD_FAILURE() << "missing table accepted";
    } catch (const DbError& e) {
        EXPECT_TRUE(e.description.contains(QStringLiteral("no such table: 不存在的表")))
            << describe(e);
    }
    // The connection is still usable after its statements failed.
    EXPECT_EQ(db->query(QStringLiteral("select count(*) from acc")).rows[0][0].toLongLong(), 1);
}

TEST_F(OdbcSqlite, StatementsTouchingNoRowSucceed) {
    EXPECT_NO_THROW(db->execute(QStringLiteral("delete from acc where id = 999")));
    EXPECT_NO_THROW(db->execute(QStringLiteral("update acc set name = 'x' where id = 999")));
    // A statement without a result set asked for as a query gives an empty result.
    const QueryResult r = db->query(QStringLiteral("delete from acc where id = 999"));
    EXPECT_TRUE(r.columns.isEmpty());
    EXPECT_TRUE(r.isEmpty());
}

TEST(OdbcConnect, FailureCarriesTheDriverMessage) {
    const QString driver = sqliteDriver();
    ASSERT_FALSE(driver.isEmpty()) << "the SQLite ODBC driver libsqlite3odbc.so is not installed";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    try {
        (void)OdbcDatabase::connect(
            QStringLiteral("DRIVER={%1};Database=%2/no/such/dir/x.db;").arg(driver, dir.path()), 5,
            300);
        ADD_FAILURE() << "connected to a file in a folder that does not exist";
    } catch (const DbError& e) {
        EXPECT_FALSE(e.sqlState.isEmpty());
        EXPECT_TRUE(e.description.contains(QStringLiteral("connect failed"))) << describe(e);
    }
    try {
        (void)OdbcDatabase::connect(
            QStringLiteral("DRIVER={%1/missing-driver.so};").arg(dir.path()), 5, 300);
        ADD_FAILURE() << "connected through a driver that does not exist";
    } catch (const DbError& e) {
        // The driver manager's own record names the library it could not load.
        EXPECT_TRUE(e.description.contains(QStringLiteral("missing-driver.so"))) << describe(e);
    }
}
