#pragma once

#include "core/app/Outcome.h"
#include "core/deletion/Catalogue.h"
#include "core/deletion/DropCheck.h"
#include "core/deletion/RunPreview.h"
#include "core/listing/Selection.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace quenlor {

class Database;
class LoggingDatabase;
class ProgressSink;
class RunLog;

// The confirmed deletion of the ticked rows of a listing.
class DeletionRun {
public:
    // stillShown tells whether the window still shows a confirmed row as it was confirmed;
    // reload rebuilds the window's lists and grid after every run that started, keeping the
    // product and account shown.
    // start runs the confirmed run's work (on the server worker: false when it cannot take it)
    // and then done; without it both run at once. Progress, stillShown and the operator's
    // messages are then reached from the worker's thread.
    using Starter = std::function<bool(std::function<void()> work, std::function<void()> done)>;
    DeletionRun(ProgressSink& progress, std::function<bool(const ListedRow&)> stillShown,
                std::function<void()> reload, Starter start = {});
    ~DeletionRun();

    // A dry run of the ticked rows: the course of a confirmed run over a connection that reads
    // from the server and records every write instead. Nothing on the server, the disk or the
    // task service changes and no question is asked. Runs where a confirmed run would.
    [[nodiscard]] static RunPreview dryRun(const ConfirmedSelection& selection,
                                           bool deleteDatabases, bool backupHistory);

    // The confirm button: the ticked rows of the listing shown, and the states of the
    // delete-databases and backup-history check boxes.
    void cmdConfirm_Click(const ConfirmedSelection& selection, bool deleteDatabasesChecked,
                          bool backupHistoryChecked = false);

    // Taken once per run, after the confirmation.
    bool DeleteDatabases = false;

    [[nodiscard]] bool running() const { return m_running; }
    // Runs on the window's thread once a run that started is over, after the reload.
    void setEnded(std::function<void()> ended) { m_ended = std::move(ended); }

private:
    // The run over the confirmed rows and what the operator is told of it; false when it was
    // refused before the first row and nothing needs reloading.
    bool runRows();
    // The run's course over the rows, shared with the dry run; true when every row was done.
    bool course();
    // Why the run must not start (the first bad row), or empty text.
    [[nodiscard]] QString refusal() const;

    // The row routines, one per listing; true when every ticked row was done.
    bool DeleteDB_SQL();
    bool DeleteDB_TN();
    bool DeleteDB_UF();
    bool DeleteDB_UF_Year(const QString& accountCode);

    // The common course of the row routines over the confirmed rows; Row is the listing's row.
    // With DeleteDatabases each row's databases are checked first (check) and a row whose
    // databases cannot go is passed over untouched.
    template <typename Row>
    bool walkRows(const std::function<QString(const Row&)>& caption,
                  const std::function<DropCheck(const Row&)>& check,
                  const std::function<Outcome(const Row&)>& work);
    // Checks a row's databases; false (the row refused) when one of them cannot be dropped.
    bool rowMayGo(const ListedRow& row, const DropCheck& check);
    // What the operator is told once a run that did not simply succeed is over.
    [[nodiscard]] QString summary() const;
    // False (and the reason as the run's failure) when the grid no longer shows the confirmed
    // row.
    bool stillShown(const ListedRow& confirmed);
    // The T+ account's database: the row's, else the catalogue's by account number.
    Read<QString> tplusDatabase(const TplusRow& row);
    Outcome deleteTplusRow(const TplusRow& row);
    Outcome deleteYearRow(const YearRow& row);
    void restartTaskService();
    // What the workers tell the run as they drop: with reportDrops the report line of the row
    // in hand names each database as it is dropped (the window counts the seconds the drop
    // takes).
    DropHooks hooks(bool reportDrops = true);

    ProgressSink& m_progress;
    std::function<bool(const ListedRow&)> m_stillShown;
    std::function<void()> m_reload;
    std::function<void()> m_ended;
    ConfirmedSelection m_selection; // the rows confirmed for this run, in grid order
    int m_done = 0;                 // ticked rows finished in this run
    int m_handled = 0;              // rows finished, refused or failed: the rest were left
    QStringList m_doneRows;         // the rows finished, and the rows refused with the reason
    QStringList m_refusedRows;
    QStringList m_filesLeft;      // offline databases dropped and the files they left
    QStringList m_historyFailed;  // dropped databases whose backup history stayed, and why
    QString m_failedRow;          // the row the run ended at with m_failure
    bool m_catalogueGone = false; // the row in hand lost its catalogue rows
    Outcome m_failure;            // why the run ended early; shown when it is over
    QString m_rowReport;          // the report line of the row in hand
    Starter m_start;
    bool m_stopped = false;
    bool m_running = false; // on the window's thread, from the confirmation until done
    bool m_reloadAfter = false;
    bool m_backupHistory = false; // taken with DeleteDatabases
    Database* m_conn = nullptr;   // the master connection, or the dry run's recording one
    struct Dry;
    Dry* m_dry = nullptr;
    RunLog* m_log = nullptr; // the confirmed run's log, while it runs
    std::unique_ptr<LoggingDatabase> m_logged;
};

} // namespace quenlor
