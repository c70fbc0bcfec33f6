#include "core/listing/Selection.h"

namespace quenlor {

namespace {
QStringView withoutTrailingBlanks(const QString& name) {
    QStringView v(name);
    while (v.endsWith(u' '))
        v.chop(1);
    return v;
}
} // namespace

bool sameDatabaseName(const QString& a, const QString& b) {
    return withoutTrailingBlanks(a).compare(withoutTrailingBlanks(b), Qt::CaseInsensitive) == 0;
}

bool isSystemDatabase(const QString& name) {
    static const char16_t* const kNames[] = {u"UFSystem",           u"UFTSystem",
                                             u"distribution",       u"ReportServer",
                                             u"ReportServerTempDB", u"SSISDB"};
    for (const char16_t* system : kNames) {
        if (sameDatabaseName(name, QString::fromUtf16(system)))
            return true;
    }
    return false;
}

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
