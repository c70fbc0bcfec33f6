#pragma once

#include "core/deletion/DeletionRun.h"
#include "core/deletion/ProgressSink.h"
#include "core/listing/MainListing.h"
#include "core/login/ManualLogin.h"
#include "core/startup/Startup.h"
#include "support/SimulatedServer.h"
#include "support/TestState.h"

#include <QDir>

namespace quenlor::test {

inline const QString kQuestion = QStringLiteral("重要提示:数据库删除后将不可恢复，确认操作吗？");
inline const QString kDone = QStringLiteral("已成功删除！");
using Told = QList<QPair<short, QString>>;
using Tables = QMap<QString, QStringList>;

// The program against a simulated server: its own start-up, listings and deletion run over
// the real ODBC driver and TCP, the main window's lists worked as frmMain works them. Fakes stand
// only for the desktop, the service manager and the ERP's components. Checks read the server's
// tables, databases and data files directly.
class ProgramOnServer : public StateFixture {
public:
    ProgramOnServer() {
        listing.setRefresh([this] { listing.LoadDB(); });
    }
    ~ProgramOnServer() override {
        // The program's connections close while the server still answers.
        st().TempdbConn.reset();
        st().MasterConn.reset();
        st().SystemConn.reset();
        st().frmSQLLogin.reset();
    }

    // Loads the scenario and points the program's connector at it, nothing more.
    void serve(const QString& scenario, sim::ReportedPaths paths = sim::ReportedPaths::Native,
               int queryTimeoutSeconds = 30) {
        m_sim = std::make_unique<SimulatedServer>(scenario, paths);
        st().connector = SimulatedServer::connector(queryTimeoutSeconds);
    }

    // serve(), then the program's start-up with the manual login dialog answered with the
    // server's own login (its name in capitals, as the dialog offers it), tried against the
    // server first as the dialog does.
    void start(const QString& scenario, int queryTimeoutSeconds = 30) {
        serve(scenario, sim::ReportedPaths::Native, queryTimeoutSeconds);
        windows->loginScript = [server = m_sim.get()](SqlLoginDialog& d) {
            d.ServerName = server->address();
            d.UserName = server->user().toUpper();
            d.Password = server->password();
            d.TestConn = openTestConnection(d.ServerName, "master", d.UserName, d.Password).value;
            d.Confirmed = d.TestConn != nullptr;
        };
        Main();
        ASSERT_EQ(windows->mainWindowShown, 1) << st().ErrorText.toStdString();
    }

    SimulatedServer& sim() { return *m_sim; }

    // --- The main window ---

    // Chooses the product and account entries (all accounts when account is empty) and lists.
    void show(ProductFamily product, const QString& account = {}) {
        MainListing::Action action(listing);
        const QStringList entries = listing.chooseProduct(product).accounts;
        const QString entry = account.isEmpty() ? kAllAccounts : account;
        EXPECT_TRUE(entries.contains(entry)) << entries.join(u',').toStdString();
        listing.chooseAccount(entry);
        listing.requestRefresh();
    }

    // One column of the grid's data rows, 0 the first after the ticks.
    [[nodiscard]] QStringList shownColumn(int column) const {
        QStringList out;
        for (int row = 1; row < listing.grid().Rows(); ++row)
            out << listing.grid().TextMatrix(row, column + 1);
        return out;
    }

    // Ticks the row whose column reads text.
    void tick(int column, const QString& text) {
        const int row = int(shownColumn(column).indexOf(text)) + 1;
        ASSERT_GT(row, 0) << "no shown row reads " << text.toStdString();
        listing.toggleTick(row, 0);
    }

    // The confirm button with the question answered Yes; what the operator was told after it.
    Told confirm() {
        const qsizetype before = messages->shown.size();
        messages->answers.append(MsgResult::Yes);
        run.cmdConfirm_Click(listing.confirmedSelection(), true);
        const Told shown = messages->shown.mid(before);
        EXPECT_EQ(shown.value(0), qMakePair(MsgKind::Question, kQuestion)) << "not confirmed";
        return shown.mid(1);
    }

