#include "core/db/QueryHelpers.h"

#include "support/TestState.h"

namespace quenlor {
namespace {

using test::table;
using QueryHelpers = test::StateFixture;

TEST_F(QueryHelpers, QueryHelpersReadTheFirstRowAndReportFailures) {
    st().SqlServer = QStringLiteral("erp-db,1433");
    st().SqlUser = QStringLiteral("sa");
    st().SqlPassword = QStringLiteral("secret");
    const std::unique_ptr<Database> master = OpenConn(QStringLiteral("master")).value;
    ASSERT_NE(master, nullptr);
    const ConnectionParams& p = server.opens.at(0);
    EXPECT_EQ((QStringList{p.server, p.database, p.user, p.password}),
              (QStringList{"erp-db,1433", "master", "sa", "secret"}));

    server.answer("select name from t where 1=1 and x=1", table({"Name"}, {{"first"}, {"2"}}));
    EXPECT_EQ(LookupValue("name", "t", "x=1", master.get()).value, QVariant("first"))
        << "the field is found without regard to case";
    const Read<QVariant> noRow = LookupValue("name", "t", "x=2", master.get());
    EXPECT_FALSE(noRow.value.isValid()) << "null";
    EXPECT_TRUE(noRow.outcome.ok()) << "no row is no failure";
    EXPECT_EQ(GetFieldValue("name", "select 1 where 1=0", master.get()).value, QVariant(QString()))
        << "GetFieldValue gives empty text for no row";

    // An empty condition leaves the statement ending in "and ", which the server rejects.
    server.fail("select name from t where 1=1 and ",
                DbError{"42000", 102, "'and' 附近有语法错误。"});
    const Read<QVariant> failed = LookupValue("name", "t", QString(), master.get());
    EXPECT_FALSE(failed.value.isValid());
    EXPECT_EQ(failed.outcome.text(), QStringLiteral("'and' 附近有语法错误。"));
    EXPECT_EQ(failed.outcome.number(), 102);

    const qsizetype sent = server.log.size();
    EXPECT_FALSE(LookupValue("name", "t", "1=1", nullptr).outcome.ok());
    EXPECT_EQ(server.log.size(), sent) << "nothing is sent without a connection";
}

} // namespace
} // namespace quenlor
