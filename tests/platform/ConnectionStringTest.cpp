#include "platform/odbc/OdbcConnector.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <utility>

using namespace Qt::StringLiterals;

using namespace quenlor;

// How each value goes into its item. Microsoft's drivers end a braced value at a single "}" and
// read "}}" as "}"; FreeTDS ends a braced value at its first "}" and a bare one at ";", so a value
// no form carries intact is refused (nullptr) rather than let it start items of its own.
TEST(ConnectionValue, StaysInsideItsItemOrIsRefused) {
    const struct {
        const char* name;
        QString value;
        const char* microsoft;
        const char* freeTds;
    } rows[] = {
        {"SemicolonStaysInsideBraces", u"a;b"_s, "{a;b}", "{a;b}"},
        {"OpenBraceIsPlainText", u"{a"_s, "{{a}", "{{a}"},
        {"CloseBraceIsDoubledOrGoesBare", u"中文}口令"_s, "{中文}}口令}", "中文}口令"},
        {"CloseBraceThenKeyword", u"p};SERVER=elsewhere"_s, "{p}};SERVER=elsewhere}", nullptr},
        {"SemicolonThenBracedDriver", u"x;DRIVER={evil.so}"_s, "{x;DRIVER={evil.so}}}", nullptr},
        {"WholeValueInBraces", u"{a}"_s, "{{a}}}", nullptr},
        {"BlankBeforeACloseBrace", u" a}"_s, "{ a}}}", nullptr},
        {"NulNoDriverTakes", u"ab"_s + QChar(u'\0'), nullptr, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        for (const auto& [rule, expected] : {std::pair(BraceRule::DoubledCloseBrace, row.microsoft),
                                             std::pair(BraceRule::NoEscape, row.freeTds)}) {
            QString out = u"untouched"_s;
            EXPECT_EQ(protectConnectionValue(row.value, rule, out), expected != nullptr);
            EXPECT_EQ(out, expected ? QString::fromUtf8(expected) : u"untouched"_s);
        }
    }
}

TEST(ConnectionString, ItemsInOrderEachValueProtectedAndTheExtraLast) {
    const ConnectionParams params{u"SRV\\U8"_s, u"账套;x"_s, u"u}"_s, u"p};SERVER=elsewhere"_s};
    EXPECT_EQ(OdbcConnector({u"ODBC Driver 18 for SQL Server"_s, BraceRule::DoubledCloseBrace, 15,
                             300, u"TrustServerCertificate=yes;"_s})
                  .connectionString(params),
              u"DRIVER={ODBC Driver 18 for SQL Server};SERVER={SRV\\U8};"
              "DATABASE={账套;x};UID={u}}};PWD={p}};SERVER=elsewhere};"
              "TrustServerCertificate=yes;"_s);
    // FreeTDS can carry no such password: the refusal names the item but never the value.
    try {
        (void)OdbcConnector({u"libtdsodbc.so"_s, BraceRule::NoEscape, 15, 300, {}})
            .connectionString(params);
        ADD_FAILURE() << "accepted";
    } catch (const DbError& e) {
        EXPECT_TRUE(e.description.contains(u"口令"_s)) << e.description.toStdString();
        EXPECT_FALSE(e.description.contains(u"elsewhere"_s));
    }
}

TEST(DriverChoice, NewestOdbcDriverThenNativeClientThenThePlainDriver) {
    const QString odbc18 = u"ODBC Driver 18 for SQL Server"_s;
    const QString odbc9 = u"ODBC Driver 9 for SQL Server"_s;
    const QString native11 = u"SQL Server Native Client 11.0"_s;
    const QString plain = u"SQL Server"_s;
    const struct {
        const char* name;
        QStringList installed;
        QString chosen;
    } rows[] = {{"NewestOdbcDriverByNumber", {plain, native11, odbc18, odbc9}, odbc18},
                {"NewestNativeClientAndNoLookalike",
                 {odbc18 + u" Extra"_s, u"FreeTDS"_s, native11, u"SQL Server Native Client 10.0"_s},
                 native11},
                {"NothingRegisteredTakesTheDriverEveryWindowsShips", {}, plain}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(chooseSqlServerDriver(row.installed), row.chosen);
    }
}
