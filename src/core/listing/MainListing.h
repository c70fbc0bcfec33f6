#pragma once

#include "core/listing/GridModel.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace quenlor {

class Database;

// What the main window shows and does, apart from its widgets: the product and account entries,
// the four listings and the ticks. The window owns one and hands its events to it.
class MainListing {
public:
    MainListing();

    GridModel& grid() { return m_grid; }
    const GridModel& grid() const { return m_grid; }

    // The product text of the listing shown last, and the account code cut from the account
    // entry (characters 2 to 4 of "[001]name").
    QString CurrentType;
    QString CurrentAcc;

    // --- Products and accounts ---

    // The product entries: the ERP's own product line or "T3|T6|U8" when ufsystem exists, "T+"
    // when uftsystem exists, and always "SQL" last.
    [[nodiscard]] QStringList productEntries() const;
    // "T3", "T6", "U8" and "T3|T6|U8" share the ufsystem catalogue.
    [[nodiscard]] static bool isUfProduct(const QString& productText);
    // The account list query of a product, empty when the product has none.
    [[nodiscard]] static QString accountQuery(const QString& productText);
    // The account entries: "全部" then one entry per non-null row; no entry at all when the query
    // returns no rows. False (and the failure reported) when the query fails.
    bool accountEntries(const QString& query, QStringList& entries);

    // --- Listings ---

    // Rebuilds the grid for the selection: the product text and the account entry's text.
    void LoadDB(const QString& productText, const QString& accountText);

    [[nodiscard]] static QString queryLoadDB_SQL();
    [[nodiscard]] static QString queryLoadDB_TN();
    [[nodiscard]] static QString queryLoadDB_UF();
    [[nodiscard]] static QString queryLoadDB_UF_Year(const QString& cAcc,
                                                     const QString& productSubType);

    // --- Ticks ---

    // A double-click on a cell: column 0 of a data row toggles the tick.
    void toggleTick(int row, int col);
    void selectAll();
    void clearAll();
    [[nodiscard]] int CountTicked() const;
    [[nodiscard]] bool HasTicked() const { return CountTicked() >= 1; }

    // --- One refresh per operator action ---

    // The window's own refresh (reads its lists and calls LoadDB).
    void setRefresh(std::function<void()> refresh) { m_refresh = std::move(refresh); }
    // Asks for a refresh: at once outside an action, once at its end inside one.
    void requestRefresh();

    // Marks an operator action (an event handler and everything it sets off). Nested actions
    // belong to the outermost one. At its end the listing is refreshed once if anything asked
    // for it, and a failure is reported once however many steps failed.
    class Action {
    public:
        explicit Action(MainListing& listing);
        ~Action();
        Action(const Action&) = delete;
        Action& operator=(const Action&) = delete;

    private:
        MainListing& m_listing;
    };

    // Shows a failure (kind 4), once per action.
    void reportFailure(const QString& text);

private:
    bool runListing(const QString& sql, const QList<int>& widths,
                    const QStringList& fallbackHeader);

    GridModel m_grid;
    std::function<void()> m_refresh;
    int m_actionDepth = 0;
    bool m_refreshPending = false;
    bool m_failureShown = false;
};

} // namespace quenlor