    // --- The server ---

    // The rows a statement of the engine's own dialect gives, each as "a | b | NULL", sorted.
    QStringList selected(const QString& engineSql) {
        QStringList out;
        for (const QVariantList& row : m_sim->engine().rows(engineSql)) {
            QStringList cells;
            for (const QVariant& v : row)
                cells << (v.isNull() ? QStringLiteral("NULL") : v.toString());
            out << cells.join(QStringLiteral(" | "));
        }
        out.sort();
        return out;
    }
    QStringList rows(const QString& database, const QString& table, const QString& where = "1") {
        return selected(
            QStringLiteral("SELECT * FROM \"%1\".\"%2\" WHERE %3").arg(database, table, where));
    }

    // Every table of a catalogue database with its rows.
    Tables catalogue(const QString& database) {
        Tables tables;
        for (const QString& name :
             selected("SELECT name FROM \"" + database + "\".sqlite_master WHERE type='table'"))
            tables.insert(name, rows(database, name));
        return tables;
    }
    void expectCatalogue(const QString& database, const Tables& expected) {
        const Tables actual = catalogue(database);
        EXPECT_EQ(actual.keys(), expected.keys()) << database.toStdString();
        for (auto it = expected.begin(); it != expected.end(); ++it)
            EXPECT_EQ(actual.value(it.key()), it.value()) << it.key().toStdString();
    }

    // The classic catalogue as it must be once an account set is gone: every row that names the
    // account, and the backup plans and running-task logs left belonging to nothing. Taken
    // before the run, from the rows as they are then.
    Tables catalogueWithoutAccountSet(const QString& code) {
        const QString sys = QStringLiteral("UFSystem");
        Tables expected = catalogue(sys);
        const QString notIt = QStringLiteral("\"%1\" IS NOT '") + code + u'\'';
        for (const char* table : {"UA_Account", "UA_AccountDatabase", "UA_Period", "UA_HoldAuth",
                                  "UA_Task", "UA_BackupPlans", "UA_Log"}) {
            if (expected.contains(QLatin1String(table)))
                expected[table] = rows(sys, table, notIt.arg("cAcc_Id"));
        }
        expected["UA_UserAccount"] = rows(sys, "UA_UserAccount", notIt.arg("cAccCode"));
        expected["UA_Message"] = rows(sys, "UA_Message", notIt.arg("Account"));
        expected["UA_BackupPlan"] = rows(sys, "UA_BackupPlan",
                                         "\"cPlan_Id\" IN (SELECT \"cPlan_Id\" FROM "
                                         "\"UFSystem\".\"UA_BackupPlans\" WHERE " +
                                             notIt.arg("cAcc_Id") + u')');
        expected["UA_TaskLog"] =
            rows(sys, "UA_TaskLog",
                 "\"TaskState\" IS NOT 1 OR \"cTaskId\" IN (SELECT \"cTaskId\" "
                 "FROM \"UFSystem\".\"UA_Task\" WHERE " +
                     notIt.arg("cAcc_Id") + u')');
        return expected;
    }

    // The data and log file of a database, as the server created them; none when it is gone.
    [[nodiscard]] QStringList filesOf(const QString& database) const {
        const std::optional<sim::DatabaseState> db = m_sim->engine().database(database);
        return db ? QStringList{db->file, db->logFile} : QStringList();
    }
    // Every batch the server received, over all connections.
    [[nodiscard]] QStringList batches() const {
        QStringList all;
        for (const sim::Session& s : m_sim->tds().sessions())
            all << s.batches;
        return all;
    }

    MainListing listing;
    SilentProgress progress;
    // After every run the window chooses its product again, keeping the account shown.
    DeletionRun run{progress, [this](const ListedRow& row) { return listing.stillShows(row); },
                    [this] {
                        MainListing::Action action(listing);
                        (void)listing.chooseAgain();
                        listing.requestRefresh();
                    }};

private:
    std::unique_ptr<SimulatedServer> m_sim;
};

} // namespace quenlor::test
