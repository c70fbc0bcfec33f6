// The simulator's T-SQL rewriting as pure functions: the server's LIKE and its comparison of texts
// in the corners the program relies on, and the full join turned round so the database list is
// probed by its key.

#include "sim/SqlTranslator.h"
#include "support/QtPrinters.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <tuple>

using namespace Qt::StringLiterals;
using namespace quenlor::sim::sql;

namespace {

struct Like {
    const char* name;
    const char16_t* value;
    const char16_t* pattern;
    char16_t escape; // 0 for none
    bool matches;
};

const Like kLike[] = {
    {"DigitClassRefusesALetter", u"UFDATA_0A1_2024", u"ufdata_[0-9][0-9][0-9]_[12]%", 0, false},
    {"RangeRefusesADigitOutsideIt", u"UFDATA_001_3024", u"ufdata_[0-9][0-9][0-9]_[12]%", 0, false},
    {"UnderscoreMatchesAnyCharacter", u"UFDATAX001X2024", u"ufdata_001_2024", 0, true},
    {"BracketedUnderscoreIsLiteral", u"UFDATAX001X2024", u"ufdata[_]001[_]%", 0, false},
    {"BracketedPercentIsLiteral", u"a1b", u"a[%]b", 0, false},
    {"BracketedPercentMatchesItself", u"a%b", u"a[%]b", 0, true},
    {"BracketedBracketMatchesItself", u"a[b", u"a[[]b", 0, true},
    {"UnclosedBracketIsLiteral", u"a[b", u"a[b", 0, true},
    {"NegatedClass", u"axc", u"a[^b]c", 0, true},
    {"NegatedClassIgnoresCase", u"aBc", u"a[^b]c", 0, false},
    {"RangesIgnoreCase", u"q", u"[A-Z]", 0, true},
    {"DashEndingAClassIsLiteral", u"-", u"[a-]", 0, true},
    {"WholeValueMustMatch", u"ab", u"a", 0, false},
    {"WholePatternMustMatch", u"a", u"ab", 0, false},
    {"PercentMatchesNothing", u"", u"%", 0, true},
    {"UnderscoreNeedsACharacter", u"", u"_", 0, false},
    {"ChineseWithPercent", u"第001号演示账套", u"第%号%账套", 0, true},
    {"ChineseWithClassesAndUnderscores", u"第001号演示账套", u"第[0-9][0-9][0-9]号__账套", 0, true},
    {"ChineseInAClass", u"测试库", u"[测试]试_", 0, true},
    {"ChineseInANegatedClass", u"测试库", u"[^测]%", 0, false},
    {"PercentBacktracks", u"abcabd", u"%ab_", 0, true},
    {"PercentBacktracksAndFails", u"aXbXd", u"a%b%c", 0, false},
    {"ValuesTrailingBlanksIgnored", u"ufdata_001_2024   ", u"UFDATA_001_2024", 0, true},
    {"PatternsTrailingBlankCounts", u"ufdata_001_2024", u"UFDATA_001_2024 ", 0, false},
    {"EscapedPercentIsNoWildcard", u"1000", u"100!%", u'!', false},
    {"EscapedUnderscoreIsNoWildcard", u"axb", u"a!_b", u'!', false},
    {"EscapedBracket", u"x[1]", u"%![1]", u'!', true},
    {"EscapedUnderscoreIgnoresCaseAround", u"A_B_C", u"%!_c", u'!', true},
};

TEST(SqlLike, MatchesAsTheServerDoes) {
    for (const Like& row : kLike) {
        SCOPED_TRACE(row.name);
        const QString value = QString::fromUtf16(row.value);
        const QString pattern = QString::fromUtf16(row.pattern);
        const QByteArray v = value.toUtf8(), p = pattern.toUtf8();
        EXPECT_EQ(likeMatch(value, pattern, QChar(row.escape)), row.matches);
        // Without ESCAPE the engine matches on its bytes.
        if (row.escape == 0) {
            EXPECT_EQ(likeMatchUtf8(v.data(), int(v.size()), p.data(), int(p.size())), row.matches);
        }
    }
}

TEST(SqlCompare, CaseAndTrailingBlanksDoNotCountAndOrderIsConsistent) {
    // name, a, b, and the order of a against b: -1, 0 or 1
    const std::tuple<const char*, const char16_t*, const char16_t*, int> rows[] = {
        {"TrailingBlanksOfChinese", u"测试库", u"测试库  ", 0},
        {"BlanksAloneAreEmpty", u"", u"   ", 0},
        {"CaseIgnoredBesideChinese", u"账套_Test", u"账套_TEST", 0},
        {"OrderIgnoresCaseOfTheFirstLetter", u"Admin", u"b", -1},
        {"PrefixFirst", u"UFDATA_001", u"ufdata_001_2024", -1},
        {"ChinesePrefixFirst", u"账套", u"账套号", -1},
        {"LatinBeforeChinese", u"UFDATA", u"测试库", -1},
        {"InnerBlankIsSignificant", u"a b", u"ab", -1},
        {"LeadingBlankIsSignificant", u" ab", u"ab", -1},
    };
    const auto compare = [](const char16_t* a, const char16_t* b) {
        const QByteArray x = QString::fromUtf16(a).toUtf8();
        const QByteArray y = QString::fromUtf16(b).toUtf8();
        const int c = compareText(x.constData(), int(x.size()), y.constData(), int(y.size()));
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    };
    for (const auto& [name, a, b, order] : rows) {
        SCOPED_TRACE(name);
        EXPECT_EQ(compare(a, b), order);
        EXPECT_EQ(compare(b, a), -order);
    }
}

TEST(SqlTranslation, FullJoinProbesTheSecondTableFirst) {
    const TableResolver resolve = [](const QString& database, const QString&,
                                     const QString& object) {
        return TableTarget{database, object};
    };
    EXPECT_EQ(translate(u"select 1 from master..sysdatabases as a full outer join "
                        "UFSystem..UA_Period b on a.name=b.x"_s,
                        resolve)
                  .sql,
              u"select 1 from \"UFSystem\".\"UA_Period\" b full outer join "
              "\"master\".\"sysdatabases\" as a on \"a\".\"name\"=\"b\".\"x\""_s);
}

} // namespace
