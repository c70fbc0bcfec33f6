#include "core/db/SqlText.h"

#include <gtest/gtest.h>

namespace quenlor {
namespace {

// Names are bracketed with "]" doubled, values have every apostrophe doubled, and LIKE patterns
// match the value literally.
TEST(SqlText, QuotingAndPatternsKeepTheValueLiteral) {
    using Quote = QString (*)(const QString&);
    const std::tuple<const char*, Quote, const char*, const char*> rows[] = {
        {"plain name", quoteIdentifier, "ufdata_001_2015", "[ufdata_001_2015]"},
        {"bracket breakout", quoteIdentifier, "[a]b]", "[[a]]b]]]"},
        {"name in Chinese", quoteIdentifier, "账套", "[账套]"},
        {"apostrophes", quoteLiteral, "O'Brien's", "O''Brien''s"},
        {"literal breakout", quoteLiteral, "'; drop database master --",
         "''; drop database master --"},
        {"plain pattern", likePattern, "001", "001"},
        {"wildcards", likePattern, "0_1%", "0[_]1[%]"},
        {"bracket in a pattern", likePattern, "[a]", "[[]a]"},
        {"apostrophe in a pattern", likePattern, "a'b", "a''b"},
    };
    for (const auto& [name, quote, value, quoted] : rows)
        EXPECT_EQ(quote(QString::fromUtf8(value)), QString::fromUtf8(quoted)) << name;
}

} // namespace
} // namespace quenlor
