// One confirmed deletion in each product mode, from the listing the operator ticks to the server's
// tables, databases and data folders afterwards.

#include "e2e/ProgramOnServer.h"

#include <QDir>
#include <QFileInfo>

namespace quenlor {
namespace {

using test::kClassic;
using test::kDatabases;
using test::kDone;
using test::kTplus;
using test::Told;

class DeletionE2E : public test::ProgramOnServer {
protected:
    // The server's databases and their files before the run.
    void remember() {
        m_names = engine().databaseNames();
        for (const QString& name : std::as_const(m_names))
            m_files.insert(name, filesOf(name));
    }

    // Exactly these databases are gone, with their data and log files; every other database and
    // its files are still there.
    void expectDropped(const QStringList& dropped) {
        QStringList left = m_names;
        for (const QString& name : dropped) {
            EXPECT_FALSE(exists(name)) << name.toStdString();
            ASSERT_EQ(m_files.value(name).size(), 2) << name.toStdString() << " was not there";
            for (const QString& file : m_files.value(name))
                EXPECT_FALSE(QFileInfo::exists(file)) << file.toStdString();
            left.removeAll(name);
        }
        EXPECT_EQ(engine().databaseNames(), left);
        for (const QString& name : std::as_const(left)) {
            for (const QString& file : m_files.value(name))
                EXPECT_TRUE(QFileInfo::exists(file)) << file.toStdString();
        }
    }

