// Confirmed runs in each product mode, from the listing the operator ticks to the server's tables,
// databases and data folders afterwards; and a database another program holds, which stops a run.

#include "e2e/ProgramOnServer.h"

#include <QFileInfo>

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
    // A single-user database another program is in: the run stops there with the server's text.
    const char* held = nullptr;
    // A statement the server never answers: the run times out there, its transaction undone, and
    // the same connections carry the listing afterwards.
    const char* hangsAt = nullptr;
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
    // The account set's catalogue rows go first, in their own transaction; its databases after,
    // and the run stops at the first it cannot drop, leaving it in the mode it found it in.
    {"HeldDatabaseStopsTheAccountSetAfterItsCatalogueRowsAreGone", "realistic",
     ProductFamily::UfSystem, "", 0, "003", "", "", "001,002,003,005,008,009", "UFSystem", "003",
     nullptr, {},
     {"--password \r\nalter database [UFDATA_003_2022] set single_user with rollback immediate ",
      "drop database [UFDATA_003_2022]"},
     "", "UFDATA_003_2022"},
    {"StatementTimeoutUndoesTheAccountSetInHand", "realistic", ProductFamily::UfSystem, "", 0,
     "001", "", "+U8SOFT/ZT001", "001,002,003,005,008,009", "UFSystem", nullptr, nullptr, {}, {},
     "", nullptr, "^delete from UFSystem\\.\\.UA_Message where Account='001'$"},
};
// clang-format on

class DeletionE2E : public test::ProgramOnServer, public ::testing::WithParamInterface<Deletion> {};

TEST_P(DeletionE2E, LeavesTheServerAsTheOperatorAsked) {
    const Deletion& row = GetParam();
    start(row.scenario, row.hangsAt ? 2 : 30);
    if (row.hangsAt)
        sim().engine().addFault(
            sim::Fault{QRegularExpression(row.hangsAt), sim::Fault::Kind::Hang, {}, 1});
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

    const QString refusal = row.held ? sim().engine().message(3702, row.held).text : QString();
    const QString timedOut = QStringLiteral(
        "[FreeTDS][SQL Server]Timeout expired\n[FreeTDS][SQL Server]Operation was cancelled");
    EXPECT_EQ(confirm(),
              (test::Told{row.held      ? qMakePair(short(4), "[FreeTDS][SQL Server]" + refusal)
                          : row.hangsAt ? qMakePair(short(4), timedOut)
                                        : qMakePair(short(1), test::kDone)}));
    expectCatalogue(row.system, expected);
    for (const QString& name : databases) {
        const bool gone = list(row.dropped).contains(name);
        EXPECT_EQ(filesOf(name).isEmpty(), gone) << name.toStdString();
        for (const QString& file : files.value(name))
            EXPECT_EQ(QFileInfo::exists(file), !gone) << file.toStdString();
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
    if (row.shownAfter) {
        show(row.product, QString::fromUtf8(row.account));
        EXPECT_EQ(shownColumn(row.column), QString::fromUtf8(row.shownAfter).split(u','));
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, DeletionE2E, ::testing::ValuesIn(kDeletions),
                         [](const ::testing::TestParamInfo<Deletion>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
} // namespace quenlor
