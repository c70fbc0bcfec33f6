// The simulated server's engine without the network: small scenarios built here or the shipped
// ones, sessions logged in directly, and the replies, tables, flags and data files checked.

#include "sim/Engine.h"
#include "sim/Scenario.h"
#include "support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <stdexcept>

using namespace Qt::StringLiterals;
using namespace quenlor::sim;

// Values in failure output as the engine's text, a number or NULL.
static void PrintTo(const QVariant& v, std::ostream* os) {
    if (v.isNull())
        *os << "NULL";
    else if (v.typeId() == QMetaType::QString)
        *os << '"' << v.toString().toStdString() << '"';
    else
        *os << v.toString().toStdString() << " (" << v.typeName() << ')';
}

namespace {

const QString kPassword = u"Quenlor#2026"_s;

ServerDef server(const QString& version, const QString& language) {
    ServerDef s;
    s.productVersion = version;
    s.language = language;
    s.password = kPassword;
    return s;
}

// A catalogue with the shapes that matter: a parent table, a child with a key of three columns,
// a link table whose foreign key column is not its first, and a name that needs brackets.
SchemaDef catalogueSchema() {
    SchemaDef schema;
    schema.tables << TableDef{u"UA_Account"_s,
                              {{u"cAcc_Id"_s, u"nvarchar(3)"_s, true},
                               {u"cAcc_Name"_s, u"nvarchar(80)"_s},
                               {u"iYear"_s, u"smallint"_s},
                               {u"mCapital"_s, u"money"_s}},
                              {u"cAcc_Id"_s},
                              {}};
    schema.tables << TableDef{
        u"UA_User"_s,
        {{u"cUser_Id"_s, u"nvarchar(20)"_s, true}, {u"cDept"_s, u"nvarchar(40)"_s}},
        {u"cUser_Id"_s},
        {}};
    schema.tables << TableDef{
        u"UA_Period"_s,
        {{u"cAcc_Id"_s, u"nvarchar(3)"_s, true},
         {u"iYear"_s, u"smallint"_s, true},
         {u"iId"_s, u"tinyint"_s, true},
         {u"bIsDelete"_s, u"bit"_s}},
        {u"cAcc_Id"_s, u"iYear"_s, u"iId"_s},
        {{u"FK_UA_Period_UA_Account"_s, {u"cAcc_Id"_s}, u"UA_Account"_s, {u"cAcc_Id"_s}}}};
    schema.tables << TableDef{
        u"UA_UserAccount"_s,
        {{u"cUser_Id"_s, u"nvarchar(20)"_s, true},
         {u"cRole_Id"_s, u"nvarchar(20)"_s},
         {u"cAccCode"_s, u"nvarchar(3)"_s, true}},
        {u"cUser_Id"_s, u"cAccCode"_s},
        {{u"FK_UA_UserAccount_UA_User"_s, {u"cUser_Id"_s}, u"UA_User"_s, {u"cUser_Id"_s}},
         {u"FK_UA_UserAccount_UA_Account"_s, {u"cAccCode"_s}, u"UA_Account"_s, {u"cAcc_Id"_s}}}};
    schema.tables << TableDef{u"Odd]Name"_s, {{u"x"_s, u"int"_s}}, {}, {}};
    return schema;
}

Row row(std::initializer_list<std::pair<const QString, QVariant>> cells) {
    return Row(cells);
}

Scenario smallScenario(const QString& version = u"10.50.6000.34"_s,
                       const QString& language = u"en"_s) {
    Scenario s;
    s.server = server(version, language);
    s.schemas.insert(u"cat"_s, catalogueSchema());
    s.databases = {
        {u"UFSystem"_s, u"U8SOFT/Admin/UFSystem.MDF"_s, u"cat"_s, {}, 0},
        {u"UFDATA_001_2023"_s, u"U8SOFT/ZT001/2023/UFDATA.MDF"_s, {}, {}, 0},
        {u"UFDATA_001_2024"_s, u"U8SOFT/ZT001/2024/UFDATA.MDF"_s, {}, {}, 0},
        {u"Archive"_s, u"Archive/Archive.mdf"_s, u"cat"_s, {u"IsReadOnly"_s}, 0},
        {u"OA_Offline"_s, u"MSSQL/DATA/OA_Offline.mdf"_s, {}, {u"IsOffline"_s}, 0},
        {u"Busy"_s, u"MSSQL/DATA/Busy.mdf"_s, {}, {}, 1},
        {u"Solo"_s, u"MSSQL/DATA/Solo.mdf"_s, {}, {u"IsSingleUser"_s}, 1},
        {u"Acc]ount"_s, {}, {}, {}, 0},
        {u"测试库"_s, u"MSSQL/DATA/测试库.mdf"_s, {}, {}, 0},
    };
    s.rows[u"UFSystem"_s][u"UA_Account"_s] = {row({{u"cAcc_Id"_s, u"001"_s},
                                                   {u"cAcc_Name"_s, u"北方重工"_s},
                                                   {u"iYear"_s, 2023},
                                                   {u"mCapital"_s, 8800000.5}}),
                                              row({{u"cAcc_Id"_s, u"002"_s},
                                                   {u"cAcc_Name"_s, u"Demo"_s},
                                                   {u"iYear"_s, 2024},
                                                   {u"mCapital"_s, 5000000}})};
    s.rows[u"UFSystem"_s][u"UA_User"_s] = {
        row({{u"cUser_Id"_s, u"admin"_s}, {u"cDept"_s, u"Finance"_s}}),
        row({{u"cUser_Id"_s, u"Bob"_s}, {u"cDept"_s, u"IT"_s}}),
        row({{u"cUser_Id"_s, u"li"_s}, {u"cDept"_s, u"财务部"_s}}),
        row({{u"cUser_Id"_s, u"wang"_s}, {u"cDept"_s, u"财务部  "_s}}),
        row({{u"cUser_Id"_s, u"zhang"_s}, {u"cDept"_s, u"FINANCE "_s}}),
        row({{u"cUser_Id"_s, u"zhao"_s}, {u"cDept"_s, QVariant()}})};
    s.rows[u"UFSystem"_s][u"UA_Period"_s] = {
        row({{u"cAcc_Id"_s, u"001"_s}, {u"iYear"_s, 2023}, {u"iId"_s, 1}, {u"bIsDelete"_s, 0}}),
        row({{u"cAcc_Id"_s, u"001"_s}, {u"iYear"_s, 2023}, {u"iId"_s, 2}, {u"bIsDelete"_s, 0}}),
        row({{u"cAcc_Id"_s, u"002"_s}, {u"iYear"_s, 2024}, {u"iId"_s, 1}, {u"bIsDelete"_s, 0}})};
    s.rows[u"UFSystem"_s][u"UA_UserAccount"_s] = {
        row({{u"cUser_Id"_s, u"admin"_s}, {u"cRole_Id"_s, u"r1"_s}, {u"cAccCode"_s, u"001"_s}})};
    s.rows[u"Archive"_s][u"UA_Account"_s] = {
        row({{u"cAcc_Id"_s, u"009"_s}, {u"cAcc_Name"_s, u"Old"_s}, {u"iYear"_s, 2010}})};
    return s;
}

QList<int> numbers(const Reply& reply) {
    QList<int> out;
    for (const Result& r : reply.results) {
        if (const auto* m = std::get_if<Message>(&r))
            out << m->number;
    }
    return out;
}

QStringList texts(const Reply& reply) {
    QStringList out;
    for (const Result& r : reply.results) {
        if (const auto* m = std::get_if<Message>(&r))
            out << m->text;
    }
    return out;
}

QList<qint64> rowCounts(const Reply& reply) {
    QList<qint64> out;
    for (const Result& r : reply.results) {
        if (const auto* c = std::get_if<RowCount>(&r))
            out << c->rows;
    }
    return out;
}

ResultSet onlySet(const Reply& reply) {
    if (reply.results.size() != 1 || !std::holds_alternative<ResultSet>(reply.results.front())) {
        ADD_FAILURE() << "not one result set; messages: "
                      << texts(reply).join(u" | "_s).toStdString();
        return {};
    }
    return std::get<ResultSet>(reply.results.front());
}

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(data.isValid()); }

    void build(const Scenario& scenario) {
        engine = std::make_unique<Engine>(scenario, data.path());
    }

    Session open(int id, const QString& database = QString()) {
        Session s;
        s.id = id;
        s.user = u"sa"_s;
        s.password = kPassword;
        s.database = database;
        const std::optional<Message> refused = engine->login(s);
        EXPECT_FALSE(refused.has_value()) << (refused ? refused->text.toStdString() : "");
        return s;
    }

    Reply run(const QString& sql, Session& session) { return engine->batch(sql, session); }

    QList<QList<QVariant>> select(const QString& sql, Session& session) {
        return onlySet(run(sql, session)).rows;
    }

    QVariant scalar(const QString& sql, Session& session) {
        const QList<QList<QVariant>> rows = select(sql, session);
        return rows.isEmpty() || rows.first().isEmpty() ? QVariant() : rows.first().first();
    }

    qint64 count(const QString& engineTable) {
        return engine->value(u"select count(*) from "_s + engineTable).toLongLong();
    }

    QString file(const QString& relative) const { return QDir(data.path()).filePath(relative); }

    QTemporaryDir data;
    std::unique_ptr<Engine> engine;
};