    [[nodiscard]] bool folderExists(const QString& relative) const {
        return QDir(dataPath(relative)).exists();
    }

private:
    QStringList m_names;
    QMap<QString, QStringList> m_files;
};

// --- The classic catalogue ---

TEST_F(DeletionE2E, AccountSetGoesWithItsDatabasesFoldersAndEveryCatalogueRow) {
    // 009 is only a database: the catalogue does not know the account set, though its log does.
    start("realistic");
    show(kClassic);
    tick(0, "001");
    tick(0, "009");
    remember();
    const QMap<QString, QStringList> expected = catalogueWithoutAccountSet("001");
    const QString sys = "UFSystem";

    EXPECT_EQ(confirm(), (Told{{1, kDone}}));

    expectCatalogue(sys, expected);
    // Spelled out: the plan that served 001 alone and the one that served nobody are gone, and
    // so are the running-task logs whose task is gone or never was.
    EXPECT_EQ(selected("SELECT cPlan_Id FROM UFSystem.UA_BackupPlan"),
              (QStringList{"BK01", "BK02"}));
    EXPECT_EQ(selected("SELECT cTaskId FROM UFSystem.UA_TaskLog"),
              (QStringList{"{0C8E4A26-F1B7-4D93-8E2C-7A5B9D0F3E61}",
                           "{1A7E5D98-C4B2-4C3E-A0F6-5B8D2E9A7C31}",
                           "{C6B0F3D2-1E8A-4F57-8A2D-93E4B7C1F605}",
                           "{E94C2B6F-0D3A-47B8-9E15-6C7F0A3D8B22}"}));
    EXPECT_EQ(selected("SELECT count(*) FROM UFSystem.UA_Period WHERE cAcc_Id<>'001'"),
              QStringList{"120"});
    EXPECT_EQ(rows(sys, "UA_Message", "\"Account\" IS NULL").size(), 1);
    EXPECT_EQ(rows(sys, "UA_Log", "\"cAcc_Id\"='009'").size(), 1);

    expectDropped({"UFDATA_001_2021", "UFDATA_001_2022", "UFDATA_001_2023", "UFDATA_001_2024",
                   "UFMeta_001", "UFDATA_009_2021"});
    EXPECT_FALSE(folderExists("U8SOFT/ZT001")) << "the account folder, emptied, goes too";
    EXPECT_FALSE(folderExists("U8SOFT/ZT009"));
    EXPECT_TRUE(folderExists("U8SOFT/ZT002"));

    EXPECT_EQ(progress.lines,
              (QStringList{"started", "show 2", "正在删除账套:[001]北京华源商贸有限公司", "value 1",
                           "正在删除账套:[009]", "value 2", "hide", "ended"}));
    EXPECT_EQ(reloads, 1);
    EXPECT_EQ(shownColumn(0), (QStringList{"002", "003", "005", "008"}));
}

TEST_F(DeletionE2E, EveryYearTickedTakesTheAccountSetButKeepsItsDatabasesWhenTold) {
    start("realistic");
    show(kClassic, "[002]上海启明精密机械有限公司");
    listing.selectAll();
    remember();
    const QMap<QString, QStringList> expected = catalogueWithoutAccountSet("002");

    EXPECT_EQ(confirm(false), (Told{{1, kDone}}));

    expectCatalogue("UFSystem", expected);
    // Also the 2019 periods that were only marked deleted.
    EXPECT_EQ(selected("SELECT count(*) FROM UFSystem.UA_Period WHERE cAcc_Id='002'"),
              QStringList{"0"});
    expectDropped({});
    EXPECT_TRUE(folderExists("U8SOFT/ZT002/2020"));
    EXPECT_EQ(progress.lines,
              (QStringList{"started", "show 1", "正在删除账套:[002]上海启明精密机械有限公司",
                           "value 1", "hide", "ended"}));
    EXPECT_FALSE(accountEntries(kClassic).contains("[002]上海启明精密机械有限公司"));
}

TEST_F(DeletionE2E, OneYearIsMarkedDeletedAndOnlyItsDatabaseGoes) {
    start("realistic");
    show(kClassic, "[001]北京华源商贸有限公司");
    tick(2, "2023");
    remember();
    const QString sys = "UFSystem";
    QMap<QString, QStringList> expected = catalogue(sys);
    expected["UA_Period"] = selected(
        "SELECT cAcc_Id, iYear, iId, dBegin, dEnd, CASE WHEN cAcc_Id='001' AND iYear=2023 THEN 1 "
        "ELSE bIsDelete END FROM UFSystem.UA_Period");
    const QString notTheYear = "NOT (\"cAcc_Id\"='001' AND \"iYear\"=2023)";
    expected["UA_BackupPlans"] = rows(sys, "UA_BackupPlans", notTheYear);
    expected["UA_Task"] = rows(sys, "UA_Task", notTheYear);
    // BK03 backed up only 001's 2023; BK04 backed up nothing already.
    expected["UA_BackupPlan"] = rows(sys, "UA_BackupPlan", "\"cPlan_Id\" IN ('BK01','BK02')");
    // The 2023 task's log, and the two running-task logs that never had a task.
    expected["UA_TaskLog"] =
        rows(sys, "UA_TaskLog",
             "\"cTaskId\" NOT IN ('{8D41E0B7-52C3-4A9F-B6E1-0F7A2C9D4E18}',"
             "'{5B3D7F10-9A2E-4C81-B4D6-E07F1C3A9B54}','{7F6A1C3E-2D84-4B0F-95A7-C1E8D4B2F093}')");

    EXPECT_EQ(confirm(), (Told{{1, kDone}}));

    expectCatalogue(sys, expected);
    expectDropped({"UFDATA_001_2023"});
    EXPECT_FALSE(folderExists("U8SOFT/ZT001/2023"));
    EXPECT_TRUE(folderExists("U8SOFT/ZT001/2024"));
    EXPECT_EQ(progress.lines, (QStringList{"started", "show 1", "正在删除年度:2023年", "value 1",
                                           "hide", "ended"}));

    show(kClassic, "[001]北京华源商贸有限公司");
    EXPECT_EQ(shownColumn(2), (QStringList{"2021", "2022", "2024"}));
}

// --- The newer catalogue ---

TEST_F(DeletionE2E, NewerCatalogueRangeMarksEachYearAndDropsItsDatabaseWithTheServiceStopped) {
    start("u8new");
    services->table = {ServiceInfo{"U8TaskService", "Running"}};
    bool droppedBeforeStop = true;
    bool droppedBeforeStart = false;
    services->onCommand = [&](const QString& command) {
        if (command.contains("NET STOP")) {
            droppedBeforeStop = !exists("UFDATA_001_2016");
            services->table[0].state = "Stopped";
        } else if (command.contains("NET START")) {
            droppedBeforeStart = !exists("UFDATA_001_2016");
            services->table[0].state = "Running";
        }
    };
    show(kClassic, "[001]苏州恒信纺织有限公司");
    tick(2, "2016-2018");
    remember();
    const QString sys = "UFSystem";
    QMap<QString, QStringList> expected = catalogue(sys);
    expected["UA_Period"] = selected(
        "SELECT cAcc_Id, iYear, iId, dBegin, dEnd, CASE WHEN cAcc_Id='001' AND iYear BETWEEN 2016 "
        "AND 2018 THEN 1 ELSE bIsDelete END FROM UFSystem.UA_Period");
    // The task that ran in 2017, and the running-task logs without a task.
    expected["UA_Task"] =
        rows(sys, "UA_Task", "\"cTaskId\" <> '{B2D4F6A8-3C5E-4A7B-9D1F-2E4A6C8B0D3F}'");
    expected["UA_TaskLog"] = rows(sys, "UA_TaskLog",
                                  "\"cTaskId\" NOT IN ('{B2D4F6A8-3C5E-4A7B-9D1F-2E4A6C8B0D3F}',"
                                  "'{E5A7C9DB-6F8B-4DAE-A04C-5B7D9F1E3A62}')");

    EXPECT_EQ(confirm(), (Told{{1, kDone}}));

    expectCatalogue(sys, expected);
    expectDropped({"UFDATA_001_2016"});
    EXPECT_FALSE(folderExists("U8SOFT/ZT001/2016"));
    EXPECT_TRUE(folderExists("U8SOFT/ZT001/2019"));
    EXPECT_EQ(services->commands,
              (QStringList{"cmd /c NET STOP U8TaskService", "cmd /c NET START U8TaskService"}));
    EXPECT_FALSE(droppedBeforeStop);
    EXPECT_TRUE(droppedBeforeStart);

    show(kClassic, "[001]苏州恒信纺织有限公司");
    EXPECT_EQ(shownColumn(2), QStringList{"2019-2024"});
}

// --- T+ ---

TEST_F(DeletionE2E, TplusAccountsTakeTheirBackupPlansByNumberAndTheirPeriodsById) {
    // Account 000004 has record ID 3; the plan row of account number 3 must stay.
    start("tplus");
    show(kTplus);
    tick(0, "UFTData517372_000002");
    tick(0, "UFTData517372_000004");
    remember();
    const QString sys = "UFTSystem";
    QMap<QString, QStringList> expected = catalogue(sys);
    expected["EAP_Account"] = rows(sys, "EAP_Account", "\"ID\" NOT IN (2,3)");
    expected["EAP_Period"] = rows(sys, "EAP_Period", "\"cAcc_id\" NOT IN (2,3)");
    expected["EAP_PeroidCarryForwarDate"] =
        rows(sys, "EAP_PeroidCarryForwarDate", "\"AccountID\" NOT IN (2,3)");
    expected["EAP_BackUp"] =
        rows(sys, "EAP_BackUp",
             "\"DatabaseDBName\" NOT IN ('UFTData517372_000002','UFTData517372_000004')");
    expected["eap_backupplans"] = rows(sys, "eap_backupplans", "\"cAcc_id\" NOT IN ('2','4')");
    expected["eap_backupplan"] = rows(sys, "eap_backupplan", "\"plan_id\" <> 2");

    EXPECT_EQ(confirm(), (Told{{1, kDone}}));

    expectCatalogue(sys, expected);
    EXPECT_EQ(selected("SELECT plan_id, cAcc_id FROM UFTSystem.eap_backupplans"),
              (QStringList{"1 | 1", "3 | 1", "3 | 3"}));
    expectDropped({"UFTData517372_000002", "UFTData517372_000004"});
    EXPECT_EQ(progress.lines,
              (QStringList{"started", "show 2", "正在删除账套：[2]秦川餐饮", "value 1",
                           "正在删除账套：[4]海岸水产", "value 2", "hide", "ended"}));
    EXPECT_EQ(shownColumn(1), (QStringList{"", "1", "3"}));
}

TEST_F(DeletionE2E, TplusAccountWithoutItsDatabaseIsFoundByNumberAndLeavesEveryDatabase) {
    // The missing account has record ID 4 and number 3.
    start("tplus");
    show(kTplus);
    tick(1, "3");
    remember();
    const QString sys = "UFTSystem";
    QMap<QString, QStringList> expected = catalogue(sys);
    expected["EAP_Account"] = rows(sys, "EAP_Account", "\"ID\" <> 4");
    expected["EAP_Period"] = rows(sys, "EAP_Period", "\"cAcc_id\" <> 4");
    expected["EAP_PeroidCarryForwarDate"] =
        rows(sys, "EAP_PeroidCarryForwarDate", "\"AccountID\" <> 4");
    expected["EAP_BackUp"] =
        rows(sys, "EAP_BackUp", "\"DatabaseDBName\" <> 'UFTData517372_000003'");
    expected["eap_backupplans"] = rows(sys, "eap_backupplans", "\"cAcc_id\" <> '3'");

    EXPECT_EQ(confirm(), (Told{{1, kDone}}));

    expectCatalogue(sys, expected);
    expectDropped({});
    EXPECT_EQ(shownColumn(1), (QStringList{"", "1", "2", "4"}));
}

// --- Plain databases ---

TEST_F(DeletionE2E, PlainDatabasesGoWithTheirFilesAndNothingElse) {
    start("realistic");
    show(kDatabases);
    tick(0, "HRDB");
    tick(0, "测试库");
    remember();
    const QMap<QString, QStringList> catalogueBefore = catalogue("UFSystem");

    EXPECT_EQ(confirm(), (Told{{1, kDone}}));

    expectDropped({"HRDB", "测试库"});
    EXPECT_TRUE(folderExists("MSSQL/DATA")) << "ReportServer's files are still in it";
    expectCatalogue("UFSystem", catalogueBefore);
    const QStringList sent = batches();
    EXPECT_TRUE(sent.contains(
        "--password \r\nalter database [测试库] set single_user with rollback immediate "));
    EXPECT_TRUE(sent.contains("drop database [测试库]"));
    EXPECT_FALSE(shownColumn(0).contains("HRDB"));
}

// An offline database refuses the single-user switch, yet the drop goes through; the server
// leaves an offline database's files on disk, so they and their folder stay.
TEST_F(DeletionE2E, OfflineDatabaseIsDroppedButItsFilesStay) {
    start("realistic");
    show(kDatabases);
    tick(0, "OA_Archive");
    const QStringList files = filesOf("OA_Archive");
    ASSERT_EQ(files.size(), 2);

    EXPECT_EQ(confirm(), (Told{{1, kDone}}));

    EXPECT_FALSE(exists("OA_Archive"));
    for (const QString& file : files)
        EXPECT_TRUE(QFileInfo::exists(file)) << file.toStdString();
    const QStringList sent = batches();
    EXPECT_TRUE(sent.contains(
        "--password \r\nalter database [OA_Archive] set single_user with rollback immediate "));
    EXPECT_TRUE(sent.contains("drop database [OA_Archive]"));
    EXPECT_FALSE(shownColumn(0).contains("OA_Archive"));
}

// --- SQL Server 2000 ---

TEST_F(DeletionE2E, Sql2000AccountSetSwitchesEachDatabaseThroughSpDboption) {
    start("sql2000");
    show(kDatabases);
    EXPECT_FALSE(shownColumn(0).contains("Northwind"));
    EXPECT_FALSE(shownColumn(0).contains("pubs"));
    show(kClassic);
    tick(0, "006");
    remember();
    const QMap<QString, QStringList> expected = catalogueWithoutAccountSet("006");

    EXPECT_EQ(confirm(), (Told{{1, kDone}}));

    expectCatalogue("UFSystem", expected);
    expectDropped({"UFDATA_006_2007", "UFDATA_006_2008"});
    EXPECT_FALSE(folderExists("U8SOFT/ZT006"));
    const QStringList sent = batches();
    for (const char* name : {"UFDATA_006_2007", "UFDATA_006_2008"}) {
        EXPECT_TRUE(
            sent.contains(QStringLiteral("--password \r\nsp_dboption '%1 ','single user','true'")
                              .arg(QLatin1String(name))))
            << name;
    }
    EXPECT_FALSE(sent.join(u'\n').contains("alter database", Qt::CaseInsensitive));
}

} // namespace
} // namespace quenlor
