// The engine's answers to statements the end-to-end runs never send: the server's comparison
// rules in statements, names it cannot resolve, the refusals a database's state or another
// session causes, and how values are typed.

#include "sim/EngineFixture.h"

namespace quenlor::sim::test {
namespace {

struct Statements {
    const char* name;
    const char* expected;           // shown() of the reply, or "login #N" when the login is refused
    const char* sql;                // the batch session 1 sends
    const char* other = nullptr;    // a batch session 2, in master, sends first
    const char* database = nullptr; // the database session 1 logs in to, UFSystem when none
    const char* version = nullptr;  // the server's version, the scenario's when none
};

void PrintTo(const Statements& row, std::ostream* os) {
    *os << row.name;
}

const Statements kStatements[] = {
    // ---- comparison ----
    {"EqualityIgnoresCaseAndTrailingBlanks", "2 / 2 / 'admin'",
     "select count(*) from UA_User where cDept='finance '; select count(*) from UA_User where "
     "cDept=N'财务部'; select cUser_Id from UA_User where cUser_Id='ADMIN  '"},
    {"InComparesAsEquality", "3", "select count(*) from UA_User where cDept in ('IT ','财务部')"},
    {"TextsComputedInTheStatementCompareAsColumns", "2 / 1 / 2",
     "select count(*) from UA_User where isnull(cDept,'')='FINANCE'; select case when 'ABC'='abc ' "
     "then 1 else 0 end; select count(*) from master..sysdatabases where left(name,6)='ufdata'"},
    {"DistinctAndOrderIgnoreCase", "3 / 'zhao'; 'zhang'; 'wang'; 'li'; 'Bob'; 'admin'",
     "select count(distinct cDept) from UA_User; select cUser_Id from UA_User order by cUser_Id "
     "desc"},
    {"LikeEscapeAndNulls", "'UFDATA_001_2024' / 5 / 3",
     "select name from master..sysdatabases where name like 'UFDATA!_001!_2024' escape '!'; select "
     "count(*) from UA_User where cDept like '%'; select count(*) from UA_User where cDept not "
     "like 'f%'"},
    {"BatchSplitsOnlyAtSemicolonsOutsideLiteralsNamesAndComments", "';' / 'x;y' / #911",
     "select ';' -- c;d\n ;; /* e;f */ ; select 'x;y'; use [a;b]"},
    // ---- names ----
    {"OwnersBracketsAndDoubledBrackets", "2 / 0",
     "select count(*) from [UFSystem].[dbo].[UA_Account]; drop database [Acc]]ount]; select "
     "count(*) from master..sysdatabases where name='Acc]ount'"},
    {"LoginNamesTheDatabaseAsTheServerDoes", "'UFSystem' / 2",
     "select db_name(); select count(*) from dbo.UA_Account", nullptr, "ufsystem"},
    {"UnknownObjectsColumnsDatabasesAndSyntax", "#208 / #208 / #208 / #207 / #911 / #102",
     "select * from UA_Nothing; select * from NoSuch..UA_Account; select * from "
     "UFDATA_001_2024..UA_Account; select cNothing from UA_User; use NoSuch; )"},
    {"SysDatabasesMissingBefore2005", "#208 / 'UFSystem'",
     "select name from sys.databases; select name from master..sysdatabases where name='ufsystem'",
     nullptr, nullptr, "8.00.2039"},
    // ---- values ----
    {"MoneyKeepsEveryDigitAndNoExponent", "'8800000.5'; '5000000'",
     "select mRegCapital from Archive..EAP_Account order by ID"},
    {"ColumnsWithoutValuesKeepTheirDeclaredTypeOrAreText", "no rows of text,int,int,text",
     "select cAcc_Id, iYear, bIsDelete, null from UA_Period where 1=0"},
    {"NumberBeyondIntTravelsAsText", "6,'3000000000',NULL",
     "select count(*), 3000000000, null from UA_User"},
    // ---- refusals by a database's state ----
    {"ReadOnlyDatabaseRefusesChangesButAnswersReads", "#3906 / #3906 / #3906 / 'Old' / 0 rows",
     "delete Archive..EAP_Account; update Archive..EAP_Account set cAcc_Name='x'; insert into "
     "Archive..EAP_Account (ID) values (3); select cAcc_Name from Archive..EAP_Account where ID=1; "
     "delete UA_UserAccount where cAccCode in (select cAcc_Name from Archive..EAP_Account)"},
    {"ReferencedRowIsKept", "#547 / 2",
     "delete UA_Account where cAcc_Id='001'; select count(*) from UA_Account"},
    {"OfflineDatabaseCannotBeOpenedOrSwitched", "#942 / #942 / #5011 / #5069 / #5011 / #5069",
     "select * from OA_Offline..anything; use oa_offline; alter database OA_Offline set "
     "single_user with rollback immediate; alter database NoSuch set multi_user"},
    {"LoginToAnOfflineDatabase", "login #4060", "", nullptr, "OA_Offline"},
    {"LoginToAnUnknownDatabase", "login #4060", "", nullptr, "NoSuch"},
    {"LoginToASingleUserDatabaseInUse", "login #924", "", nullptr, "Solo"},
    // ---- transactions ----
    {"RollbackRestoresTheRowsAndCommitKeepsThem", "1 rows / 1 / 1 rows / 0",
     "begin tran; delete UA_UserAccount; rollback; select count(*) from UA_UserAccount; begin "
     "transaction; delete UA_UserAccount; commit; select count(*) from UA_UserAccount"},
    {"NoDropOrSwitchInsideATransaction", "#574 / #226 / 1",
     "begin tran; drop database UFDATA_001_2024; alter database UFDATA_001_2024 set single_user "
     "with rollback immediate; rollback; select count(*) from master..sysdatabases where "
     "name='UFDATA_001_2024'"},
    {"AnotherSessionsTransactionRefusesChangesButNotReads", "#50001 / #50001 / #50001 / 2",
     "begin tran; delete UA_UserAccount; drop database Archive; select count(*) from UA_Period",
     "begin tran; delete UFSystem..UA_Period where cAcc_Id='002'"},
    // ---- databases ----
    {"DropRefusesSystemUnknownAndOwnDatabases", "#3708 / #3701 / #3702",
     "drop database master; drop database NoSuch; drop database UFSystem"},
    {"DroppedCatalogueTakesItsTablesOnly", "#208 / 2",
     "use master; drop database UFSystem; select count(*) from UFSystem..UA_Account; select "
     "count(*) from Archive..EAP_Account"},
    {"SingleUserSwitchShowsAndTakesTheDatabaseFromOtherPrograms", "1,4096 / 0,0",
     "alter database Busy set single_user with rollback immediate; select "
     "DATABASEPROPERTY(name,'IsSingleUser'), status & 4096 from master..sysdatabases where "
     "name='Busy'; alter database Busy set multi_user; select "
     "DATABASEPROPERTY(name,'IsSingleUser'), status & 4096 from master..sysdatabases where "
     "name='Busy'; drop database Busy"},
    {"SwitchWithOthersInNeedsRollbackImmediate", "#5064 / #5069 / #102",
     "alter database Busy set single_user; alter database Busy set single_user with rollback"},
    {"SingleUserDatabaseAdmitsOneSession", "#924 / 'UFSystem'",
     "use UFDATA_001_2023; select db_name()",
     "alter database UFDATA_001_2023 set single_user with rollback immediate; use UFDATA_001_2023"},
    {"SpDboptionGoneFrom2012On", "#2812", "sp_dboption 'UFDATA_001_2023','single user','true'",
     nullptr, nullptr, "11.0.7001.0"},
};

class EngineStatements : public EngineTest, public ::testing::WithParamInterface<Statements> {};

TEST_P(EngineStatements, AnswerAsTheServerDoes) {
    const Statements& row = GetParam();
    buildSmall(row.version);
    Session other;
    ASSERT_EQ(login(other, 2), 0);
    if (row.other)
        (void)engine->batch(QString::fromUtf8(row.other), other);
    Session session;
    const int refused =
        login(session, 1, QString::fromUtf8(row.database ? row.database : "UFSystem"));
    EXPECT_EQ(refused ? u"login #"_s + QString::number(refused)
                      : run(QString::fromUtf8(row.sql), session),
              QString::fromUtf8(row.expected));
}

INSTANTIATE_TEST_SUITE_P(Rows, EngineStatements, ::testing::ValuesIn(kStatements),
                         [](const ::testing::TestParamInfo<Statements>& info) {
                             return std::string(info.param.name);
                         });

// What the network side calls besides batches: the driver's transaction requests, where a commit
// may begin the next transaction at once, and a connection's end, which frees its database.
TEST_F(EngineTest, TransactionRequestsAndClosedConnections) {
    buildSmall();
    Session s, other;
    ASSERT_EQ(login(s, 1, u"UFSystem"_s) + login(other, 2, u"UFDATA_001_2023"_s), 0);
    EXPECT_FALSE(engine->transaction(TransactionRequest::Begin, false, s));
    EXPECT_EQ(run(u"delete UA_UserAccount"_s, s), u"1 rows"_s);
    EXPECT_FALSE(engine->transaction(TransactionRequest::Commit, true, s));
    EXPECT_EQ(run(u"delete UA_Period where cAcc_Id='002'; drop database UFDATA_001_2023"_s, s),
              u"1 rows / #574"_s);
    EXPECT_FALSE(engine->transaction(TransactionRequest::Rollback, false, s));
    EXPECT_EQ(run(u"select count(*) from UA_UserAccount; select count(*) from UA_Period; drop "
                  "database UFDATA_001_2023"_s,
                  s),
              u"0 / 3 / #3702"_s);
    engine->closed(other);
    EXPECT_EQ(run(u"drop database UFDATA_001_2023"_s, s), QString());
}

} // namespace
} // namespace quenlor::sim::test
