#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace quenlor {

class MainListing;
class ProgressSink;

// The confirmed deletion of the ticked rows of the main grid.
class DeletionRun {
public:
    // reload rebuilds the window's lists and grid (the product selection handler).
    DeletionRun(MainListing& listing, ProgressSink& progress, std::function<void()> reload);

    // The confirm button: accountText is the account list's text, deleteDatabasesChecked the
    // state of the delete-databases check box.
    void cmdConfirm_Click(const QString& accountText, bool deleteDatabasesChecked);

    // Taken once per run, after the confirmation.
    bool DeleteDatabases = false;

    [[nodiscard]] bool running() const { return m_running; }

private:
    // The four listings a run can work on.
    enum class Listing { None, Databases, TplusAccounts, AccountSets, Years };

    // A ticked row as it stood when the run was confirmed.
    struct TickedRow {
        int row = 0;
        QStringList cells;
    };

    [[nodiscard]] Listing listingFor(const QString& accountText) const;
    [[nodiscard]] QList<TickedRow> tickedRows() const;
    [[nodiscard]] bool everyRowTicked() const;
    // Why the run must not start (the first bad row), or empty text.
    [[nodiscard]] QString refusal(Listing listing, const QString& accountText) const;

    // The row routines, one per listing; true when every ticked row was done.
    bool DeleteDB_SQL();
    bool DeleteDB_TN();
    bool DeleteDB_UF();
    bool DeleteDB_UF_Year(const QString& accountCode);

    // The common course of the row routines over the confirmed rows.
    bool walkRows(const std::function<QString(const QStringList&)>& caption,
                  const std::function<bool(const QStringList&)>& work);
    // False (and the reason in ErrorText) when the grid no longer shows the confirmed row.
    bool stillShown(const TickedRow& ticked);
    bool deleteTplusRow(const QStringList& cells);
    bool deleteYearRow(const QStringList& cells);
    void restartTaskService();

    MainListing& m_listing;
    ProgressSink& m_progress;
    std::function<void()> m_reload;
    QList<TickedRow> m_rows; // the rows confirmed for this run, in grid order
    int m_done = 0;          // ticked rows finished in this run
    bool m_stopped = false;
    bool m_running = false;
};

} // namespace quenlor