QStringList column(const QList<QList<QVariant>>& rows, int c = 0) {
    QStringList out;
    for (const QList<QVariant>& r : rows)
        out << (r.value(c).isNull() ? u"<null>"_s : r.value(c).toString());
    return out;
}

} // namespace

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

// ---- dropping databases ----

TEST_F(EngineTest, DropRemovesTheDatabaseAndItsFilesUnlessItIsOffline) {
    build(smallScenario());
    Session s = open(1);
    const QString mdf = file(u"U8SOFT/ZT001/2024/UFDATA.MDF"_s);
    const QString ldf = file(u"U8SOFT/ZT001/2024/UFDATA_log.LDF"_s);
    ASSERT_TRUE(QFile::exists(mdf));
    ASSERT_TRUE(QFile::exists(ldf));

    EXPECT_TRUE(run(u"drop database [ufdata_001_2024]"_s, s).results.isEmpty());
    EXPECT_FALSE(QFile::exists(mdf));
    EXPECT_FALSE(QFile::exists(ldf));
    EXPECT_TRUE(QFile::exists(file(u"U8SOFT/ZT001/2023/UFDATA.MDF"_s)));
    EXPECT_FALSE(engine->database(u"UFDATA_001_2024"_s).has_value());
    EXPECT_EQ(scalar(u"select count(*) from master..sysdatabases where name like 'ufdata%'"_s, s),
              1);

    EXPECT_EQ(texts(run(u"drop database UFDATA_001_2024"_s, s)),
              QStringList{u"Cannot drop the database 'UFDATA_001_2024', because it does not "
                          "exist or you do not have permission."_s});
    EXPECT_EQ(texts(run(u"drop database master"_s, s)),
              QStringList{u"Cannot drop the database 'master' because it is a system database."_s});

    // An offline database leaves its files behind.
    EXPECT_TRUE(run(u"drop database OA_Offline"_s, s).results.isEmpty());
    EXPECT_FALSE(engine->database(u"OA_Offline"_s).has_value());
    EXPECT_TRUE(QFile::exists(file(u"MSSQL/DATA/OA_Offline.mdf"_s)));
    EXPECT_TRUE(QFile::exists(file(u"MSSQL/DATA/OA_Offline_log.ldf"_s)));

    EXPECT_TRUE(run(u"drop database [Acc]]ount]"_s, s).results.isEmpty());
    EXPECT_FALSE(QFile::exists(file(u"Data/Acc]ount.mdf"_s)));
    EXPECT_TRUE(run(u"drop database 测试库"_s, s).results.isEmpty());
    EXPECT_FALSE(QFile::exists(file(u"MSSQL/DATA/测试库_log.ldf"_s)));

    // A catalogue's tables go with it.
    EXPECT_TRUE(run(u"drop database UFSystem"_s, s).results.isEmpty());
    EXPECT_EQ(texts(run(u"select count(*) from UFSystem..UA_Account"_s, s)),
              QStringList{u"Invalid object name 'UFSystem..UA_Account'."_s});
    EXPECT_EQ(scalar(u"select count(*) from Archive..UA_Account"_s, s), 1);
}

