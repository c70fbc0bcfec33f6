// Confirmed runs in each product mode, from the listing the operator ticks to the server's tables,
// databases and data folders afterwards; and a database another program holds, which stops a run.

#include "core/app/QueuedSinks.h"
#include "core/app/ServerWorker.h"
#include "e2e/ProgramOnServer.h"

#include <QFileInfo>
#include <QTimer>

namespace quenlor {
namespace {

// Lists of names are "," separated.
struct Deletion {
    const char* name;
    const char* scenario;
    ProductFamily product;
    const char* account; // the account entry listed; all when empty
    int column;          // the grid column the ticks are found by and checked in afterwards
    const char* ticks;
    const char* dropped;    // exactly these databases go, with their files
    const char* folders;    // below the data folder: "-" gone afterwards, "+" still there
    const char* shownAfter; // the column when the same entries are listed again
    // The catalogue database as it must be, from its rows before the run: without the rows of
    // an account set, with 001's periods of the years marked deleted, and tables keeping only
    // the rows where the condition holds.
    const char* system = "UFSystem";
    const char* withoutAccountSet = nullptr;
    const char* yearsMarked = nullptr;
    QMap<QString, QString> kept = {};
    QStringList sent = {}; // statements the server received
    // The ERP's task service runs: each command to it, and whether the first database to go was
    // still there.
    const char* service = "";
    // A single-user database another program is in: never switched by the program.
    const char* held = nullptr;
    // A statement the server never answers: the run times out there, its transaction undone, and
    // the same connections carry the listing afterwards.
    const char* hangsAt = nullptr;
    // What the run tells when it does not simply succeed: the message's kind and lines it holds
    // ("|" separated).
    short kind = 1;
    const char* says = "已成功删除！";
    // A database's state before the run, as a scenario can set it.
    const char* blocked = nullptr;
    void (*state)(sim::DatabaseState&) = nullptr;
    const char* failsAt = nullptr; // a statement refused as if its database were in use
    bool stops = false;            // the operator stops after the first row
    bool filesStay = false;        // the dropped databases were offline: their files stay
    bool linkLost = false;         // failsAt cuts its connection instead
    friend void PrintTo(const Deletion& row, std::ostream* os) { *os << row.name; }
};

QStringList list(const char* names) {
    return QString::fromUtf8(names).split(u',', Qt::SkipEmptyParts);
}

const QString kTask2017 = "'{B2D4F6A8-3C5E-4A7B-9D1F-2E4A6C8B0D3F}'";
const QString kNot001Of2023 = "NOT (\"cAcc_Id\"='001' AND \"iYear\"=2023)";

// clang-format off
const Deletion kDeletions[] = {
    // 009 is only a database: the catalogue does not know the account set, though its log does.
    {"AccountSetGoesWithItsDatabasesFoldersAndEveryCatalogueRow", "realistic",
     ProductFamily::UfSystem, "", 0, "001,009",
     "UFDATA_001_2021,UFDATA_001_2022,UFDATA_001_2023,UFDATA_001_2024,UFMeta_001,UFDATA_009_2021",
     "-U8SOFT/ZT001,-U8SOFT/ZT009,+U8SOFT/ZT002", "002,003,005,008", "UFSystem", "001"},
    // BK03 backed up only 001's 2023, BK04 nothing already; the 2023 task's log goes, and so do
    // the running-task logs that never had a task.
    {"OneYearIsMarkedDeletedAndOnlyItsDatabaseGoes", "realistic", ProductFamily::UfSystem,
     "[001]北京华源商贸有限公司", 2, "2023", "UFDATA_001_2023",
     "-U8SOFT/ZT001/2023,+U8SOFT/ZT001/2024", "2021,2022,2024", "UFSystem", nullptr, "=2023",
     {{"UA_BackupPlans", kNot001Of2023}, {"UA_Task", kNot001Of2023},
      {"UA_BackupPlan", "\"cPlan_Id\" IN ('BK01','BK02')"},
      {"UA_TaskLog", "\"cTaskId\" NOT IN ('{8D41E0B7-52C3-4A9F-B6E1-0F7A2C9D4E18}','{5B3D7F10-"
                     "9A2E-4C81-B4D6-E07F1C3A9B54}','{7F6A1C3E-2D84-4B0F-95A7-C1E8D4B2F093}')"}}},
    // The task that ran in 2017 goes, with its log and the running-task logs without a task.
    {"NewerCatalogueRangeMarksEachYearAndDropsItsDatabaseWithTheServiceStopped", "u8new",
     ProductFamily::UfSystem, "[001]苏州恒信纺织有限公司", 2, "2016-2018", "UFDATA_001_2016",
     "-U8SOFT/ZT001/2016,+U8SOFT/ZT001/2019", "2019-2024", "UFSystem", nullptr,
     "BETWEEN 2016 AND 2018",
     {{"UA_Task", "\"cTaskId\" <> " + kTask2017}, {"UA_TaskLog", "\"cTaskId\" NOT IN (" +
      kTask2017 + ",'{E5A7C9DB-6F8B-4DAE-A04C-5B7D9F1E3A62}')"}},
     {}, "cmd /c NET STOP U8TaskService | there,cmd /c NET START U8TaskService | gone"},
    // Account 000004 has record ID 3: the plan row of account number 3 stays.
    {"TplusAccountsTakeTheirBackupPlansByNumberAndTheirPeriodsById", "tplus", ProductFamily::Tplus,
     "", 1, "2,4", "UFTData517372_000002,UFTData517372_000004", "", ",1,3", "UFTSystem", nullptr,
     nullptr,
     {{"EAP_Account", "\"ID\" NOT IN (2,3)"}, {"EAP_Period", "\"cAcc_id\" NOT IN (2,3)"},
      {"EAP_PeroidCarryForwarDate", "\"AccountID\" NOT IN (2,3)"},
      {"EAP_BackUp", "\"DatabaseDBName\" NOT IN ('UFTData517372_000002','UFTData517372_000004')"},
      {"eap_backupplans", "\"cAcc_id\" NOT IN ('2','4')"}, {"eap_backupplan", "\"plan_id\" <> 2"}}},
    {"Sql2000AccountSetSwitchesEachDatabaseThroughSpDboption", "sql2000", ProductFamily::UfSystem,
     "", 0, "006", "UFDATA_006_2007,UFDATA_006_2008", "-U8SOFT/ZT006", nullptr, "UFSystem", "006",
     nullptr, {},
     {"--password \r\nsp_dboption 'UFDATA_006_2007 ','single user','true'",
      "--password \r\nsp_dboption 'UFDATA_006_2008 ','single user','true'"}},
    // A row whose database the server would not drop is passed over before anything of it
    // changes; the rows after it still go, and the operator is told which and why.
    {"HeldDatabaseRefusesItsAccountSetUntouched", "realistic", ProductFamily::UfSystem, "", 0,
     "003,009", "UFDATA_009_2021", "+U8SOFT/ZT003,-U8SOFT/ZT009", "001,002,003,005,008",
     "UFSystem", nullptr, nullptr, {}, {}, "", "UFDATA_003_2022", nullptr, 1,
     "已完成：账套[009]|：数据库“UFDATA_003_2022”处于单用户模式，且正被其他连接使用"},
    {"SnapshotSourceRefusesItsAccountSet", "realistic", ProductFamily::UfSystem, "", 0, "002,009",
     "UFDATA_009_2021", "+U8SOFT/ZT002", "001,002,003,005,008", "UFSystem", nullptr, nullptr, {},
     {}, "", nullptr, nullptr, 1, "数据库“UFDATA_002_2020”是数据库快照“HRDB”的源数据库",
     "HRDB", [](sim::DatabaseState& db) { db.snapshotOf = "UFDATA_002_2020"; }},
    {"PublishedDatabaseRefusesItsAccountSet", "realistic", ProductFamily::UfSystem, "", 0,
     "002,009", "UFDATA_009_2021", "", "001,002,003,005,008", "UFSystem", nullptr, nullptr, {},
     {}, "", nullptr, nullptr, 1, "数据库“UFDATA_002_2021”已发布用于复制",
     "UFDATA_002_2021", [](sim::DatabaseState& db) { db.flags << "IsPublished"; }},
    {"RecoveringDatabaseRefusesItsAccountSet", "realistic", ProductFamily::UfSystem, "", 0,
     "002,009", "UFDATA_009_2021", "", "001,002,003,005,008", "UFSystem", nullptr, nullptr, {},
     {}, "", nullptr, nullptr, 1, "数据库“UFMeta_002”正在恢复，服务器不允许删除",
     "UFMeta_002", [](sim::DatabaseState& db) { db.flags << "IsInRecovery"; }},
    {"AvailabilityGroupMemberRefusesItsAccountSet", "both", ProductFamily::UfSystem, "", 0,
     "001,002", "UFDATA_002_2023,UFDATA_002_2024", "", "001", "UFSystem", "002", nullptr, {}, {},
     "", nullptr, nullptr, 1, "数据库“UFDATA_001_2023”已加入可用性组",
     "UFDATA_001_2023", [](sim::DatabaseState& db) { db.availabilityGroup = "AG1"; }},
    {"Sql2000OfflineDatabaseRefusesItsAccountSet", "sql2000", ProductFamily::UfSystem, "", 0,
     "001,002", "UFDATA_002_2006,UFDATA_002_2007", "", "001,006", "UFSystem", "002", nullptr, {},
     {}, "", nullptr, nullptr, 1, "数据库“UFDATA_001_2005”处于脱机状态，服务器不允许删除",
     "UFDATA_001_2005", [](sim::DatabaseState& db) { db.flags << "IsOffline"; }},
    // A later server drops an offline database but leaves its files, and says so.
    {"OfflineDatabaseGoesAndItsFilesAreNamed", "realistic", ProductFamily::ServerDatabases, "", 0,
     "OA_Archive", "OA_Archive", "", nullptr, "UFSystem", nullptr, nullptr, {}, {}, "", nullptr,
     nullptr, 1, "服务器未删除其文件|OA_Archive：", nullptr, nullptr, nullptr, false, true},
    // A drop nothing foresaw: 002's catalogue rows are gone, and the operator is told so, what
    // was done and what was left; the grid shows the server as it is now.
    {"FailedDropIsSummedUpAndTheGridReloaded", "realistic", ProductFamily::UfSystem, "", 0,
     "002,009", "UFDATA_002_2020", "", "001,002,003,005,008,009", "UFSystem", "002", nullptr, {},
     {}, "", nullptr, nullptr, 4,
     "失败：账套[002]|“系统管理控制之外”|未处理：账套[009]", nullptr, nullptr,
     "^drop database \\[UFDATA_002_2021\\]$"},
    // The same with the connection cut: the driver's text is told, and the reload after the run
    // opens the connection again and lists what is there.
    {"LostConnectionIsToldAndTheReloadOpensItAgain", "realistic", ProductFamily::UfSystem, "", 0,
     "002,009", "UFDATA_002_2020", "", "001,002,003,005,008,009", "UFSystem", "002", nullptr, {},
     {}, "", nullptr, nullptr, 4, "失败：账套[002]|未处理：账套[009]", nullptr, nullptr,
     "^drop database \\[UFDATA_002_2021\\]$", false, false, true},
    {"StoppedRunIsSummedUpAndTheGridReloaded", "realistic", ProductFamily::UfSystem, "", 0,
     "001,002", "UFDATA_001_2021,UFDATA_001_2022,UFDATA_001_2023,UFDATA_001_2024,UFMeta_001", "",
     "002,003,005,008,009", "UFSystem", "001", nullptr, {}, {}, "", nullptr, nullptr, 1,
     "已停止：已完成 1 项，其余 1 项未处理。|已完成：账套[001]|未处理：账套[002]", nullptr,
     nullptr, nullptr, true},
    {"StatementTimeoutUndoesTheAccountSetInHand", "realistic", ProductFamily::UfSystem, "", 0,
     "001", "", "+U8SOFT/ZT001", "001,002,003,005,008,009", "UFSystem", nullptr, nullptr, {}, {},
     "", nullptr, "^delete from UFSystem\\.\\.UA_Message where Account='001'$", 4,
     "Timeout expired|Operation was cancelled"},
};
// clang-format on

class DeletionE2E : public test::ProgramOnServer, public ::testing::WithParamInterface<Deletion> {};

TEST_P(DeletionE2E, LeavesTheServerAsTheOperatorAsked) {
    const Deletion& row = GetParam();
    start(row.scenario, row.hangsAt ? 2 : 30);
    if (row.hangsAt)
        sim().engine().addFault(
            sim::Fault{QRegularExpression(row.hangsAt), sim::Fault::Kind::Hang, {}, 1});
    if (row.failsAt)
        sim().engine().addFault(
            sim::Fault{QRegularExpression(row.failsAt),
                       row.linkLost ? sim::Fault::Kind::Disconnect : sim::Fault::Kind::Error,
                       sim().engine().message(3702, "UFDATA_002_2021"), 1});
    if (row.blocked)
        sim().engine().changeDatabase(row.blocked, row.state);
    progress.stopAsked = row.stops;
    QStringList service;
    if (*row.service) {
        services->table = {ServiceInfo{"U8TaskService", "Running"}};
        services->onCommand = [&](const QString& command) {
            services->table[0].state = command.contains("STOP") ? "Stopped" : "Running";
            service << command + (!filesOf(list(row.dropped).value(0)).isEmpty() ? " | there"
                                                                                 : " | gone");
        };
    }
    show(row.product, QString::fromUtf8(row.account));
    for (const QString& text : list(row.ticks))
        tick(row.column, text);
    const QStringList databases = sim().engine().databaseNames();
    QMap<QString, QStringList> files;
    for (const QString& name : databases)
        files.insert(name, filesOf(name));
    test::Tables expected = row.withoutAccountSet
                                ? catalogueWithoutAccountSet(row.withoutAccountSet)
                                : catalogue(row.system);
    if (row.yearsMarked)
        expected["UA_Period"] = selected(
            QStringLiteral("SELECT cAcc_Id, iYear, iId, dBegin, dEnd, CASE WHEN cAcc_Id='001' AND "
                           "iYear %1 THEN 1 ELSE bIsDelete END FROM UFSystem.UA_Period")
                .arg(row.yearsMarked));
    for (auto it = row.kept.begin(); it != row.kept.end(); ++it)
        expected[it.key()] = rows(row.system, it.key(), it.value());

    const test::Told told = confirm();
    ASSERT_EQ(told.size(), 1);
    EXPECT_EQ(told[0].first, row.kind);
    for (const QString& line : QString::fromUtf8(row.says).split(u'|', Qt::SkipEmptyParts))
        EXPECT_TRUE(told[0].second.contains(line)) << told[0].second.toStdString();
    expectCatalogue(row.system, expected);
    for (const QString& name : databases) {
        const bool gone = list(row.dropped).contains(name);
        EXPECT_EQ(filesOf(name).isEmpty(), gone) << name.toStdString();
        for (const QString& file : files.value(name)) {
            EXPECT_EQ(QFileInfo::exists(file), !gone || row.filesStay) << file.toStdString();
            // Files left on disk are named, as the server knows them.
            EXPECT_TRUE(!(gone && row.filesStay) ||
                        told[0].second.contains(QDir::toNativeSeparators(file)));
        }
    }
    for (const QString& f : list(row.folders))
        EXPECT_EQ(QDir(sim().dataPath(f.mid(1))).exists(), f[0] == u'+') << f.toStdString();
    const QStringList sent = batches();
    for (const QString& statement : row.sent)
        EXPECT_TRUE(sent.contains(statement)) << statement.toStdString();
    EXPECT_EQ(service, list(row.service));
    if (row.held) {
        const std::optional<sim::DatabaseState> held = sim().engine().database(row.held);
        EXPECT_TRUE(held && held->flags.contains("IsSingleUser"))
            << "the program did not switch it";
    }
    // The run itself reloads the grid, keeping the product and account shown.
    if (row.shownAfter) {
        EXPECT_EQ(listing.selection().account,
                  *row.account ? QString::fromUtf8(row.account) : kAllAccounts);
        EXPECT_EQ(shownColumn(row.column), QString::fromUtf8(row.shownAfter).split(u','));
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, DeletionE2E, ::testing::ValuesIn(kDeletions),
                         [](const ::testing::TestParamInfo<Deletion>& info) {
                             return std::string(info.param.name);
                         });

class WorkerRunE2E : public test::ProgramOnServer {};

// The run on the server worker, as the window starts it, while the server takes its time over a
// drop: the test's thread serves a timer meanwhile, and a stop asked during the drop waits for
// it, ends the run after that account set and starts the task service again.
TEST_F(WorkerRunE2E, TheCallerKeepsTurningAndAStopWaitsForTheDropInHand) {
    start("u8new");
    const QString slow = QStringLiteral("drop database [UFDATA_001_2019]");
    // Held back a second, as a large database takes its time.
    sim().engine().addFault({QRegularExpression("^" + QRegularExpression::escape(slow) + "$"),
                             sim::Fault::Kind::Delay, sim::Message(), 1, 1000});
    QStringList service;
    services->table = {ServiceInfo{"U8TaskService", "Running"}};
    services->onCommand = [&](const QString& command) {
        services->table[0].state = command.contains("STOP") ? "Stopped" : "Running";
        service << command;
    };
    show(ProductFamily::UfSystem);
    tick(0, "001"), tick(0, "002");
    ServerWorker worker;
    QueuedProgressSink queued(progress, worker);
    DeletionRun onWorker{
        queued, [this](const ListedRow& row) { return listing.stillShows(row); }, [] {},
        [&](auto work, auto done) { return worker.start(std::move(work), std::move(done)); }};
    messages->answers.append(MsgResult::Yes);
    onWorker.cmdConfirm_Click(listing.confirmedSelection(), true);

    ASSERT_TRUE(test::turnUntil([&] { return sim().engine().delayedStatements() == 1; }));
    bool served = false;
    QTimer::singleShot(10, [&] { served = sim().engine().delayedStatements() == 1; });
    EXPECT_TRUE(test::turnUntil([&] { return served; }))
        << "no timer served while the drop was in hand";
    worker.requestStop();
    ASSERT_TRUE(test::turnUntil([&] { return !worker.busy(); }));

    EXPECT_FALSE(sim().engine().database("UFDATA_001_2019")) << "the drop in hand finished";
    EXPECT_TRUE(sim().engine().database("UFDATA_002_2020")) << "the next account set stayed";
    EXPECT_TRUE(messages->shown.last().second.startsWith("已停止：已完成 1 项，其余 1 项未处理。"));
    EXPECT_TRUE(service.size() == 2 && service[0].contains("STOP") && !service[1].contains("STOP"))
        << service.join(" / ").toStdString();
}

} // namespace
} // namespace quenlor
