// The engine's statements without the network: comparisons and LIKE, names, the system tables
// and properties, how result columns are typed, and faults set on statements.

#include "sim/EngineFixture.h"

#include <QRegularExpression>

namespace quenlor::sim::test {

// ---- comparison and LIKE ----

TEST_F(EngineTest, EqualsInDistinctAndOrderByIgnoreCaseAndTrailingBlanks) {
    build(smallScenario());
    Session s = open(1);
    EXPECT_EQ(scalar(u"select count(*) from UFSystem..UA_User where cDept='finance'"_s, s), 2);
    EXPECT_EQ(scalar(u"select count(*) from UFSystem..UA_User where cDept=N'财务部   '"_s, s), 2);
    EXPECT_EQ(
        scalar(u"select count(*) from UFSystem..UA_User where cDept in ('IT ','财务部')"_s, s), 3);
    EXPECT_EQ(
        column(select(u"select cUser_Id from UFSystem..UA_User where cUser_Id='ADMIN  '"_s, s)),
        QStringList{u"admin"_s});

    const QList<QList<QVariant>> depts =
        select(u"select distinct cDept from UFSystem..UA_User order by cDept"_s, s);
    ASSERT_EQ(depts.size(), 4);
    EXPECT_TRUE(depts[0][0].isNull());
    EXPECT_EQ(depts[1][0].toString().trimmed().toLower(), u"finance"_s);
    EXPECT_EQ(depts[2][0].toString(), u"IT"_s);
    EXPECT_EQ(depts[3][0].toString().trimmed(), u"财务部"_s);

    EXPECT_EQ(column(select(u"select cUser_Id from UFSystem..UA_User order by cUser_Id desc"_s, s)),
              (QStringList{u"zhao"_s, u"zhang"_s, u"wang"_s, u"li"_s, u"Bob"_s, u"admin"_s}));

    // A join on codes and a name looked up in another case.
    EXPECT_EQ(
        scalar(u"select a.cAcc_Name from UFSystem..UA_Account a join "
               "UFSystem..UA_UserAccount u on u.cAccCode=a.cAcc_Id where u.cUser_Id='ADMIN'"_s,
               s),
        u"北方重工"_s);
    EXPECT_EQ(scalar(u"select name from master..sysdatabases where name='ufsystem '"_s, s),
              u"UFSystem"_s);
    EXPECT_EQ(scalar(u"select name from master..sysdatabases where name=N'测试库'"_s, s),
              u"测试库"_s);
}

TEST_F(EngineTest, TextsComputedInAStatementCompareAsColumnsDo) {
    build(smallScenario());
    Session s = open(1);
    EXPECT_EQ(scalar(u"select count(*) from master..sysdatabases where left(name,6)='ufdata'"_s, s),
              2);
    EXPECT_EQ(
        scalar(u"select count(*) from UFSystem..UA_User where isnull(cDept,'')='finance'"_s, s), 2);
    EXPECT_EQ(scalar(u"select case when 'ABC'='abc ' then 1 else 0 end"_s, s), 1);
    EXPECT_EQ(select(u"select distinct left(cDept,3) from UFSystem..UA_User where cUser_Id in "
                     "('admin','zhang')"_s,
                     s)
                  .size(),
              1);
}

TEST_F(EngineTest, LikeClassesEscapeAndNullsInStatements) {
    build(smallScenario());
    Session s = open(1);
    EXPECT_EQ(column(select(u"select name from master..sysdatabases where name like "
                            "'ufdata[_][0-9][0-9][0-9][_]%' order by name"_s,
                            s)),
              (QStringList{u"UFDATA_001_2023"_s, u"UFDATA_001_2024"_s}));
    EXPECT_EQ(column(select(u"select name from master..sysdatabases where name like "
                            "'UFDATA!_001!_2024' escape '!'"_s,
                            s)),
              QStringList{u"UFDATA_001_2024"_s});
    // NULL is neither like nor unlike anything.
    EXPECT_EQ(scalar(u"select count(*) from UFSystem..UA_User where cDept like '%'"_s, s), 5);
    EXPECT_EQ(scalar(u"select count(*) from UFSystem..UA_User where cDept not like 'f%'"_s, s), 3);
    EXPECT_EQ(scalar(u"select count(*) from UFSystem..UA_User where cDept like '财务_'"_s, s), 2);

    // The account listing: a full join on a LIKE built by concatenation, distinct and ordered.
    const QList<QList<QVariant>> accounts = select(
        u"Select distinct '' as 选择, case when cacc_id is null then substring(name,8,3) else "
        "cacc_id end as 账套号, case when cacc_id is null then '' else cacc_name end as 账套名称, "
        "case when cacc_id is null then '系统管理控制之外' when name is null then '物理数据库丢失' "
        "else '正常' end as 状态 from master..sysdatabases full join ufsystem..ua_account on name "
        "like 'ufdata_'+cacc_id+'_[12][0-9][0-9][0-9]' where name like "
        "'ufdata_[0-9][0-9][0-9]_[12][0-9][0-9][0-9]' or cacc_id is not null order by case when "
        "cacc_id is null then substring(name,8,3) else cacc_id end"_s,
        s);
    EXPECT_EQ(accounts,
              (QList<QList<QVariant>>{{u""_s, u"001"_s, u"北方重工"_s, u"正常"_s},
                                      {u""_s, u"002"_s, u"Demo"_s, u"物理数据库丢失"_s}}));
}

// ---- names ----

TEST_F(EngineTest, QualifiedBracketedAndSessionDatabaseNames) {
    build(smallScenario());
    Session s = open(1);
    EXPECT_EQ(scalar(u"select count(*) from ufsystem..ua_account"_s, s), 2);
    EXPECT_EQ(scalar(u"select count(*) from UFSystem.dbo.UA_Account"_s, s), 2);
    EXPECT_EQ(scalar(u"select count(*) from [UFSystem].[dbo].[UA_Account]"_s, s), 2);
    EXPECT_EQ(scalar(u"select count(*) from [UFSystem]..[Odd]]Name]"_s, s), 0);

    const Reply before = run(u"select count(*) from UA_Account"_s, s);
    EXPECT_EQ(texts(before), QStringList{u"Invalid object name 'UA_Account'."_s});
    EXPECT_EQ(numbers(before), QList<int>{208});

    EXPECT_TRUE(run(u"use [ufsystem]"_s, s).results.isEmpty());
    EXPECT_EQ(s.database, u"UFSystem"_s);
    EXPECT_EQ(scalar(u"select count(*) from UA_Account"_s, s), 2);
    EXPECT_EQ(scalar(u"select count(*) from dbo.UA_Period where cAcc_Id='001'"_s, s), 2);
    EXPECT_EQ(scalar(u"select db_name()"_s, s), u"UFSystem"_s);
    EXPECT_EQ(rowCounts(run(u"delete [Odd]]Name]"_s, s)), QList<qint64>{0});

    EXPECT_EQ(texts(run(u"select * from NoSuch..UA_Account"_s, s)),
              QStringList{u"Invalid object name 'NoSuch..UA_Account'."_s});
    EXPECT_EQ(texts(run(u"delete UFSystem..UA_Nothing where 1=1"_s, s)),
              QStringList{u"Invalid object name 'UFSystem..UA_Nothing'."_s});
    EXPECT_EQ(texts(run(u"select * from UFDATA_001_2024..UA_Account"_s, s)),
              QStringList{u"Invalid object name 'UFDATA_001_2024..UA_Account'."_s});
    EXPECT_EQ(texts(run(u"select cNothing from UFSystem..UA_User"_s, s)),
              QStringList{u"Invalid column name 'cNothing'."_s});
    EXPECT_EQ(texts(run(u"use NoSuch"_s, s)),
              QStringList{u"Database 'NoSuch' does not exist. Make sure that the name is entered "
                          "correctly."_s});
    EXPECT_EQ(s.database, u"UFSystem"_s);
    EXPECT_EQ(texts(run(u")"_s, s)), QStringList{u"Incorrect syntax near ')'."_s});
}

TEST_F(EngineTest, SysDatabasesExistsFromTheSecondServerGenerationOn) {
    build(smallScenario(u"8.00.2039"_s, u"zh-CN"_s));
    Session old = open(1);
    const Reply missing = run(u"select name from sys.databases"_s, old);
    EXPECT_EQ(numbers(missing), QList<int>{208});
    EXPECT_EQ(texts(missing), QStringList{u"对象名 'sys.databases' 无效。"_s});
    EXPECT_EQ(scalar(u"select count(*) from master..sysdatabases"_s, old), 13);
    EXPECT_EQ(scalar(u"select cmptlevel from master..sysdatabases where name='UFSystem'"_s, old),
              80);

    engine.reset();
    QDir(data.path()).removeRecursively();
    build(smallScenario());
    Session s = open(1);
    const ResultSet set =
        onlySet(run(u"select name, state, user_access, is_read_only from sys.databases where "
                    "name in ('OA_Offline','Archive','UFSystem','Solo') order by name"_s,
                    s));
    ASSERT_EQ(set.columns.size(), 4);
    EXPECT_EQ(set.columns[1].type, ColumnType::Int);
    EXPECT_EQ(set.rows, (QList<QList<QVariant>>{{u"Archive"_s, 0, 0, 1},
                                                {u"OA_Offline"_s, 6, 0, 0},
                                                {u"Solo"_s, 0, 1, 0},
                                                {u"UFSystem"_s, 0, 0, 0}}));
}

// ---- the catalogue's own system tables ----

TEST_F(EngineTest, SystemTablesDescribeTheCatalogueSchema) {
    build(smallScenario());
    Session s = open(1);
    EXPECT_EQ(select(u"select o.xtype, c.name, c.colorder, c.colid from UFSystem..sysobjects o "
                     "join UFSystem..syscolumns c on c.id=o.id where o.name='ua_useraccount' "
                     "order by c.colorder"_s,
                     s),
              (QList<QList<QVariant>>{{u"U"_s, u"cUser_Id"_s, 1, 1},
                                      {u"U"_s, u"cRole_Id"_s, 2, 2},
                                      {u"U"_s, u"cAccCode"_s, 3, 3}}));
    EXPECT_EQ(
        column(select(u"select name from UFSystem..sysobjects where xtype='U' order by name"_s, s)),
        (QStringList{u"Odd]Name"_s, u"UA_Account"_s, u"UA_Period"_s, u"UA_User"_s,
                     u"UA_UserAccount"_s}));

    // Every foreign key: its object, the two tables and the column positions on both sides.
    const QList<QList<QVariant>> keys =
        select(u"select f.name, f.xtype, p.name, t.name, r.keycnt, r.fkey1, r.rkey1, "
               "case when f.parent_obj=r.fkeyid then 1 else 0 end from UFSystem..sysreferences r "
               "join UFSystem..sysobjects f on f.id=r.constid join UFSystem..sysobjects p on "
               "p.id=r.fkeyid join UFSystem..sysobjects t on t.id=r.rkeyid order by f.name"_s,
               s);
    EXPECT_EQ(keys, (QList<QList<QVariant>>{{u"FK_UA_Period_UA_Account"_s, u"F"_s, u"UA_Period"_s,
                                             u"UA_Account"_s, 1, 1, 1, 1},
                                            {u"FK_UA_UserAccount_UA_Account"_s, u"F"_s,
                                             u"UA_UserAccount"_s, u"UA_Account"_s, 1, 3, 1, 1},
                                            {u"FK_UA_UserAccount_UA_User"_s, u"F"_s,
                                             u"UA_UserAccount"_s, u"UA_User"_s, 1, 1, 1, 1}}));

    // A second catalogue with the same schema has tables and objects of its own.
    EXPECT_EQ(scalar(u"select count(*) from Archive..sysobjects where xtype='F'"_s, s), 3);
}

TEST_F(EngineTest, DatabaseAndServerPropertiesFollowTheFlags) {
    build(smallScenario());
    Session s = open(1);
    EXPECT_EQ(select(u"select DATABASEPROPERTY('Archive','IsReadOnly'), "
                     "DATABASEPROPERTY('archive','IsOffline'), "
                     "DATABASEPROPERTY('OA_Offline','IsOffline'), "
                     "DATABASEPROPERTY('NoSuch','IsOffline'), "
                     "DATABASEPROPERTYEX('OA_Offline','Status'), "
                     "DATABASEPROPERTYEX('Solo','UserAccess'), "
                     "SERVERPROPERTY('productversion'), SERVERPROPERTY('ProductLevel')"_s,
                     s),
              (QList<QList<QVariant>>{{1, 0, 1, QVariant(), u"OFFLINE"_s, u"SINGLE_USER"_s,
                                       u"10.50.6000.34"_s, u"SP3"_s}}));
    // The listing's status column, built from the flags with concatenation.
    EXPECT_EQ(select(u"select name, case when isnull(DATABASEPROPERTY(name,'IsReadOnly'),0)=1 "
                     "then '只读\\' else '' end+case when "
                     "isnull(DATABASEPROPERTY(name,'IsSingleUser'),0)=1 then '单用户\\' else '' "
                     "end+case when isnull(DATABASEPROPERTY(name,'IsOffline'),0)=1 then '脱机\\' "
                     "else '' end as 状态 from master..sysdatabases where name in "
                     "('Archive','OA_Offline','Busy','Solo') order by name"_s,
                     s),
              (QList<QList<QVariant>>{{u"Archive"_s, u"只读\\"_s},
                                      {u"Busy"_s, u""_s},
                                      {u"OA_Offline"_s, u"脱机\\"_s},
                                      {u"Solo"_s, u"单用户\\"_s}}));
}

// ---- result sets ----

TEST_F(EngineTest, ColumnsAreIntWhenEveryValueIsOneAndTextOtherwise) {
    build(smallScenario());
    Session s = open(1);
    const ResultSet periods = onlySet(run(u"select cAcc_Id as 账套号, iYear, iId, bIsDelete from "
                                          "UFSystem..UA_Period where cAcc_Id='001' order by iId"_s,
                                          s));
    ASSERT_EQ(periods.columns.size(), 4);
    EXPECT_EQ(periods.columns[0].name, u"账套号"_s);
    EXPECT_EQ(periods.columns[0].type, ColumnType::NVarChar);
    EXPECT_EQ(periods.columns[1].type, ColumnType::Int);
    EXPECT_EQ(periods.columns[3].type, ColumnType::Int);
    ASSERT_EQ(periods.rows.size(), 2);
    EXPECT_EQ(periods.rows[1][0].typeId(), QMetaType::QString);
    EXPECT_EQ(periods.rows[1][1].typeId(), QMetaType::Int);
    EXPECT_EQ(periods.rows[1][2], 2);

    // An empty result keeps the declared types.
    const ResultSet empty =
        onlySet(run(u"select p.cAcc_Id, p.iYear, u.cDept from UFSystem..UA_Period p join "
                    "UFSystem..UA_User u on 1=1 where 1=0"_s,
                    s));
    ASSERT_EQ(empty.columns.size(), 3);
    EXPECT_TRUE(empty.rows.isEmpty());
    EXPECT_EQ(empty.columns[0].type, ColumnType::NVarChar);
    EXPECT_EQ(empty.columns[1].type, ColumnType::Int);
    EXPECT_EQ(empty.columns[2].type, ColumnType::NVarChar);

    // Computed columns: NULL, empty text, a count, a number too large for INT, NULLs in text.
    const ResultSet computed =
        onlySet(run(u"select null as n, '' as e, count(*) as c, 3000000000 as big, max(cDept) "
                    "as m from UFSystem..UA_User"_s,
                    s));
    ASSERT_EQ(computed.columns.size(), 5);
    EXPECT_EQ(computed.columns[0].type, ColumnType::NVarChar);
    EXPECT_EQ(computed.columns[1].type, ColumnType::NVarChar);
    EXPECT_EQ(computed.columns[2].type, ColumnType::Int);
    EXPECT_EQ(computed.columns[3].type, ColumnType::NVarChar);
    EXPECT_EQ(computed.columns[4].type, ColumnType::NVarChar);
    ASSERT_EQ(computed.rows.size(), 1);
    EXPECT_TRUE(computed.rows[0][0].isNull());
    EXPECT_FALSE(computed.rows[0][1].isNull());
    EXPECT_EQ(computed.rows[0][1], u""_s);
    EXPECT_EQ(computed.rows[0][2], 6);
    EXPECT_EQ(computed.rows[0][3], u"3000000000"_s);

    const QList<QList<QVariant>> depts =
        select(u"select cDept from UFSystem..UA_User where cUser_Id in ('zhao','Bob') "
               "order by cUser_Id"_s,
               s);
    EXPECT_EQ(depts, (QList<QList<QVariant>>{{u"IT"_s}, {QVariant()}}));

    EXPECT_EQ(rowCounts(run(u"update UFSystem..UA_Period set bIsDelete=1 where 1=0"_s, s)),
              QList<qint64>{0});
}

TEST_F(EngineTest, MoneyValuesKeepTheirDigits) {
    build(smallScenario());
    Session s = open(1);
    const QList<QList<QVariant>> capital =
        select(u"select mCapital from UFSystem..UA_Account order by cAcc_Id"_s, s);
    ASSERT_EQ(capital.size(), 2);
    bool ok = false;
    EXPECT_EQ(capital[0][0].toString().toDouble(&ok), 8800000.5)
        << capital[0][0].toString().toStdString();
    EXPECT_TRUE(ok);
    EXPECT_EQ(capital[1][0].toString().toDouble(&ok), 5000000.0)
        << capital[1][0].toString().toStdString();
    EXPECT_TRUE(ok);
    EXPECT_FALSE(capital[1][0].toString().contains(u'e'));
}

// ---- faults ----

TEST_F(EngineTest, FaultsCatchTheirStatementsAsOftenAsTold) {
    build(smallScenario());
    Session s = open(1);
    const QString lost = u"Cannot drop database \"x\" because it is currently in use."_s;
    engine->addFault(
        Fault{QRegularExpression(u"^drop database"_s, QRegularExpression::CaseInsensitiveOption),
              Fault::Kind::Error, Message{3702, 1, 16, lost}, 2});
    const Reply drops = run(u"drop database UFDATA_001_2023; DROP DATABASE UFDATA_001_2024; "
                            "drop database Archive"_s,
                            s);
    EXPECT_EQ(texts(drops), (QStringList{lost, lost}));
    EXPECT_TRUE(engine->database(u"UFDATA_001_2023"_s).has_value());
    EXPECT_TRUE(engine->database(u"UFDATA_001_2024"_s).has_value());
    EXPECT_FALSE(engine->database(u"Archive"_s).has_value());
    EXPECT_TRUE(run(u"drop database UFDATA_001_2023"_s, s).results.isEmpty());

    // A hang stops the batch where it caught; nothing after it runs.
    engine->addFault(Fault{QRegularExpression(u"UA_Period"_s), Fault::Kind::Hang, {}, -1});
    const int before = engine->statementCount();
    const Reply hung = run(u"delete UFSystem..UA_UserAccount; delete UFSystem..UA_Period; "
                           "delete UFSystem..UA_User"_s,
                           s);
    EXPECT_TRUE(hung.neverAnswer);
    EXPECT_EQ(rowCounts(hung), QList<qint64>{1});
    EXPECT_EQ(engine->statementCount() - before, 2);
    EXPECT_EQ(count(u"\"UFSystem\".\"UA_Period\""_s), 3);
    EXPECT_EQ(count(u"\"UFSystem\".\"UA_User\""_s), 6);
    EXPECT_TRUE(run(u"select count(*) from UFSystem..UA_Period"_s, s).neverAnswer);

    engine->clearFaults();
    engine->addFault(Fault{QRegularExpression(u"UA_User"_s), Fault::Kind::Disconnect, {}, 1});
    const Reply cut = run(u"delete UFSystem..UA_User"_s, s);
    EXPECT_TRUE(cut.disconnect);
    EXPECT_FALSE(cut.neverAnswer);
    EXPECT_EQ(count(u"\"UFSystem\".\"UA_User\""_s), 6);
    // Used up: the next one runs.
    EXPECT_EQ(rowCounts(run(u"delete UFSystem..UA_User"_s, s)), QList<qint64>{6});
}

} // namespace quenlor::sim::test