TEST_F(EngineTest, DropOfADatabaseInUseIsRefused) {
    build(smallScenario(u"10.50.6000.34"_s, u"zh-CN"_s));
    Session s = open(1);
    Session other = open(2);
    EXPECT_EQ(texts(run(u"drop database Busy"_s, s)),
              QStringList{u"无法删除数据库 \"Busy\"，因为该数据库当前正在使用。"_s});

    EXPECT_TRUE(run(u"use UFDATA_001_2023"_s, other).results.isEmpty());
    EXPECT_EQ(numbers(run(u"drop database UFDATA_001_2023"_s, s)), QList<int>{3702});
    EXPECT_TRUE(run(u"use master"_s, other).results.isEmpty());
    EXPECT_TRUE(run(u"drop database UFDATA_001_2023"_s, s).results.isEmpty());

    // The dropping session itself counts as a user.
    EXPECT_TRUE(run(u"use UFDATA_001_2024"_s, s).results.isEmpty());
    EXPECT_EQ(numbers(run(u"drop database UFDATA_001_2024"_s, s)), QList<int>{3702});
    EXPECT_TRUE(QFile::exists(file(u"U8SOFT/ZT001/2024/UFDATA.MDF"_s)));

    // A session logged in to a database holds it until it closes.
    Session logged = open(3, u"UFDATA_001_2024"_s);
    EXPECT_TRUE(run(u"use master"_s, s).results.isEmpty());
    EXPECT_EQ(numbers(run(u"drop database UFDATA_001_2024"_s, s)), QList<int>{3702});
    engine->closed(logged);
    EXPECT_TRUE(run(u"drop database UFDATA_001_2024"_s, s).results.isEmpty());

    engine->setOtherUsers(u"Busy"_s, 0);
    EXPECT_TRUE(run(u"drop database Busy"_s, s).results.isEmpty());
    EXPECT_EQ(
        texts(run(u"drop database Busy"_s, s)),
        QStringList{u"无法对 数据库'Busy' 执行 删除，因为它不存在，或者您没有所需的权限。"_s});
}

// ---- single-user mode ----

TEST_F(EngineTest, RollbackImmediateEndsTheOtherSessionsInTheDatabase) {
    build(smallScenario());
    Session s = open(1);
    Session a = open(2, u"UFDATA_001_2023"_s);
    Session b = open(3);
    Session elsewhere = open(4, u"UFDATA_001_2024"_s);
    EXPECT_TRUE(run(u"use [UFDATA_001_2023]"_s, b).results.isEmpty());

    const Reply switched =
        run(u"alter database [UFDATA_001_2023] set single_user with rollback immediate "_s, s);
    EXPECT_TRUE(switched.results.isEmpty()) << texts(switched).join(u" | "_s).toStdString();
    QList<int> killed = switched.killSessions;
    std::sort(killed.begin(), killed.end());
    EXPECT_EQ(killed, (QList<int>{2, 3}));
    EXPECT_TRUE(engine->database(u"UFDATA_001_2023"_s)->flags.contains(u"IsSingleUser"_s));
    EXPECT_EQ(scalar(u"select DATABASEPROPERTY('UFDATA_001_2023','IsSingleUser')"_s, s), 1);
    EXPECT_EQ(scalar(u"select status & 4096 from master..sysdatabases where "
                     "name='UFDATA_001_2023'"_s,
                     s),
              4096);
    // With the others gone the drop goes through.
    EXPECT_TRUE(run(u"drop database UFDATA_001_2023"_s, s).results.isEmpty());

    // Connections of other programs are ended the same way.
    const Reply busy = run(u"alter database Busy set single_user with rollback immediate"_s, s);
    EXPECT_TRUE(busy.results.isEmpty());
    EXPECT_TRUE(busy.killSessions.isEmpty());
    EXPECT_EQ(engine->database(u"Busy"_s)->otherUsers, 0);
    EXPECT_TRUE(run(u"alter database Busy set multi_user"_s, s).results.isEmpty());
    EXPECT_FALSE(engine->database(u"Busy"_s)->flags.contains(u"IsSingleUser"_s));
    EXPECT_EQ(scalar(u"select status & 4096 from master..sysdatabases where name='Busy'"_s, s), 0);
    // The session in another database was left alone and still holds it.
    EXPECT_EQ(numbers(run(u"drop database UFDATA_001_2024"_s, s)), QList<int>{3702});
}

