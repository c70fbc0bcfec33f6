#include "core/listing/Selection.h"

namespace quenlor {

ListingKind Selection::listing() const {
    if (usesUfSystem(product))
        return account == kAllAccounts ? ListingKind::AccountSets : ListingKind::Years;
    switch (product) {
    case ProductFamily::Tplus:
        return ListingKind::TplusAccounts;
    case ProductFamily::ServerDatabases:
        return ListingKind::Databases;
    default:
        return ListingKind::None;
    }
}

QString Selection::accountCode() const {
    return account.mid(1, 3);
}

ProductChoice productChoice(ProductFamily product) {
    ProductChoice choice;
    if (product == ProductFamily::ServerDatabases) {
        choice.accountsShown = false;
        choice.deleteDatabasesForced = true;
    }
    return choice;
}

} // namespace quenlor
