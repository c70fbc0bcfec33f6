#include "core/db/SqlText.h"

#include <gtest/gtest.h>

namespace quenlor {
namespace {

TEST(SqlText, IdentifiersAreBracketedWithClosingBracketsDoubled) {
    EXPECT_EQ(quoteIdentifier(QStringLiteral("ufdata_001_2015")),
              QStringLiteral("[ufdata_001_2015]"));
    EXPECT_EQ(quoteIdentifier(QStringLiteral("a]b")), QStringLiteral("[a]]b]"));
    EXPECT_EQ(quoteIdentifier(QStringLiteral("my db-1")), QStringLiteral("[my db-1]"));
    EXPECT_EQ(quoteIdentifier(QStringLiteral("[x]")), QStringLiteral("[[x]]]"));
    EXPECT_EQ(quoteIdentifier(QStringLiteral("账套")), QStringLiteral("[账套]"));
}

TEST(SqlText, LiteralsDoubleEveryApostrophe) {
    EXPECT_EQ(quoteLiteral(QStringLiteral("001")), QStringLiteral("001"));
    EXPECT_EQ(quoteLiteral(QStringLiteral("O'Brien's")), QStringLiteral("O''Brien''s"));
    EXPECT_EQ(quoteLiteral(QStringLiteral("'; drop database master --")),
              QStringLiteral("''; drop database master --"));
}

TEST(SqlText, LikePatternsMatchTheValueLiterally) {
    EXPECT_EQ(likePattern(QStringLiteral("001")), QStringLiteral("001"));
    EXPECT_EQ(likePattern(QStringLiteral("0_1")), QStringLiteral("0[_]1"));
    EXPECT_EQ(likePattern(QStringLiteral("%")), QStringLiteral("[%]"));
    EXPECT_EQ(likePattern(QStringLiteral("[a]")), QStringLiteral("[[]a]"));
    EXPECT_EQ(likePattern(QStringLiteral("a'b")), QStringLiteral("a''b"));
    EXPECT_EQ(likePattern(QString()), QString());
}

} // namespace
} // namespace quenlor