TEST_F(EngineTest, SingleUserDatabaseAdmitsOneSessionOnly) {
    build(smallScenario());
    Session s = open(1);
    Session first = open(2);
    Session second = open(3);
    const QString full =
        u"Database 'UFDATA_001_2023' is already open and can only have one user at a time."_s;
    ASSERT_TRUE(run(u"alter database UFDATA_001_2023 set single_user with rollback immediate"_s, s)
                    .results.isEmpty());
    EXPECT_TRUE(run(u"use UFDATA_001_2023"_s, first).results.isEmpty());
    EXPECT_EQ(texts(run(u"use UFDATA_001_2023"_s, second)), QStringList{full});
    EXPECT_EQ(second.database, u"master"_s);
    // The one user held by another program.
    EXPECT_EQ(texts(run(u"use Solo"_s, second)),
              QStringList{u"Database 'Solo' is already open and can only have one user at a "
                          "time."_s});
}

TEST_F(EngineTest, SingleUserSwitchRefusals) {
    build(smallScenario());
    Session s = open(1);
    // Already single-user with its one user connected: even ROLLBACK IMMEDIATE cannot take it.
    EXPECT_EQ(texts(run(u"alter database Solo set single_user with rollback immediate"_s, s)),
              (QStringList{u"Changes to the state or options of database 'Solo' cannot be made "
                           "at this time. The database is in single-user mode, and a user is "
                           "currently connected to it."_s,
                           u"ALTER DATABASE statement failed."_s}));
    EXPECT_EQ(engine->database(u"Solo"_s)->otherUsers, 1);

    EXPECT_EQ(texts(run(u"alter database NoSuch set single_user with rollback immediate"_s, s)),
              (QStringList{u"User does not have permission to alter database 'NoSuch', the "
                           "database does not exist, or the database is not in a state that "
                           "allows access checks."_s,
                           u"ALTER DATABASE statement failed."_s}));
    EXPECT_EQ(texts(run(u"alter database oa_offline set single_user with rollback immediate"_s, s)),
              (QStringList{u"User does not have permission to alter database 'OA_Offline', the "
                           "database does not exist, or the database is not in a state that "
                           "allows access checks."_s,
                           u"ALTER DATABASE statement failed."_s}));
    EXPECT_FALSE(engine->database(u"OA_Offline"_s)->flags.contains(u"IsSingleUser"_s));
    EXPECT_EQ(texts(run(u"alter database Busy set single_user with rollback"_s, s)),
              QStringList{u"Incorrect syntax near 'with'."_s});
    EXPECT_FALSE(engine->database(u"Busy"_s)->flags.contains(u"IsSingleUser"_s));

    // Inside a transaction neither the switch nor a drop is allowed.
    EXPECT_TRUE(run(u"begin tran"_s, s).results.isEmpty());
    EXPECT_EQ(texts(run(u"alter database UFDATA_001_2024 set single_user with rollback "
                        "immediate"_s,
                        s)),
              QStringList{u"ALTER DATABASE statement not allowed within multi-statement "
                          "transaction."_s});
    EXPECT_EQ(texts(run(u"drop database UFDATA_001_2024"_s, s)),
              QStringList{u"DROP DATABASE statement cannot be used inside a user transaction."_s});
    EXPECT_TRUE(run(u"commit"_s, s).results.isEmpty());
    EXPECT_TRUE(QFile::exists(file(u"U8SOFT/ZT001/2024/UFDATA.MDF"_s)));
    EXPECT_FALSE(engine->database(u"UFDATA_001_2024"_s)->flags.contains(u"IsSingleUser"_s));

    // The driver's own transaction requests count the same.
    EXPECT_FALSE(engine->transaction(TransactionRequest::Begin, false, s).has_value());
    EXPECT_EQ(numbers(run(u"drop database UFDATA_001_2024"_s, s)), QList<int>{574});
    EXPECT_FALSE(engine->transaction(TransactionRequest::Rollback, false, s).has_value());
    EXPECT_TRUE(run(u"drop database UFDATA_001_2024"_s, s).results.isEmpty());
}

