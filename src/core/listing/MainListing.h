#pragma once

#include "core/listing/GridModel.h"
#include "core/listing/Selection.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace quenlor {

class Database;

// A refresh of the grid in halves, so that the server can be asked on the server worker: the
// request is taken on the window's thread, the read touches only the connection and may run on
// any thread, and the window's thread shows what was read.
struct ListingRead {
    // The request.
    ProductFamily product = ProductFamily::None;
    ListingKind kind = ListingKind::None;
    QString account; // the year listing's account code
    UfCatalogue productSubType = UfCatalogue::Classic;
    Database* conn = nullptr;
    // The action that asked for the refresh has shown a failure already.
    bool failureShown = false;
    // What was read: the grid's text and the typed rows, or why it could not be read.
    QStringList header;
    QList<QStringList> rows;
    QList<ListedItem> items;
    QList<int> widths;
    QString failure;
};

// A product chosen and listed in one go, in the same halves as a listing: the product entries
// first at start-up, then the product's account entries, then the listing of the account chosen.
struct ChoiceRead {
    // The request.
    bool readProducts = false; // the first product entry is the one chosen
    ProductFamily product = ProductFamily::None;
    bool keepAccount = false; // the account entry below stays chosen when it is still listed
    QString keptAccount;
    bool list = true;
    ListingRead listing; // the listing's request, its kind and account following the choice
    // What was read.
    QList<ProductFamily> products;
    ProductChoice choice;
    QString account; // the account entry chosen
    QString failure; // why the account entries could not be read
};

// What the main window shows and does, apart from its widgets: the product and account entries,
// the four listings and the ticks. The window owns one and hands its events to it.
class MainListing {
public:
    MainListing();

    GridModel& grid() { return m_grid; }
    const GridModel& grid() const { return m_grid; }

    // The product of the listing shown last, and the account code of the year listing shown
    // last.
    ProductFamily CurrentType = ProductFamily::None;
    QString CurrentAcc;

    // --- Products and accounts: the operator's choice ---

    // The product entries: the ERP's own product line or the unnamed family when ufsystem
    // exists, T+ when uftsystem exists, and always the server's databases last.
    [[nodiscard]] static QList<ProductFamily> productEntries();
    // A product chosen: the look of the account list and its entries. The first entry (or none)
    // becomes the chosen account.
    ProductChoice chooseProduct(ProductFamily product);
    // The same in halves, as the window asks on the server worker: the request (keepAccount: the
    // account entry shown stays chosen when it is still listed; no product: the first product
    // entry), the read, and the choice taken with its listing shown.
    [[nodiscard]] ChoiceRead choiceRequest(std::optional<ProductFamily> product,
                                           bool keepAccount = false) const;
    static void readChoice(ChoiceRead& read);
    ProductChoice takeChoice(ChoiceRead read);
    void chooseAccount(const QString& accountEntry);
    // The product chosen again after its lists may have changed (after a deletion run): the
    // account entry shown stays chosen when it is still listed.
    ProductChoice chooseAgain();
    // Sets the choice as a whole, without reading the accounts.
    void select(const Selection& selection) { m_selection = selection; }
    [[nodiscard]] const Selection& selection() const { return m_selection; }

    // The account entries of a product: kAllAccounts then one entry per non-null row of the
    // account query; kAllAccounts alone for a product without account sets and when the
    // catalogue lists none; no entry at all when the query fails (the failure returned). Reads on
    // any thread.
    [[nodiscard]] static QStringList readAccountEntries(ProductFamily product, QString& failure);

    // --- Listings ---

    // Rebuilds the grid for the chosen product and account: the three halves below in one go.
    void LoadDB();
    [[nodiscard]] ListingRead refreshRequest() const;
    static void readListing(ListingRead& read);
    void showListing(ListingRead read);
    // What the window says while a listing of the kind is read.
    [[nodiscard]] static QString readingText(ListingKind kind);

    [[nodiscard]] static QString queryLoadDB_SQL();
    [[nodiscard]] static QString queryLoadDB_TN();
    [[nodiscard]] static QString queryLoadDB_UF();
    [[nodiscard]] static QString queryLoadDB_UF_Year(const QString& cAcc,
                                                     UfCatalogue productSubType);

    // The row the grid shows at a data row (from 1), as the listing read it; an empty row of the
    // listing's kind where the grid shows a blank row.
    [[nodiscard]] ListedRow listedRow(int row) const;
    // The ticked rows with the listing they belong to, as the confirm button hands them on.
    [[nodiscard]] ConfirmedSelection confirmedSelection() const;
    // True while the grid still shows the row, ticked, as it was confirmed.
    [[nodiscard]] bool stillShows(const ListedRow& confirmed) const;

    // --- Ticks ---

    // A click on a cell: column 0 of a data row toggles the tick.
    void toggleTick(int row, int col);
    // Ticks every data row but the system databases of the plain database listing, which are
    // ticked by hand only; returns the line that tells which were left out (empty for none).
    QString selectAll();
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
    [[nodiscard]] bool isTicked(int row) const;

    GridModel m_grid;
    Selection m_selection;
    // The listing the grid shows and its rows, typed, in grid order.
    ListingKind m_listed = ListingKind::None;
    QList<ListedItem> m_items;
    std::function<void()> m_refresh;
    int m_actionDepth = 0;
    bool m_refreshPending = false;
    bool m_failureShown = false;
};

} // namespace quenlor
