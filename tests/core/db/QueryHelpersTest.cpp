#include "core/db/QueryHelpers.h"

#include "support/TestState.h"

namespace quenlor {
namespace {

using test::table;

class QueryHelpers : public test::StateFixture {
protected:
    QueryHelpers() {
        st().SqlServer = QStringLiteral("erp-db,1433");
        st().SqlUser = QStringLiteral("sa");
        st().SqlPassword = QStringLiteral("secret");
        master = OpenConn(QStringLiteral("master")).value;
    }
    std::unique_ptr<Database> master;
};

TEST_F(QueryHelpers, LookupValueJoinsItsPiecesWithoutSeparators) {
    server.answer(QStringLiteral("select name from sys.databases where 1=1 and name='ufsystem'"),
                  table({QStringLiteral("name")}, {{QStringLiteral("ufsystem")}}));
    const Read<QVariant> v = LookupValue(QStringLiteral("name"), QStringLiteral("sys.databases"),
                                         QStringLiteral("name='ufsystem'"), master.get());
    EXPECT_EQ(v.value.toString(), QStringLiteral("ufsystem"));
    EXPECT_TRUE(v.outcome.ok());
    EXPECT_EQ(
        server.log.last(),
        QStringLiteral("master: select name from sys.databases where 1=1 and name='ufsystem'"));
}

TEST_F(QueryHelpers, NoRowIsNullForLookupAndEmptyTextForGetFieldValue) {
    const Read<QVariant> looked =
        LookupValue(QStringLiteral("name"), QStringLiteral("sys.databases"),
                    QStringLiteral("name='none'"), master.get());
    EXPECT_FALSE(looked.value.isValid()) << "null";
    EXPECT_TRUE(looked.outcome.ok()) << "no row is no failure";

    const Read<QVariant> got =
        GetFieldValue(QStringLiteral("name"), QStringLiteral("select 1 where 1=0"), master.get());
    ASSERT_TRUE(got.value.isValid());
    EXPECT_EQ(got.value.typeId(), QMetaType::QString);
    EXPECT_EQ(got.value.toString(), QString());
    EXPECT_TRUE(got.outcome.ok());
}

TEST_F(QueryHelpers, NullFieldInTheFirstRowIsNullForBoth) {
    const QString sql = QStringLiteral("select cacc_name as name from t");
    server.answer(sql, table({QStringLiteral("name")}, {{QVariant()}, {QStringLiteral("second")}}));
    EXPECT_FALSE(GetFieldValue(QStringLiteral("name"), sql, master.get()).value.isValid());
    server.answer(QStringLiteral("select name from t where 1=1 and x=1"),
                  table({QStringLiteral("name")}, {{QVariant()}}));
    const Read<QVariant> looked = LookupValue(QStringLiteral("name"), QStringLiteral("t"),
                                              QStringLiteral("x=1"), master.get());
    EXPECT_FALSE(looked.value.isValid());
    EXPECT_TRUE(looked.outcome.ok());
}

TEST_F(QueryHelpers, FieldIsFoundWithoutRegardToCaseAndTakenFromTheFirstRow) {
    const QString sql = QStringLiteral("select a, Name from t");
    server.answer(sql, table({QStringLiteral("a"), QStringLiteral("Name")},
                             {{1, QStringLiteral("first")}, {2, QStringLiteral("second")}}));
    EXPECT_EQ(GetFieldValue(QStringLiteral("NAME"), sql, master.get()).value.toString(),
              QStringLiteral("first"));
    EXPECT_EQ(NullToStr(GetFieldValue(QStringLiteral("a"), sql, master.get()).value),
              QStringLiteral("1"));
}

TEST_F(QueryHelpers, FailuresGiveTheEmptyValueAndTheirText) {
    // An empty condition leaves the statement ending in "and ", which the server rejects.
    server.fail(QStringLiteral("select name from t where 1=1 and "),
                DbError{QStringLiteral("42000"), 102, QStringLiteral("'and' 附近有语法错误。")});
    const Read<QVariant> v =
        LookupValue(QStringLiteral("name"), QStringLiteral("t"), QString(), master.get());
    EXPECT_FALSE(v.value.isValid());
    EXPECT_EQ(v.outcome.text(), QStringLiteral("'and' 附近有语法错误。"));
    EXPECT_EQ(v.outcome.number(), 102);

    // A missing field in a result that has rows.
    const QString sql = QStringLiteral("select a from t");
    server.answer(sql, table({QStringLiteral("a")}, {{1}}));
    const Read<QVariant> missing = GetFieldValue(QStringLiteral("name"), sql, master.get());
    EXPECT_FALSE(missing.value.isValid());
    EXPECT_FALSE(missing.outcome.text().isEmpty());

    // No connection at all.
    EXPECT_FALSE(GetFieldValue(QStringLiteral("name"), sql, nullptr).outcome.text().isEmpty());
    const int statementsBefore = int(server.log.size());
    EXPECT_FALSE(
        LookupValue(QStringLiteral("name"), QStringLiteral("t"), QStringLiteral("1=1"), nullptr)
            .outcome.ok());
    EXPECT_EQ(server.log.size(), statementsBefore) << "nothing is sent without a connection";
}

TEST_F(QueryHelpers, OpenConnUsesTheProgramLogin) {
    ASSERT_NE(master, nullptr);
    ASSERT_EQ(server.opens.size(), 1u);
    EXPECT_EQ(server.opens[0].server, QStringLiteral("erp-db,1433"));
    EXPECT_EQ(server.opens[0].database, QStringLiteral("master"));
    EXPECT_EQ(server.opens[0].user, QStringLiteral("sa"));
    EXPECT_EQ(server.opens[0].password, QStringLiteral("secret"));

    server.failOpen(QStringLiteral("UFSystem"), DbError{QStringLiteral("28000"), 18456,
                                                        QStringLiteral("用户 'sa' 登录失败。")});
    const Read<std::unique_ptr<Database>> refused = OpenConn(QStringLiteral("UFSystem"));
    EXPECT_EQ(refused.value, nullptr);
    EXPECT_EQ(refused.outcome.text(), QStringLiteral("用户 'sa' 登录失败。"));
    EXPECT_EQ(refused.outcome.number(), 18456);
}

TEST(NullToStrTest, TextFormsOfValues) {
    EXPECT_EQ(NullToStr(QVariant()), QString());
    EXPECT_EQ(NullToStr(QVariant(QString())), QString());
    EXPECT_EQ(NullToStr(QVariant(qint64(2015))), QStringLiteral("2015"));
    EXPECT_EQ(NullToStr(QVariant(QStringLiteral("账套"))), QStringLiteral("账套"));
}

} // namespace
} // namespace quenlor