TEST_F(EngineTest, LegacySingleUserProcedureOnlyOnOldServers) {
    build(smallScenario(u"8.00.2039"_s, u"zh-CN"_s));
    Session s = open(1);
    Session other = open(2, u"UFDATA_001_2023"_s);
    // The program's own spelling: a blank after the name.
    const QString on = u"sp_dboption 'UFDATA_001_2023 ','single user','true'"_s;
    EXPECT_EQ(texts(run(on, s)),
              (QStringList{u"其他用户正使用数据库 'UFDATA_001_2023'，此时无法更改数据库状态"_s,
                           u"ALTER DATABASE 语句失败。"_s}));
    EXPECT_FALSE(engine->database(u"UFDATA_001_2023"_s)->flags.contains(u"IsSingleUser"_s));
    engine->closed(other);
    EXPECT_TRUE(run(on, s).results.isEmpty());
    EXPECT_TRUE(engine->database(u"UFDATA_001_2023"_s)->flags.contains(u"IsSingleUser"_s));
    EXPECT_TRUE(
        run(u"exec sp_dboption N'UFDATA_001_2023','single user','false'"_s, s).results.isEmpty());
    EXPECT_FALSE(engine->database(u"UFDATA_001_2023"_s)->flags.contains(u"IsSingleUser"_s));

    engine.reset();
    QDir(data.path()).removeRecursively();
    build(smallScenario(u"11.0.7001.0"_s, u"en"_s));
    Session modern = open(1);
    EXPECT_EQ(texts(run(u"sp_dboption 'UFDATA_001_2023','single user','true'"_s, modern)),
              QStringList{u"Could not find stored procedure 'sp_dboption'."_s});
    EXPECT_FALSE(engine->database(u"UFDATA_001_2023"_s)->flags.contains(u"IsSingleUser"_s));
}

// ---- transactions ----

TEST_F(EngineTest, RollbackRestoresRowsAndCommitKeepsTheDeletion) {
    build(smallScenario());
    Session s = open(1);
    const Reply deleted = run(u"begin tran; delete UFSystem..UA_UserAccount; "
                              "delete from UFSystem..UA_Period where cAcc_Id='001'"_s,
                              s);
    EXPECT_EQ(rowCounts(deleted), (QList<qint64>{1, 2}));
    EXPECT_EQ(count(u"\"UFSystem\".\"UA_Period\""_s), 1);
    EXPECT_TRUE(run(u"rollback"_s, s).results.isEmpty());
    EXPECT_EQ(count(u"\"UFSystem\".\"UA_Period\""_s), 3);
    EXPECT_EQ(count(u"\"UFSystem\".\"UA_UserAccount\""_s), 1);

    EXPECT_TRUE(run(u"begin transaction"_s, s).results.isEmpty());
    EXPECT_EQ(
        rowCounts(run(u"update UFSystem..UA_Period set bIsDelete=1 where cAcc_Id='002'"_s, s)),
        QList<qint64>{1});
    EXPECT_TRUE(run(u"commit"_s, s).results.isEmpty());
    EXPECT_FALSE(s.inTransaction);
    EXPECT_EQ(engine->value(u"select bIsDelete from \"UFSystem\".\"UA_Period\" where "
                            "cAcc_Id='002'"_s),
              1);

    // Through the driver's requests: a commit that begins the next transaction at once.
    EXPECT_FALSE(engine->transaction(TransactionRequest::Begin, false, s).has_value());
    run(u"delete UFSystem..UA_UserAccount"_s, s);
    EXPECT_FALSE(engine->transaction(TransactionRequest::Commit, true, s).has_value());
    run(u"delete UFSystem..UA_Period where cAcc_Id='002'"_s, s);
    EXPECT_FALSE(engine->transaction(TransactionRequest::Rollback, false, s).has_value());
    EXPECT_EQ(count(u"\"UFSystem\".\"UA_UserAccount\""_s), 0);
    EXPECT_EQ(count(u"\"UFSystem\".\"UA_Period\""_s), 3);
}

TEST_F(EngineTest, OneTransactionAtATimeAndClosingASessionRollsItBack) {
    build(smallScenario());
    Session first = open(1);
    Session second = open(2);
    EXPECT_TRUE(run(u"begin tran"_s, first).results.isEmpty());
    EXPECT_EQ(rowCounts(run(u"delete UFSystem..UA_UserAccount"_s, first)), QList<qint64>{1});

    const QString refusal =
        u"The simulated server runs one transaction at a time; session 1 holds it."_s;
    EXPECT_EQ(texts(run(u"begin tran"_s, second)), QStringList{refusal});
    const std::optional<Message> byRequest =
        engine->transaction(TransactionRequest::Begin, false, second);
    ASSERT_TRUE(byRequest.has_value());
    EXPECT_EQ(byRequest->number, 50001);
    EXPECT_EQ(byRequest->text, refusal);

    // Nor does a change of any other kind from the second session go through meanwhile.
    Reply dropped;
    EXPECT_NO_THROW(dropped = run(u"drop database Archive"_s, second));
    EXPECT_EQ(texts(dropped), QStringList{refusal});
    EXPECT_TRUE(engine->database(u"Archive"_s).has_value());

    engine->closed(first);
    EXPECT_EQ(count(u"\"UFSystem\".\"UA_UserAccount\""_s), 1);
    EXPECT_TRUE(run(u"begin tran"_s, second).results.isEmpty());
    EXPECT_TRUE(run(u"rollback"_s, second).results.isEmpty());
}

