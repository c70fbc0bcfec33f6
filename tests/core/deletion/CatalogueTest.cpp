#include "core/deletion/Catalogue.h"

#include "support/TestState.h"

#include <QCoreApplication>
#include <QDir>

namespace quenlor {
namespace {

using test::table;

// The reference queries exactly as the server must receive them.
const QString kAccountRefs = QStringLiteral(
    "select b.name as ctable,a.name ccol from UFSystem..syscolumns as a  inner join "
    "UFSystem..sysobjects as b on a.id=b.id where b.xtype='U' and a.name in('cacc_id' "
    ",'accid','caccid','accountid') and b.name not in('UA_Account') Union select b.Name as "
    "ctable,c.Name as ccol From UFSystem..sysreferences as sysreferences Inner Join "
    "UFSystem..sysobjects A ON sysreferences.constid=A.Id Inner Join UFSystem..sysobjects B ON "
    "B.id=sysreferences.fkeyid Inner Join UFSystem..syscolumns as C on C.ID=B.ID and "
    "sysreferences.fkey1=C.colorder Inner Join UFSystem..sysobjects as D on "
    "d.id=sysreferences.rkeyid Inner Join UFSystem..syscolumns as E on D.ID=E.ID and "
    "sysreferences.rkey1=E.colorder where b.xtype='U' and D.Name='UA_Account' and "
    "E.Name='cAcc_Id'");
const QString kYearRefs = QStringLiteral(
    "select a.ctable,a.ccol as cacc,y.name as cyear from ( select b.name as ctable,a.name ccol "
    "from ufsystem..syscolumns as a inner join ufsystem..sysobjects as b on a.id=b.id where "
    "b.xtype='U' and a.name in('cacc_id' ,'accid','caccid','accountid') and b.name not "
    "in('UA_Account') Union select b.Name as ctable,c.Name as ccol From ufsystem..sysreferences "
    "as sysreferences Inner Join ufsystem..sysobjects A ON sysreferences.constid=A.Id Inner Join "
    "ufsystem..sysobjects B ON B.id=sysreferences.fkeyid Inner Join ufsystem..syscolumns as C on "
    "C.ID=B.ID and sysreferences.fkey1=C.colorder Inner Join ufsystem..sysobjects as D on "
    "d.id=sysreferences.rkeyid Inner Join ufsystem..syscolumns as E on D.ID=E.ID and "
    "sysreferences.rkey1=E.colorder where b.xtype='U' and D.Name='UA_Account' and "
    "E.Name='cAcc_Id' ) as a left join ufsystem..sysobjects as x on a.ctable=x.name left join "
    "ufsystem..syscolumns as y on x.id=y.id where y.name like '%year%' and a.ctable in "
    "('UA_BackupPlans','ua_task')");

const QString kAccountCheck001 =
    "select cAcc_Id from UFSystem..UA_Account where 1=1 and cAcc_Id='001'";
const QString kHoldAuthCheck = QStringLiteral(
    "select a.name from UFSystem..sysobjects as a inner join UFSystem..syscolumns as b on "
    "a.id=b.id where a.name='ua_holdauth' and b.name='cacc_id'");
const QString kBackupPlanCheck =
    "select name from UFSystem..sysobjects where 1=1 and name='UA_BackupPlan'";
const QString kTaskLogCheck =
    "select name from UFSystem..sysobjects where 1=1 and name='ua_tasklog'";
const QString kMessageCheck = QStringLiteral(
    "select a.name from UFSystem..sysobjects as a inner join UFSystem..syscolumns as b on "
    "a.id=b.id where a.name='UA_Message' and b.name='Account'");
const QString kDeleteBackupPlan = QStringLiteral(
    "delete from UFSystem..UA_BackupPlan WHERE cPlan_Id not in (select cPlan_Id FROM "
    "UFSystem..UA_BackupPlans)");
const QString kDeleteTaskLog = QStringLiteral(
    "delete from UFSystem..ua_tasklog where taskstate=1 and ctaskid not in (select ctaskid from "
    "UFSystem..ua_task)");
const QString kAccountDatabases001 = QStringLiteral(
    "select name,filename from master..sysdatabases where name like 'ufdata[_]001[_]%' or name "
    "like 'UFMeta[_]001'");

QStringList dropStatements(const QString& name) {
    return {"master: select name from master..sysdatabases where 1=1 and name='" + name + "'",
            "master: --password \r\nalter database [" + name +
                "] set single_user with rollback immediate ",
            "master: drop database [" + name + "]"};
}

QStringList onMaster(const QStringList& statements) {
    QStringList out;
    for (const QString& s : statements)
        out.append("master: " + s);
    return out;
}

class CatalogueTest : public test::StateFixture {
protected:
    CatalogueTest() {
        st().MasterConn = std::make_unique<test::FakeDatabase>(server, "master");
        st().ServerVersionText = "SQL Server 2008 SP1 标准版";
        st().ServerMajorVersion = 10;
        // A data folder tree of our own whose path holds no "ZT" of its own.
        root = QDir::temp().filePath(
            QStringLiteral("quenlor-catalogue-%1").arg(QCoreApplication::applicationPid()));
        QDir(root).removeRecursively();
        QDir().mkpath(root);
    }
    ~CatalogueTest() override { QDir(root).removeRecursively(); }

