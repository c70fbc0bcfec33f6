#pragma once

#include "core/app/Product.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <variant>

namespace quenlor {

// The account entry that stands for every account set of the product.
inline const QString kAllAccounts = QStringLiteral("全部");

// The ERP's own system databases and the server's service databases that the plain database
// listing shows but 全选 never ticks; each needs its name typed before it is dropped. Names compare
// as the server compares them: letter case and trailing blanks ignored.
[[nodiscard]] bool isSystemDatabase(const QString& name);
// Whether a typed answer names the database, compared in the same way.
[[nodiscard]] bool sameDatabaseName(const QString& a, const QString& b);

// The four listings the main window can show.
enum class ListingKind { None, Databases, TplusAccounts, AccountSets, Years };

// The operator's choice in the main window's two lists.
struct Selection {
    ProductFamily product = ProductFamily::None;
    QString account; // the account entry: kAllAccounts or "[001]name"

    // The listing this choice shows.
    [[nodiscard]] ListingKind listing() const;
    // The account code cut from the entry (characters 2 to 4 of "[001]name").
    [[nodiscard]] QString accountCode() const;
};

// How the window's lists look once a product is chosen.
struct ProductChoice {
    // A plain server database has no account sets and can only go as a whole database.
    bool accountsShown = true;
    bool deleteDatabasesForced = false;
    // The account entries: kAllAccounts alone for a product without accounts; empty when the
    // account query gave no rows or failed.
    QStringList accounts;
};

// The look of the lists for a product; the accounts are left to the listing to read.
[[nodiscard]] ProductChoice productChoice(ProductFamily product);

// --- The rows of the listings, typed ---

struct DatabaseRow {
    QString name;
    bool operator==(const DatabaseRow&) const = default;
};
// A T+ account: its database (empty when the database is missing) and account number.
struct TplusRow {
    QString database;
    QString number;
    QString name;
    bool operator==(const TplusRow&) const = default;
};
struct AccountSetRow {
    QString code;
    QString name;
    bool operator==(const AccountSetRow&) const = default;
};
// One year ("2014"), or in the newer catalogue a range of years ("2012-2014").
struct YearRow {
    QString code;
    QString name;
    QString years;
    bool operator==(const YearRow&) const = default;
};

using ListedItem = std::variant<DatabaseRow, TplusRow, AccountSetRow, YearRow>;

// A row of the grid as the listing read it; row counts the data rows from 1.
struct ListedRow {
    int row = 0;
    ListedItem item;
    bool operator==(const ListedRow&) const = default;
};

// What the operator confirms: the ticked rows of the listing shown, top to bottom.
struct ConfirmedSelection {
    ListingKind listing = ListingKind::None;
    // False when the listing shown is not the one the lists choose now (a refresh is due).
    bool matchesChoice = true;
    // The year listing's account code.
    QString accountCode;
    QList<ListedRow> rows;
    bool everyRowTicked = false;
};

} // namespace quenlor