// All sessions share the engine's one transaction, so a change from another session while it is
// open would go with its rollback: it is refused instead of being silently lost.
TEST_F(EngineTest, AnotherSessionsChangeDuringATransactionIsRefusedNotLost) {
    build(smallScenario());
    Session first = open(1);
    Session second = open(2);
    EXPECT_TRUE(run(u"begin tran"_s, first).results.isEmpty());
    EXPECT_EQ(rowCounts(run(u"delete UFSystem..UA_Period where cAcc_Id='002'"_s, first)),
              QList<qint64>{1});
    const Reply refused = run(u"delete UFSystem..UA_UserAccount"_s, second);
    ASSERT_EQ(refused.results.size(), 1);
    EXPECT_EQ(std::get<Message>(refused.results[0]).number, 50001);
    // Reading is still allowed, and sees the first session's uncommitted change.
    EXPECT_EQ(select(u"select count(*) from UFSystem..UA_Period"_s, second),
              (QList<QList<QVariant>>{{2}}));
    EXPECT_TRUE(run(u"rollback"_s, first).results.isEmpty());
    EXPECT_EQ(count(u"\"UFSystem\".\"UA_Period\""_s), 3);
    EXPECT_EQ(count(u"\"UFSystem\".\"UA_UserAccount\""_s), 1);
    EXPECT_EQ(rowCounts(run(u"delete UFSystem..UA_UserAccount"_s, second)), QList<qint64>{1});
}

TEST_F(EngineTest, CommitOrRollbackWithoutATransactionIsAnError) {
    build(smallScenario());
    Session s = open(1);
    EXPECT_EQ(texts(run(u"rollback"_s, s)),
              QStringList{u"The ROLLBACK TRANSACTION request has no corresponding BEGIN "
                          "TRANSACTION."_s});
    EXPECT_EQ(texts(run(u"commit"_s, s)),
              QStringList{u"The COMMIT TRANSACTION request has no corresponding BEGIN "
                          "TRANSACTION."_s});
    EXPECT_EQ(numbers(run(u"begin tran; commit; commit"_s, s)), QList<int>{3902});
}

// ---- refusals by the database's state ----

TEST_F(EngineTest, ReadOnlyDatabaseRefusesWritesButAnswersReads) {
    build(smallScenario());
    Session s = open(1);
    const QString refused = u"Failed to update database \"Archive\" because the database is "
                            "read-only."_s;
    for (const QString& sql :
         {u"delete Archive..UA_Account"_s,
          u"update Archive..UA_Account set cAcc_Name='x' where cAcc_Id='009'"_s,
          u"insert into Archive..UA_Account (cAcc_Id) values ('010')"_s}) {
        const Reply reply = run(sql, s);
        EXPECT_EQ(numbers(reply), QList<int>{3906}) << sql.toStdString();
        EXPECT_EQ(texts(reply), QStringList{refused}) << sql.toStdString();
    }
    EXPECT_EQ(select(u"select cAcc_Id, cAcc_Name from Archive..UA_Account"_s, s),
              (QList<QList<QVariant>>{{u"009"_s, u"Old"_s}}));
    // Reading the read-only one while writing another is fine.
    EXPECT_EQ(rowCounts(run(u"delete UFSystem..UA_UserAccount where cAccCode in (select cAcc_Id "
                            "from Archive..UA_Account)"_s,
                            s)),
              QList<qint64>{0});
}

TEST_F(EngineTest, DeletingAReferencedRowIsRefusedAndTheTransactionGoesOn) {
    build(smallScenario());
    Session s = open(1);
    EXPECT_TRUE(run(u"begin tran"_s, s).results.isEmpty());
    const Reply refused = run(u"delete UFSystem..UA_Account where cAcc_Id='001'"_s, s);
    EXPECT_EQ(numbers(refused), QList<int>{547});
    EXPECT_EQ(count(u"\"UFSystem\".\"UA_Account\""_s), 2);

    const Reply ordered = run(u"delete UFSystem..UA_Period where cAcc_Id='001'; delete "
                              "UFSystem..UA_UserAccount where cAccCode='001'; delete "
                              "UFSystem..UA_Account where cAcc_Id='001'"_s,
                              s);
    EXPECT_EQ(rowCounts(ordered), (QList<qint64>{2, 1, 1}));
    EXPECT_TRUE(numbers(ordered).isEmpty());
    EXPECT_TRUE(run(u"rollback"_s, s).results.isEmpty());
    EXPECT_EQ(count(u"\"UFSystem\".\"UA_Account\""_s), 2);
    EXPECT_EQ(count(u"\"UFSystem\".\"UA_Period\""_s), 3);
}