    Database* conn() { return st().MasterConn.get(); }
    void exists(const QString& sql, const QString& value = "x") {
        server.answer(sql, table({"name"}, {{value}}));
    }
    void accountRegistered() { server.answer(kAccountCheck001, table({"cAcc_Id"}, {{"001"}})); }
    void databaseExists(const QString& name) {
        exists("select name from master..sysdatabases where 1=1 and name='" + name + "'", name);
    }
    QString folder(const QString& relative) {
        const QString path = QDir(root).filePath(relative);
        QDir().mkpath(path);
        return path;
    }
    // Keeps a worker's outcome for the checks that follow.
    bool kept(const Outcome& outcome) {
        last = outcome;
        return outcome.ok();
    }

    QString root;
    Outcome last;
};

TEST_F(CatalogueTest, AccountSetCatalogueOnly) {
    accountRegistered();
    exists(kHoldAuthCheck);
    exists(kBackupPlanCheck);
    exists(kTaskLogCheck);
    exists(kMessageCheck);
    // A table found by both halves is listed once; a table with two account columns twice.
    server.answer(kAccountRefs,
                  table({"ctable", "ccol"},
                        {{"UA_Period", "cAcc_Id"}, {"GL_x", "accid"}, {"GL_x", "caccid"}}));

    EXPECT_TRUE(kept(DeleteAcc_UF("001", conn(), false)));

    EXPECT_EQ(server.log,
              (QStringList{"master: " + kAccountCheck001, "master: BEGIN"} +
               onMaster({kHoldAuthCheck, "delete UFSystem..ua_holdauth where cacc_id='001'",
                         kAccountRefs, "delete UFSystem..[UA_Period] where [cAcc_Id]='001'",
                         "delete UFSystem..[GL_x] where [accid]='001'",
                         "delete UFSystem..[GL_x] where [caccid]='001'", kBackupPlanCheck,
                         kDeleteBackupPlan, kTaskLogCheck, kDeleteTaskLog, kMessageCheck,
                         "delete from UFSystem..UA_Message where Account='001'",
                         "delete UFSystem..UA_Account where cAcc_Id='001'"}) +
               QStringList{"master: COMMIT"}));
    EXPECT_TRUE(last.text().isEmpty());
}

TEST_F(CatalogueTest, AccountSetOptionalTablesMissingAreSkipped) {
    accountRegistered();
    EXPECT_TRUE(kept(DeleteAcc_UF("001", conn(), true)));
    EXPECT_EQ(server.log,
              (QStringList{"master: " + kAccountCheck001, "master: BEGIN"} +
               onMaster({kHoldAuthCheck, kAccountRefs, kBackupPlanCheck, kTaskLogCheck,
                         kMessageCheck, "delete UFSystem..UA_Account where cAcc_Id='001'"}) +
               QStringList{"master: COMMIT", "master: " + kAccountDatabases001}))
        << "with the flag and no database the call is done after the catalogue phase";
}

TEST_F(CatalogueTest, AccountSetOutsideTheCatalogueStillHasItsDatabasesDropped) {
    const QString yearFolder = folder("U8SOFT/ZT001/2015");
    const QString metaFolder = folder("U8SOFT/ZT001/meta");
    server.answer(kAccountDatabases001,
                  table({"name", "filename"},
                        {{"ufdata_001_2015", QDir::toNativeSeparators(yearFolder + "/UFDATA.MDF")},
                         {"UFMeta_001", QDir::toNativeSeparators(metaFolder + "/UFMeta.mdf")}}));
    databaseExists("ufdata_001_2015");
    databaseExists("UFMeta_001");

    EXPECT_TRUE(kept(DeleteAcc_UF("001", conn(), true)));

    EXPECT_EQ(server.log,
              (QStringList{"master: " + kAccountCheck001, "master: " + kAccountDatabases001} +
               dropStatements("ufdata_001_2015") + dropStatements("UFMeta_001")))
        << "no transaction for an account set the catalogue does not know";
    // Each data folder went, and then the account folder (the path up to "ZT" and five more).
    EXPECT_FALSE(QDir(yearFolder).exists());
    EXPECT_FALSE(QDir(metaFolder).exists());
    EXPECT_FALSE(QDir(QDir(root).filePath("U8SOFT/ZT001")).exists());
    EXPECT_TRUE(QDir(QDir(root).filePath("U8SOFT")).exists());
}

TEST_F(CatalogueTest, AccountFolderWithoutZtIsTheFirstFiveCharacters) {
    // D:\U8 of D:\U8SOFT\UFDATA_001_2015.MDF is no folder to remove; only the file's own folder is
    // looked at, and it keeps its other files.
    const QString data = folder("data");
    QFile keep(QDir(data).filePath("other.mdf"));
    ASSERT_TRUE(keep.open(QIODevice::WriteOnly));
    keep.close();
    server.answer(kAccountDatabases001,
                  table({"name", "filename"}, {{"ufdata_001_2015", data + "/UFDATA.MDF"}}));
    databaseExists("ufdata_001_2015");
    EXPECT_TRUE(kept(DeleteAcc_UF("001", conn(), true)));
    EXPECT_TRUE(QDir(data).exists());
    EXPECT_TRUE(QDir(root).exists());
}

TEST_F(CatalogueTest, MalformedAccountCodesAndYearsAreRefusedBeforeAnyStatement) {
    for (const QString& code :
         QStringList{QString(), "00", "0001", "0'1", "0_1", "0%1", "[1]", "0 1", "账套1"}) {
        EXPECT_FALSE(kept(DeleteAcc_UF(code, conn(), true))) << code.toStdString();
        EXPECT_TRUE(last.text().contains("账套号")) << code.toStdString();
        EXPECT_FALSE(kept(DeleteYear_UF(code, "2015", conn(), true))) << code.toStdString();
    }
    for (const QString& year :
         QStringList{QString(), "15", "20155", "2O15", "2015'", "2012-2014"}) {
        EXPECT_FALSE(kept(DeleteYear_UF("001", year, conn(), false))) << year.toStdString();
        EXPECT_TRUE(last.text().contains("年度")) << year.toStdString();
    }
    EXPECT_TRUE(server.log.isEmpty());
    EXPECT_TRUE(isValidAccountCode("A0z"));
}

// Without an open connection every worker fails with a text and sends nothing: in particular no
// rollback of a transaction it never opened.
TEST_F(CatalogueTest, WorkersWithoutAConnectionFailAndSendNothing) {
    const struct {
        const char* name;
        std::function<Outcome()> work;
    } workers[] = {
        {"account set", [] { return DeleteAcc_UF("001", nullptr, true); }},
        {"year", [] { return DeleteYear_UF("001", "2015", nullptr, false); }},
        {"year with databases", [] { return DeleteYear_UF("001", "2015", nullptr, true); }},
        {"T+ account", [] { return DeleteAcc_TN("UFTData1_001", nullptr, true); }},
    };
    for (const auto& w : workers) {
        const Outcome outcome = w.work();
        EXPECT_FALSE(outcome.ok()) << w.name;
        EXPECT_FALSE(outcome.text().isEmpty()) << w.name;
    }
    EXPECT_TRUE(server.log.isEmpty());
}

TEST_F(CatalogueTest, FailingAccountCheckTouchesNothing) {
    server.fail(kAccountCheck001, DbError{"08S01", 10054, "连接已断开"});
    EXPECT_FALSE(kept(DeleteAcc_UF("001", conn(), true)));
    EXPECT_EQ(last.text(), "连接已断开");
    EXPECT_EQ(server.log, (QStringList{"master: " + kAccountCheck001}))
        << "a check that could not be made is no answer: neither the catalogue nor a database is "
           "touched";
}

// Every statement of the worker fails in turn; what must hold holds each time.
TEST_F(CatalogueTest, AccountSetFaultInjection) {
    const QStringList catalogue = {kHoldAuthCheck,
                                   "delete UFSystem..ua_holdauth where cacc_id='001'",
                                   kAccountRefs,
                                   "delete UFSystem..[GL_x] where [accid]='001'",
                                   kBackupPlanCheck,
                                   kDeleteBackupPlan,
                                   kTaskLogCheck,
                                   kDeleteTaskLog,
                                   kMessageCheck,
                                   "delete from UFSystem..UA_Message where Account='001'",
                                   "delete UFSystem..UA_Account where cAcc_Id='001'"};
    const QStringList drops = {
        QStringLiteral(
            "select name from master..sysdatabases where 1=1 and name='ufdata_001_2014'"),
        "drop database [ufdata_001_2014]",
        QStringLiteral(
            "select name from master..sysdatabases where 1=1 and name='ufdata_001_2015'"),
        "drop database [ufdata_001_2015]"};
    for (const QString& failing : catalogue + QStringList{kAccountDatabases001} + drops) {
        SCOPED_TRACE(failing.toStdString());
        server = test::FakeServer();
        accountRegistered();
        for (const QString& check :
             {kHoldAuthCheck, kBackupPlanCheck, kTaskLogCheck, kMessageCheck})
            exists(check);
        server.answer(kAccountRefs, table({"ctable", "ccol"}, {{"GL_x", "accid"}}));
        server.answer(kAccountDatabases001,
                      table({"name", "filename"},
                            {{"ufdata_001_2014", QString()}, {"ufdata_001_2015", QString()}}));
        databaseExists("ufdata_001_2014");
        databaseExists("ufdata_001_2015");
        server.fail(failing, DbError{"42000", 547, "服务器拒绝: " + failing});

        EXPECT_FALSE(kept(DeleteAcc_UF("001", conn(), true)));
        EXPECT_EQ(last.text(), "服务器拒绝: " + failing)
            << "the server's own text reaches the operator";
        const bool inCatalogue = catalogue.contains(failing);
        EXPECT_EQ(server.log.contains("master: ROLLBACK"), inCatalogue);
        EXPECT_EQ(server.log.contains("master: COMMIT"), !inCatalogue)
            << "the catalogue phase is all or nothing";
        const qsizetype failedAt = server.log.indexOf("master: " + failing);
        ASSERT_GE(failedAt, 0);
        if (inCatalogue) {
            EXPECT_EQ(server.log.last(), "master: ROLLBACK");
            EXPECT_FALSE(server.log.contains("master: " + kAccountDatabases001))
                << "no database is dropped after a failed catalogue phase";
        } else if (failing == kAccountDatabases001 || failing.contains(QLatin1String("2014"))) {
            for (const QString& line : std::as_const(server.log))
                EXPECT_FALSE(line.contains(QLatin1String("ufdata_001_2015"))) << line.toStdString();
        } else {
            EXPECT_TRUE(server.log.contains("master: drop database [ufdata_001_2014]"))
                << "the database dropped before the failing one stays dropped";
        }
    }
}

TEST_F(CatalogueTest, YearWithDatabasesDropsFirstThenMarksThePeriods) {
    const QString yearDb = QStringLiteral(
        "select name,filename from master..sysdatabases where name like 'ufdata[_]001[_]2015'");
    server.answer(yearDb, table({"name", "filename"}, {{"ufdata_001_2015", QString()}}));
    databaseExists("ufdata_001_2015");
    accountRegistered();
    exists(kBackupPlanCheck);
    server.answer(kYearRefs,
                  table({"ctable", "cacc", "cyear"}, {{"ua_task", "cacc_id", "iBeginYear"},
                                                      {"UA_BackupPlans", "cAcc_Id", "iyear"}}));

    EXPECT_TRUE(kept(DeleteYear_UF("001", "2015", conn(), true)));

    EXPECT_EQ(
        server.log,
        (onMaster({yearDb}) + dropStatements("ufdata_001_2015") + QStringList{"master: BEGIN"} +
         onMaster(
             {kAccountCheck001, kYearRefs,
              QStringLiteral(
                  "delete UFSystem..[ua_task] where [cacc_id]='001' and  [iBeginYear]='2015'"),
              QStringLiteral(
                  "delete UFSystem..[UA_BackupPlans] where [cAcc_Id]='001' and  [iyear]='2015'"),
              QStringLiteral("UPDATE UFSystem..UA_Period SET bIsDelete=1 WHERE cAcc_Id='001' "
                             "AND iyear=2015"),
              kBackupPlanCheck, kDeleteBackupPlan, kTaskLogCheck}) +
         QStringList{"master: COMMIT"}));
}

TEST_F(CatalogueTest, YearWithoutTheFlagOrOutsideTheCatalogue) {
    EXPECT_TRUE(kept(DeleteYear_UF("001", "2015", conn(), false)));
    EXPECT_EQ(server.log,
              (QStringList{"master: BEGIN", "master: " + kAccountCheck001, "master: COMMIT"}))
        << "an account set the catalogue does not know: an empty transaction";
}

TEST_F(CatalogueTest, YearFailuresRollBackOrStopBeforeTheTransaction) {
    accountRegistered();
    server.fail(
        QStringLiteral(
            "UPDATE UFSystem..UA_Period SET bIsDelete=1 WHERE cAcc_Id='001' AND iyear=2015"),
        DbError{"42000", 229, "拒绝了 UPDATE 权限"});
    EXPECT_FALSE(kept(DeleteYear_UF("001", "2015", conn(), false)));
    EXPECT_EQ(server.log.last(), "master: ROLLBACK");
    EXPECT_EQ(last.text(), "拒绝了 UPDATE 权限");

    server = test::FakeServer();
    const QString yearDb = QStringLiteral(
        "select name,filename from master..sysdatabases where name like 'ufdata[_]001[_]2015'");
    server.answer(yearDb, table({"name", "filename"}, {{"ufdata_001_2015", QString()}}));
    EXPECT_FALSE(kept(DeleteYear_UF("001", "2015", conn(), true)));
    EXPECT_EQ(last.text(), "错误报告:数据库[ufdata_001_2015]不存在");
    EXPECT_FALSE(server.log.contains("master: BEGIN"))
        << "a failed drop ends the call before the catalogue is touched";
}

const QString kTnCheck =
    "select DSName from UFTSystem..EAP_Account where 1=1 and DSName='UFTData1_001'";
const QStringList kTnColumnChecks = {
    QStringLiteral("select a.name from UFTSystem..sysobjects as a inner join UFTSystem..syscolumns "
                   "as b on a.id=b.id where a.name='EAP_BackUp' and b.name='DatabaseDBName'"),
    QStringLiteral("select a.name from UFTSystem..sysobjects as a inner join UFTSystem..syscolumns "
                   "as b on a.id=b.id where a.name='eap_backupplans' and b.name='cAcc_id'"),
    QStringLiteral("select a.name from UFTSystem..sysobjects as a inner join UFTSystem..syscolumns "
                   "as b on a.id=b.id where a.name='eap_backupplan' and b.name='plan_id'"),
    QStringLiteral("select a.name from UFTSystem..sysobjects as a inner join UFTSystem..syscolumns "
                   "as b on a.id=b.id where a.name='EAP_Period' and b.name='cAcc_id'"),
    QStringLiteral(
        "select a.name from UFTSystem..sysobjects as a inner join UFTSystem..syscolumns as b on "
        "a.id=b.id where a.name='EAP_PeroidCarryForwarDate ' and b.name='AccountID'")};

TEST_F(CatalogueTest, TPlusAccountCatalogueThenDatabase) {
    server.answer(kTnCheck, table({"DSName"}, {{"UFTData1_001"}}));
    for (const QString& c : kTnColumnChecks)
        exists(c);
    const QString dbQuery =
        "select name,filename from master..sysdatabases where name='UFTData1_001'";
    server.answer(dbQuery, table({"name", "filename"}, {{"UFTData1_001", QString()}}));
    databaseExists("UFTData1_001");

    EXPECT_TRUE(kept(DeleteAcc_TN("UFTData1_001", conn(), true)));

    EXPECT_EQ(
        server.log,
        (QStringList{"master: " + kTnCheck, "master: BEGIN"} +
         onMaster(
             {kTnColumnChecks[0],
              QStringLiteral("delete FROM UFTSystem..EAP_BackUp where DatabaseDBName in (select "
                             "dsname from UFTSystem..EAP_Account where dsname='UFTData1_001')"),
              kTnColumnChecks[1],
              QStringLiteral(
                  "delete from UFTSystem..eap_backupplans where cast(cAcc_id as int) in (select "
                  "cacc_num from UFTSystem..EAP_Account where dsname='UFTData1_001')"),
              kTnColumnChecks[2],
              QStringLiteral("delete from UFTSystem..eap_backupplan where plan_id not in "
                             "(select distinct plan_id from UFTSystem..eap_backupplans)"),
              kTnColumnChecks[3],
              QStringLiteral("delete from UFTSystem..EAP_Period where cAcc_id in (select ID "
                             "from UFTSystem..EAP_Account where dsname='UFTData1_001')"),
              kTnColumnChecks[4],
              QStringLiteral(
                  "delete from UFTSystem..EAP_PeroidCarryForwarDate where AccountID in (select "
                  "ID from UFTSystem..EAP_Account where dsname='UFTData1_001')"),
              "delete UFTSystem..EAP_Account where DSName='UFTData1_001'"}) +
         QStringList{"master: COMMIT", "master: " + dbQuery} + dropStatements("UFTData1_001")));
}

TEST_F(CatalogueTest, TPlusWithoutFlagMissingColumnsAndFailures) {
    server.answer(kTnCheck, table({"DSName"}, {{"UFTData1_001"}}));
    exists(kTnColumnChecks[3]);
    EXPECT_TRUE(kept(DeleteAcc_TN("UFTData1_001", conn(), false)));
    EXPECT_EQ(
        server.log,
        (QStringList{"master: " + kTnCheck, "master: BEGIN"} +
         onMaster({kTnColumnChecks[0], kTnColumnChecks[1], kTnColumnChecks[2], kTnColumnChecks[3],
                   QStringLiteral("delete from UFTSystem..EAP_Period where cAcc_id in (select ID "
                                  "from UFTSystem..EAP_Account where dsname='UFTData1_001')"),
                   kTnColumnChecks[4],
                   "delete UFTSystem..EAP_Account where DSName='UFTData1_001'"}) +
         QStringList{"master: COMMIT"}));

    // A column check that fails is a failure, not a missing column.
    server.log.clear();
    server.fail(kTnColumnChecks[1], DbError{"08S01", 0, "连接中断"});
    EXPECT_FALSE(kept(DeleteAcc_TN("UFTData1_001", conn(), true)));
    EXPECT_EQ(last.text(), "连接中断");
    EXPECT_EQ(server.log.last(), "master: ROLLBACK");
    EXPECT_FALSE(
        server.log.contains("master: delete UFTSystem..EAP_Account where DSName='UFTData1_001'"));
}

TEST_F(CatalogueTest, TPlusEmptyOrQuotedNames) {
    EXPECT_TRUE(kept(DeleteAcc_TN(QString(), conn(), true)));
    EXPECT_EQ(server.log,
              (QStringList{
                  QStringLiteral(
                      "master: select DSName from UFTSystem..EAP_Account where 1=1 and DSName=''"),
                  QStringLiteral(
                      "master: select name,filename from master..sysdatabases where name=''")}))
        << "an empty name finds nothing and changes nothing";

    server.log.clear();
    EXPECT_TRUE(kept(DeleteAcc_TN("x' or '1'='1", conn(), false)));
    EXPECT_EQ(server.log, (QStringList{QStringLiteral(
                              "master: select DSName from UFTSystem..EAP_Account where 1=1 and "
                              "DSName='x'' or ''1''=''1'")}));
    EXPECT_FALSE(kept(DeleteAcc_TN(QString(129, QLatin1Char('a')), conn(), true)));
}

} // namespace
} // namespace quenlor
