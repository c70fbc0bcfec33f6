#include "core/deletion/RecordingDatabase.h"

#include "core/deletion/PreviewEffects.h"

#include "support/TestState.h"

namespace quenlor {
namespace {

// Only a single SELECT reaches the server; every other statement, however it is sent, and each
// transaction boundary is recorded in order and answered empty.
TEST(RecordingDatabase, OnlyPlainReadsReachTheServer) {
    const std::tuple<const char*, bool, bool> rows[] = {
        {"select name from master..sysdatabases where name='a;b--[c]'", true, true},
        {"  -- why\n/* and how */ SELECT 1 as [x;y]", true, true},
        {"select * into t from master..sysdatabases", true, false},
        {"select 1; drop database [x]", true, false},
        {"select 1 /* */ drop database [x]", true, false},
        {"delete UFSystem..UA_Account where cAcc_Id='001'", true, false},
        {"exec sp_dboption 'x','single user','true'", true, false},
        {"drop database [x]", false, false},
    };
    test::FakeServer server;
    test::FakeDatabase inner(server, QStringLiteral("master"));
    RecordingDatabase dry(inner);
    QStringList sent, kept;
    dry.beginTrans();
    for (const auto& [sql, asQuery, reaches] : rows) {
        const QString text = QString::fromUtf8(sql);
        asQuery ? (void)dry.query(text) : dry.execute(text);
        (reaches ? sent : kept) << text;
    }
    dry.commitTrans();
    for (QString& s : sent)
        s.prepend("master: ");
    EXPECT_EQ(server.log, sent);
    EXPECT_EQ(dry.recorded(),
              QStringList{"BEGIN TRANSACTION"} + kept + QStringList{"COMMIT TRANSACTION"});
}

// The preview's reads: one query for every database dropped, then a count per catalogue
// statement that leaves out the rows the run's earlier deletes take, subqueries included.
class PreviewEffects : public test::StateFixture {};

TEST_F(PreviewEffects, CountsReadTheTablesAsTheRunFindsThem) {
    test::FakeDatabase master(server, QStringLiteral("master"));
    st().ServerMajorVersion = 10;
    RunPreview preview;
    preview.rows << RowPreview{"账套[001]",
                               {},
                               {{"a]b", {}, -1, -1, -1}},
                               {},
                               {},
                               {"BEGIN TRANSACTION",
                                "delete UFSystem..[UA_BackupPlans] where [cAcc_Id]='001'",
                                "delete from UFSystem..UA_BackupPlan WHERE cPlan_Id not in "
                                "(select cPlan_Id FROM UFSystem..UA_BackupPlans)",
                                "UPDATE UFSystem..UA_Period SET bIsDelete=1 WHERE cAcc_Id='001' "
                                "AND iyear=2015",
                                "delete UFSystem..UA_BackupPlans where cAcc_Id='001'",
                                "COMMIT TRANSACTION", "drop database [a]]b]"}};
    ASSERT_TRUE(DescribeEffects(preview, &master).ok());
    EXPECT_EQ(
        server.log,
        (QStringList{
            "master: select d.name,DATABASEPROPERTYEX(d.name,'Status') as state,(select "
            "sum(cast(f.size as bigint))*8 from sys.master_files as f where "
            "f.database_id=d.dbid and f.type<>1) as data_kb,(select sum(cast(f.size as "
            "bigint))*8 from sys.master_files as f where f.database_id=d.dbid and f.type=1) as "
            "log_kb,(select count(*) from master..sysprocesses as p where p.dbid=d.dbid and "
            "p.spid<>@@spid) as others from master..sysdatabases as d where d.name in (N'a]b')",
            "master: select count(*) as n from UFSystem..[UA_BackupPlans] where "
            "([cAcc_Id]='001')",
            "master: select count(*) as n from UFSystem..UA_BackupPlan where (cPlan_Id not in "
            "(select cPlan_Id from UFSystem..UA_BackupPlans where 1=1 and case when "
            "([cAcc_Id]='001') then 0 else 1 end=1))",
            "master: select count(*) as n from UFSystem..UA_Period where (cAcc_Id='001' AND "
            "iyear=2015)",
            "master: select count(*) as n from UFSystem..UA_BackupPlans where (cAcc_Id='001') "
            "and case when ([cAcc_Id]='001') then 0 else 1 end=1"}));
}

} // namespace
} // namespace quenlor
