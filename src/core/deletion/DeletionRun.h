#pragma once

#include "core/app/Outcome.h"
#include "core/listing/Selection.h"

#include <QString>

#include <functional>

namespace quenlor {

class ProgressSink;

// The confirmed deletion of the ticked rows of a listing.
class DeletionRun {
public:
    // stillShown tells whether the window still shows a confirmed row as it was confirmed;
    // reload rebuilds the window's lists and grid (the product selection handler).
    DeletionRun(ProgressSink& progress, std::function<bool(const ListedRow&)> stillShown,
                std::function<void()> reload);

    // The confirm button: the ticked rows of the listing shown, and the state of the
    // delete-databases check box.
    void cmdConfirm_Click(const ConfirmedSelection& selection, bool deleteDatabasesChecked);

    // Taken once per run, after the confirmation.
    bool DeleteDatabases = false;

    [[nodiscard]] bool running() const { return m_running; }

private:
    // Why the run must not start (the first bad row), or empty text.
    [[nodiscard]] QString refusal() const;

    // The row routines, one per listing; true when every ticked row was done.
    bool DeleteDB_SQL();
    bool DeleteDB_TN();
    bool DeleteDB_UF();
    bool DeleteDB_UF_Year(const QString& accountCode);

    // The common course of the row routines over the confirmed rows; Row is the listing's row.
    template <typename Row>
    bool walkRows(const std::function<QString(const Row&)>& caption,
                  const std::function<Outcome(const Row&)>& work);
    // False (and the reason as the run's failure) when the grid no longer shows the confirmed
    // row.
    bool stillShown(const ListedRow& confirmed);
    Outcome deleteTplusRow(const TplusRow& row);
    Outcome deleteYearRow(const YearRow& row);
    void restartTaskService();

    ProgressSink& m_progress;
    std::function<bool(const ListedRow&)> m_stillShown;
    std::function<void()> m_reload;
    ConfirmedSelection m_selection; // the rows confirmed for this run, in grid order
    int m_done = 0;                 // ticked rows finished in this run
    Outcome m_failure;              // why the run ended early; shown when it is over
    bool m_stopped = false;
    bool m_running = false;
};

} // namespace quenlor
