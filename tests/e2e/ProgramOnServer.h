#pragma once

#include "core/deletion/DeletionRun.h"
#include "core/deletion/ProgressSink.h"
#include "core/listing/MainListing.h"
#include "support/SimulatedServer.h"
#include "support/TestState.h"

#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace quenlor::test {

inline const QString kAll = kAllAccounts;
// The product entries the main window offers on these servers.
inline constexpr ProductFamily kClassic = ProductFamily::UfSystem;
inline constexpr ProductFamily kTplus = ProductFamily::Tplus;
inline constexpr ProductFamily kDatabases = ProductFamily::ServerDatabases;
inline const QString kQuestion = QStringLiteral("重要提示:数据库删除后将不可恢复，确认操作吗？");
inline const QString kDone = QStringLiteral("已成功删除！");

using Told = QList<QPair<short, QString>>;

// The run's progress as the window shows it; the operator never asks to stop.
class ProgressRecord final : public ProgressSink {
public:
    QStringList lines;
    void runStarted() override { lines << QStringLiteral("started"); }
    void runEnded() override { lines << QStringLiteral("ended"); }
    void showProgress(int maximum) override { lines << QStringLiteral("show %1").arg(maximum); }
    void hideProgress() override { lines << QStringLiteral("hide"); }
    void setProgressValue(int value) override { lines << QStringLiteral("value %1").arg(value); }
    void setReport(const QString& text) override { lines << text; }
    bool stopRequested() override { return false; }
};

// The program against a simulated server: its own start-up, listings and deletion run over the
// real ODBC driver and TCP, with the main window's lists and buttons worked the way frmMain works
// them. Fakes stand only for the desktop, the service manager and the ERP's components. Checks
// read the server's tables, databases and data files directly.
class ProgramOnServer : public StateFixture {
protected:
    ProgramOnServer();
    ~ProgramOnServer() override;

    // Loads the scenario and points the program's connector at it, nothing more.
    void serve(const QString& scenario, int queryTimeoutSeconds = 30,
               sim::ReportedPaths paths = sim::ReportedPaths::Native);
    // serve(), then the program's start-up with the manual login dialog answered with the
    // server's own login, tried against the server first as the dialog does.
    void start(const QString& scenario, int queryTimeoutSeconds = 30);

    SimulatedServer& sim() { return *m_sim; }
    sim::Engine& engine() { return m_sim->engine(); }

    // --- The main window ---

    // The account list of a product as cboAcc fills it.
    QStringList accountEntries(ProductFamily product);
    // Chooses the product and account entries and lists them.
    void show(ProductFamily product, const QString& accountText = kAll);
    // The grid's data rows without the tick column.
    QList<QStringList> shownRows() const;
    // One column of the data rows (0 is the first column after the ticks).
    QStringList shownColumn(int column) const;
    // Ticks the row whose column (counted as in shownRows) reads text; fails the test if none.
    void tick(int column, const QString& text);
    // The confirm button with the question answered Yes; returns what the operator was told
    // after the question.
    Told confirm(bool deleteDatabases = true);

    // --- The server ---

    // The rows of one table of a catalogue database, each as "a | b | NULL", sorted.
    QStringList rows(const QString& database, const QString& table,
                     const QString& where = QStringLiteral("1"));
    // The rows a statement of the engine's own dialect gives, in the same form.
    QStringList selected(const QString& engineSql);
    // Every table of a catalogue database with its rows.
    QMap<QString, QStringList> catalogue(const QString& database);
    // Compares a catalogue database table by table with what is expected.
    void expectCatalogue(const QString& database, const QMap<QString, QStringList>& expected);
    [[nodiscard]] bool exists(const QString& database) const;
    // The data and log file of a database, as the server created them.
    [[nodiscard]] QStringList filesOf(const QString& database) const;
    // A path below the server's data folder.
    [[nodiscard]] QString dataPath(const QString& relative) const;
    // Every batch the server received, over all connections, in order of connection.
    [[nodiscard]] QStringList batches() const;
    // The classic catalogue as it must be once an account set is gone: every row that names the
    // account, and the backup plans and running-task logs left belonging to nothing. Taken before
    // the run, from the rows as they are then.
    QMap<QString, QStringList> catalogueWithoutAccountSet(const QString& code);
    // Waits up to three seconds for something the server does on its own thread after the
    // program has moved on (closing a lost connection, for one).
    static bool eventually(const std::function<bool()>& condition);

    MainListing listing;
    ProgressRecord progress;
    int reloads = 0;
    DeletionRun run{progress, [this](const ListedRow& row) { return listing.stillShows(row); },
                    [this] { reload(); }};

private:
    // What the window does after a successful run: the product selection handler again.
    void reload();

    std::unique_ptr<SimulatedServer> m_sim;
};

} // namespace quenlor::test
