#include "core/app/Product.h"

#include <array>

namespace quenlor {

namespace {

struct Names {
    ProductFamily product;
    const char* name;
    const char* entry;
};

constexpr std::array kNames{
    Names{ProductFamily::T3, "T3", "T3"},    Names{ProductFamily::T6, "T6", "T6"},
    Names{ProductFamily::U8, "U8", "U8"},    Names{ProductFamily::UfSystem, "T", "T3|T6|U8"},
    Names{ProductFamily::Tplus, "T+", "T+"}, Names{ProductFamily::ServerDatabases, "SQL", "SQL"},
};

const Names* namesOf(ProductFamily product) {
    for (const Names& n : kNames) {
        if (n.product == product)
            return &n;
    }
    return nullptr;
}

} // namespace

bool usesUfSystem(ProductFamily product) {
    return product == ProductFamily::T3 || product == ProductFamily::T6 ||
           product == ProductFamily::U8 || product == ProductFamily::UfSystem;
}

QString productName(ProductFamily product) {
    const Names* n = namesOf(product);
    return n ? QString::fromLatin1(n->name) : QString();
}

QString productEntry(ProductFamily product) {
    const Names* n = namesOf(product);
    return n ? QString::fromLatin1(n->entry) : QString();
}

ProductFamily parseProduct(const QString& text) {
    for (const Names& n : kNames) {
        if (text == QLatin1String(n.name) || text == QLatin1String(n.entry))
            return n.product;
    }
    return ProductFamily::None;
}

} // namespace quenlor