TEST_F(EngineTest, OfflineDatabasesAndLogins) {
    build(smallScenario());
    Session s = open(1);
    const QString offline = u"Database 'OA_Offline' cannot be opened because it is offline."_s;
    EXPECT_EQ(texts(run(u"select * from OA_Offline..anything"_s, s)), QStringList{offline});
    EXPECT_EQ(texts(run(u"use oa_offline"_s, s)), QStringList{offline});
    EXPECT_EQ(s.database, u"master"_s);

    Session wrong;
    wrong.id = 2;
    wrong.user = u"sa"_s;
    wrong.password = u"quenlor#2026"_s;
    std::optional<Message> refused = engine->login(wrong);
    ASSERT_TRUE(refused.has_value());
    EXPECT_EQ(refused->number, 18456);
    EXPECT_EQ(refused->text, u"Login failed for user 'sa'."_s);

    for (const QString& database : {u"OA_Offline"_s, u"NoSuch"_s}) {
        Session into;
        into.id = 3;
        into.user = u"sa"_s;
        into.password = kPassword;
        into.database = database;
        refused = engine->login(into);
        ASSERT_TRUE(refused.has_value());
        EXPECT_EQ(refused->number, 4060);
        EXPECT_EQ(refused->text, u"Cannot open database \"%1\" requested by the login. The "
                                 "login failed."_s.arg(database));
    }
    Session named = open(4, u"ufsystem"_s);
    EXPECT_EQ(named.database, u"UFSystem"_s);
    EXPECT_EQ(scalar(u"select count(*) from UA_User"_s, named), 6);
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

// ---- scenarios ----

namespace {

// A scenario file in a folder of its own, beside a schemas folder as the loader expects.
struct ScenarioFolder {
    QTemporaryDir root;
    QString write(const QString& name, const QJsonObject& content) {
        QDir(root.path()).mkpath(u"scenarios"_s);
        QDir(root.path()).mkpath(u"schemas"_s);
        const QString path = QDir(root.path()).filePath(u"scenarios/"_s + name + u".json"_s);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            ADD_FAILURE() << "cannot write " << path.toStdString();
        f.write(QJsonDocument(content).toJson());
        return path;
    }
    bool copySchema(const QString& name) {
        QDir(root.path()).mkpath(u"schemas"_s);
        return QFile::copy(QDir(scenarioFolder()).filePath(u"../schemas/"_s + name + u".json"_s),
                           QDir(root.path()).filePath(u"schemas/"_s + name + u".json"_s));
    }
};

QJsonObject json(const QString& text) {
    return QJsonDocument::fromJson(text.toUtf8()).object();
}

QString loadError(const QString& path) {
    Scenario s;
    QString error;
    EXPECT_FALSE(loadScenario(path, &s, &error));
    return error;
}

std::string engineError(const Scenario& scenario, const QString& folder) {
    try {
        Engine e(scenario, folder);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    ADD_FAILURE() << "the engine accepted the scenario";
    return {};
}

} // namespace

TEST(ScenarioLoader, BrokenScenariosAreRefusedWithAReason) {
    ScenarioFolder folder;
    ASSERT_TRUE(folder.root.isValid());
    const QString flag = folder.write(
        u"flag"_s, json(u"{\"databases\":[{\"name\":\"HRDB\",\"flags\":[\"IsFrozen\"]}]}"_s));
    EXPECT_EQ(loadError(flag), flag + u": unknown flag IsFrozen on HRDB"_s);

    const QString unnamed =
        folder.write(u"unnamed"_s, json(u"{\"databases\":[{\"file\":\"x\"}]}"_s));
    EXPECT_EQ(loadError(unnamed), unnamed + u": a database without a name"_s);

    const QString schema = folder.write(
        u"schema"_s, json(u"{\"databases\":[{\"name\":\"UFSystem\",\"schema\":\"nosuch\"}]}"_s));
    const QString missing = loadError(schema);
    EXPECT_TRUE(missing.startsWith(u"cannot read "_s)) << missing.toStdString();
    EXPECT_TRUE(missing.contains(u"schemas/nosuch.json: "_s)) << missing.toStdString();

    const QString many = folder.write(
        u"many"_s,
        json(u"{\"generate\":{\"accounts\":1000,\"years\":1,\"database\":\"UFSystem\"}}"_s));
    EXPECT_EQ(loadError(many), many + u": at most 999 generated account sets"_s);

    QTemporaryDir data;
    Scenario twice = smallScenario();
    twice.databases << DatabaseDef{u"ufdata_001_2024"_s, u"elsewhere.mdf"_s, {}, {}, 0};
    EXPECT_EQ(engineError(twice, data.path()), "database listed twice: ufdata_001_2024");

    Scenario plainRows = smallScenario();
    plainRows.rows[u"UFDATA_001_2023"_s][u"UA_Account"_s] = {row({{u"cAcc_Id"_s, u"001"_s}})};
    EXPECT_EQ(engineError(plainRows, data.path()),
              "rows for a database without tables: UFDATA_001_2023");

    Scenario unknownRows = smallScenario();
    unknownRows.rows[u"Nowhere"_s][u"UA_Account"_s] = {row({{u"cAcc_Id"_s, u"001"_s}})};
    EXPECT_EQ(engineError(unknownRows, data.path()), "rows for a database without tables: Nowhere");
}

TEST_F(EngineTest, GeneratedAccountSetsHaveADatabaseAndTwelvePeriodsPerYear) {
    ScenarioFolder folder;
    ASSERT_TRUE(folder.copySchema(u"ufsystem-classic"_s));
    const QString path = folder.write(
        u"generated"_s,
        json(u"{\"server\":{\"productVersion\":\"11.0.7001.0\",\"password\":\"Quenlor#2026\"},"
             "\"databases\":[{\"name\":\"UFSystem\",\"file\":\"U8SOFT/Admin/UFSystem.MDF\","
             "\"schema\":\"ufsystem-classic\"}],"
             "\"generate\":{\"accounts\":3,\"firstYear\":2019,\"years\":2,"
             "\"database\":\"UFSystem\"}}"_s));
    Scenario scenario;
    QString error;
    ASSERT_TRUE(loadScenario(path, &scenario, &error)) << error.toStdString();
    EXPECT_EQ(scenario.generate.accounts, 3);
    EXPECT_EQ(scenario.generate.firstYear, 2019);
    build(scenario);
    Session s = open(1);

    EXPECT_EQ(column(select(u"select name from master..sysdatabases where name like 'ufdata%' "
                            "order by name"_s,
                            s)),
              (QStringList{u"UFDATA_001_2019"_s, u"UFDATA_001_2020"_s, u"UFDATA_002_2019"_s,
                           u"UFDATA_002_2020"_s, u"UFDATA_003_2019"_s, u"UFDATA_003_2020"_s}));
    EXPECT_EQ(select(u"select cAcc_Id, iYear, count(*), min(dBegin), max(dEnd) from "
                     "UFSystem..UA_Period where cAcc_Id='002' group by cAcc_Id, iYear order by "
                     "iYear"_s,
                     s),
              (QList<QList<QVariant>>{{u"002"_s, 2019, 12, u"2019-01-01"_s, u"2019-12-31"_s},
                                      {u"002"_s, 2020, 12, u"2020-01-01"_s, u"2020-12-31"_s}}));
    EXPECT_EQ(scalar(u"select count(*) from UFSystem..UA_Period"_s, s), 72);
    EXPECT_EQ(scalar(u"select dEnd from UFSystem..UA_Period where cAcc_Id='003' and "
                     "iYear=2020 and iId=2"_s,
                     s),
              u"2020-02-29"_s);
    EXPECT_EQ(select(u"select cAcc_Name, iYear from UFSystem..UA_Account where cAcc_Id='003'"_s, s),
              (QList<QList<QVariant>>{{u"第003号演示账套"_s, 2019}}));
    EXPECT_EQ(scalar(u"select iYear from UFSystem..UA_HoldAuth where cAcc_Id='001'"_s, s), 2020);

    const QList<QList<QVariant>> files =
        select(u"select name,filename from master..sysdatabases where name like "
               "'ufdata[_]002[_]%' order by name"_s,
               s);
    ASSERT_EQ(files.size(), 2);
    EXPECT_EQ(files[1][1].toString(),
              QDir::toNativeSeparators(file(u"U8SOFT/ZT002/2020/UFDATA.MDF"_s)));
    EXPECT_TRUE(QFile::exists(file(u"U8SOFT/ZT002/2020/UFDATA.MDF"_s)));
    EXPECT_TRUE(QFile::exists(file(u"U8SOFT/ZT002/2020/UFDATA_log.LDF"_s)));
}

TEST_F(EngineTest, EveryShippedScenarioBuildsWithItsDatabasesFilesAndRows) {
    for (const QString& name : {u"realistic"_s, u"u8new"_s, u"tplus"_s, u"both"_s, u"sql2000"_s}) {
        SCOPED_TRACE(name.toStdString());
        Scenario scenario;
        QString error;
        ASSERT_TRUE(
            loadScenario(QDir(scenarioFolder()).filePath(name + u".json"_s), &scenario, &error))
            << error.toStdString();
        engine.reset();
        QDir(data.path()).removeRecursively();
        build(scenario);

        Session s;
        s.id = 1;
        s.user = scenario.server.user;
        s.password = scenario.server.password;
        ASSERT_FALSE(engine->login(s).has_value());
        EXPECT_EQ(engine->majorVersion(),
                  scenario.server.productVersion.section(u'.', 0, 0).toInt());
        EXPECT_EQ(scalar(u"select count(*) from master..sysdatabases"_s, s),
                  scenario.databases.size() + 4);
        for (const DatabaseDef& def : scenario.databases) {
            const std::optional<DatabaseState> db = engine->database(def.name);
            ASSERT_TRUE(db.has_value()) << def.name.toStdString();
            EXPECT_EQ(db->file, file(def.file));
            EXPECT_TRUE(QFile::exists(db->file)) << db->file.toStdString();
            EXPECT_TRUE(QFile::exists(db->logFile)) << db->logFile.toStdString();
            EXPECT_EQ(QSet<QString>(def.flags.begin(), def.flags.end()), db->flags);
        }
        for (auto db = scenario.rows.begin(); db != scenario.rows.end(); ++db) {
            for (auto t = db.value().begin(); t != db.value().end(); ++t) {
                EXPECT_EQ(scalar(u"select count(*) from %1..[%2]"_s.arg(db.key(), t.key()), s),
                          t.value().size())
                    << db.key().toStdString() << ".." << t.key().toStdString();
            }
        }
        // The messages speak the scenario's language.
        const QString unknown = texts(run(u"use NoSuch"_s, s)).value(0);
        EXPECT_EQ(unknown, scenario.server.language == u"en"_s
                               ? u"Database 'NoSuch' does not exist. Make sure that the name is "
                                 "entered correctly."_s
                               : u"数据库 'NoSuch' 不存在。请确保正确地输入了该名称。"_s);
    }
}
