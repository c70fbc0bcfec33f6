// Runs the server refuses or breaks off: what the operator is told, and that the server holds
// exactly what the workers had finished, their open catalogue transaction undone.

#include "e2e/ProgramOnServer.h"

#include <QFileInfo>

namespace quenlor {
namespace {

using test::kClassic;
using test::kDatabases;
using test::kDone;
using test::SimulatedServer;
using test::Told;

const QString kAccount003 = QStringLiteral("[003]广州粤兴食品有限公司");

class FailureE2E : public test::ProgramOnServer {
protected:
    // A connection of some other program, through the same driver.
    std::unique_ptr<Database> otherProgram(const QString& database = QStringLiteral("master")) {
        return SimulatedServer::connector()->open(sim().params(database));
    }

    // The server's text of a message, as the driver passes it on.
    QString serverText(int number, const QString& name) {
        return "[FreeTDS][SQL Server]" + engine().message(number, name).text;
    }

    [[nodiscard]] bool singleUser(const QString& database) {
        const std::optional<sim::DatabaseState> db = engine().database(database);
        return db && db->flags.contains(QStringLiteral("IsSingleUser"));
    }
};

// --- A database another connection holds ---

TEST_F(FailureE2E, SingleUserDatabaseStopsTheAccountSetAfterItsCatalogueRowsAreGone) {
    // 003's 2022 database is in single-user mode with someone else in it. The account set's
    // catalogue rows go first, in their own transaction; its databases after.
    start("realistic");
    show(kClassic);
    tick(0, "003");
    const QMap<QString, QStringList> expected = catalogueWithoutAccountSet("003");

    EXPECT_EQ(confirm(), (Told{{4, serverText(3702, "UFDATA_003_2022")}}));

    expectCatalogue("UFSystem", expected);
    EXPECT_TRUE(exists("UFDATA_003_2022"));
    EXPECT_TRUE(singleUser("UFDATA_003_2022")) << "the program did not switch it, so it leaves it";
    EXPECT_EQ(engine().database("UFDATA_003_2022")->otherUsers, 1);
    EXPECT_TRUE(exists("UFDATA_003_2023")) << "the run stops at the first database it cannot drop";
    for (const QString& file : filesOf("UFDATA_003_2022") + filesOf("UFDATA_003_2023"))
        EXPECT_TRUE(QFileInfo::exists(file)) << file.toStdString();

    const QStringList sent = batches();
    EXPECT_TRUE(sent.contains("--password \r\nalter database [UFDATA_003_2022] set single_user "
                              "with rollback immediate "));
    EXPECT_TRUE(sent.contains("drop database [UFDATA_003_2022]"));
    EXPECT_FALSE(sent.contains("alter database [UFDATA_003_2022] set multi_user"));
    EXPECT_EQ(reloads, 0);
    EXPECT_EQ(shownColumn(0).value(2), QStringLiteral("003")) << "the grid is kept as it was";
}

TEST_F(FailureE2E, SingleUserDatabaseLeavesItsYearEntirelyAsItWas) {
    // A year drops its database first and touches the catalogue only after that worked.
    start("realistic");
    show(kClassic, kAccount003);
    tick(2, "2022");
    const QMap<QString, QStringList> before = catalogue("UFSystem");

    EXPECT_EQ(confirm(), (Told{{4, serverText(3702, "UFDATA_003_2022")}}));

    expectCatalogue("UFSystem", before);
    EXPECT_TRUE(exists("UFDATA_003_2022"));
    EXPECT_TRUE(singleUser("UFDATA_003_2022"));
}

TEST_F(FailureE2E, ConnectionUsingTheDatabaseIsEndedByTheSingleUserSwitch) {
    start("realistic");
    std::unique_ptr<Database> other = otherProgram();
    other->execute("use UFDATA_002_2021");
    show(kDatabases);
    tick(0, "UFDATA_002_2021");

    EXPECT_EQ(confirm(), (Told{{1, kDone}}));

    EXPECT_FALSE(exists("UFDATA_002_2021"));
    EXPECT_TRUE(exists("UFDATA_002_2020"));
    bool ended = false;
    try {
        (void)other->query("select name from master..sysdatabases");
    } catch (const DbError&) {
        ended = true;
    }
    EXPECT_TRUE(ended) << "the other program's connection outlived ROLLBACK IMMEDIATE";
}

TEST_F(FailureE2E, Sql2000CannotTakeADatabaseFromAnotherConnection) {
    // sp_dboption has no ROLLBACK IMMEDIATE: the switch and then the drop are refused.
    start("sql2000");
    std::unique_ptr<Database> other = otherProgram("UFDATA_002_2007");
    show(kDatabases);
    tick(0, "UFDATA_002_2007");

    EXPECT_EQ(confirm(), (Told{{4, serverText(3702, "UFDATA_002_2007")}}));

    EXPECT_TRUE(exists("UFDATA_002_2007"));
    EXPECT_FALSE(singleUser("UFDATA_002_2007"));
    EXPECT_TRUE(batches().contains("--password \r\nsp_dboption 'UFDATA_002_2007 ','single "
                                   "user','true'"));
    EXPECT_EQ(other->query("select name from master..sysdatabases where name='UFDATA_002_2007'")
                  .rows.size(),
              1)
        << "the other program keeps its connection";
}

// --- The server stops answering ---

TEST_F(FailureE2E, StatementTimeoutRollsBackTheAccountSetAndTheConnectionGoesOn) {
    start("realistic", 2);
    engine().addFault(
        sim::Fault{QRegularExpression("^delete from UFSystem\\.\\.UA_Message where Account='001'$"),
                   sim::Fault::Kind::Hang,
                   {},
                   1});
    show(kClassic);
    tick(0, "001");
    const QMap<QString, QStringList> before = catalogue("UFSystem");
    const QStringList databases = engine().databaseNames();

    EXPECT_EQ(confirm(), (Told{{4, "[FreeTDS][SQL Server]Timeout expired\n"
                                   "[FreeTDS][SQL Server]Operation was cancelled"}}));

    expectCatalogue("UFSystem", before);
    EXPECT_EQ(engine().databaseNames(), databases);
    EXPECT_EQ(reloads, 0);

    // The same connections carry the next listing and the next run.
    show(kClassic);
    EXPECT_TRUE(shownColumn(0).contains("001"));
    tick(0, "001");
    const QMap<QString, QStringList> expected = catalogueWithoutAccountSet("001");
    EXPECT_EQ(confirm(), (Told{{1, kDone}}));
    expectCatalogue("UFSystem", expected);
    EXPECT_FALSE(exists("UFDATA_001_2024"));
}

TEST_F(FailureE2E, LostConnectionKeepsFinishedAccountSetsAndUndoesTheOneInHand) {
    start("realistic");
    engine().addFault(
        sim::Fault{QRegularExpression("^delete from UFSystem\\.\\.UA_Message where Account='002'$"),
                   sim::Fault::Kind::Disconnect,
                   {},
                   1});
    show(kClassic);
    tick(0, "001");
    tick(0, "002");
    tick(0, "008");
    const QMap<QString, QStringList> expected = catalogueWithoutAccountSet("001");

    EXPECT_EQ(confirm(), (Told{{4, "[FreeTDS][SQL Server]Unexpected EOF from the server"}}));

    // The server undoes 002's transaction once it has closed the connection.
    EXPECT_TRUE(eventually([&] { return catalogue("UFSystem") == expected; }));
    expectCatalogue("UFSystem", expected);
    for (const char* name :
         {"UFDATA_001_2021", "UFDATA_001_2022", "UFDATA_001_2023", "UFDATA_001_2024", "UFMeta_001"})
        EXPECT_FALSE(exists(name)) << name;
    for (const char* name : {"UFDATA_002_2020", "UFDATA_002_2021", "UFMeta_002", "UFDATA_008_2023",
                             "UFDATA_008_2024", "UFMeta_008"})
        EXPECT_TRUE(exists(name)) << name;
    EXPECT_FALSE(batches().join(u'\n').contains("'008'")) << "008 was never started";
    EXPECT_EQ(reloads, 0);
}

// --- The catalogue refuses ---

TEST_F(FailureE2E, CatalogueRefusingTheLastDeleteRollsBackTheWholeAccountSet) {
    // A read-only catalogue refuses the statement that would take the account row itself, after
    // every other row of the account set has been deleted inside the transaction.
    start("realistic");
    const sim::Message readOnly = engine().message(3906, "UFSystem");
    engine().addFault(
        sim::Fault{QRegularExpression("^delete UFSystem\\.\\.UA_Account where cAcc_Id='001'$"),
                   sim::Fault::Kind::Error, readOnly, 1});
    show(kClassic);
    tick(0, "001");
    const QMap<QString, QStringList> before = catalogue("UFSystem");
    const QStringList databases = engine().databaseNames();

    EXPECT_EQ(confirm(), (Told{{4, serverText(3906, "UFSystem")}}));

    expectCatalogue("UFSystem", before);
    EXPECT_EQ(engine().databaseNames(), databases) << "no database goes without its catalogue";
}

TEST_F(FailureE2E, DatabaseDroppedElsewhereAfterTheListingIsReportedAndTheRunStops) {
    start("realistic");
    show(kDatabases);
    tick(0, "ReportServer");
    tick(0, "ReportServerTempDB");
    otherProgram()->execute("drop database [ReportServer]");

    EXPECT_EQ(confirm(), (Told{{4, "错误报告:数据库[ReportServer]不存在"}}));

    EXPECT_TRUE(exists("ReportServerTempDB")) << "a later row is not touched";
    EXPECT_EQ(reloads, 0);
}

} // namespace
} // namespace quenlor
