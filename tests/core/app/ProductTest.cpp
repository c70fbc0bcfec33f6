#include "core/app/Product.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace quenlor {
namespace {

// The caption's name and the product list's entry both read back as the product they name, and
// no two products share a text.
TEST(ProductNames, ReadBackAsTheProductTheyName) {
    QStringList seen;
    for (const ProductFamily p :
         {ProductFamily::T3, ProductFamily::T6, ProductFamily::U8, ProductFamily::UfSystem,
          ProductFamily::Tplus, ProductFamily::ServerDatabases}) {
        EXPECT_EQ(parseProduct(productName(p)), p) << productName(p).toStdString();
        EXPECT_EQ(parseProduct(productEntry(p)), p) << productEntry(p).toStdString();
        EXPECT_FALSE(seen.contains(productName(p))) << productName(p).toStdString();
        seen << productName(p);
    }
    EXPECT_EQ(parseProduct(QStringLiteral("T3|T6")), ProductFamily::None);
    EXPECT_EQ(parseProduct(QString()), ProductFamily::None);
}

} // namespace
} // namespace quenlor
