#include "platform/odbc/OdbcConnector.h"

#include <gtest/gtest.h>

#include <optional>

using namespace quenlor;

namespace {

// How each driver reads one item's value starting at `pos` (just after "KEY="), as observed:
// Microsoft's drivers end a braced value at a single "}" and read "}}" as "}"; FreeTDS ends a
// braced value at its first "}"; both end a bare value at ";". Returns the value read and moves
// pos past it, or nothing when the text is malformed.
std::optional<QString> readValue(const QString& text, qsizetype& pos, BraceRule rule) {
    QString value;
    if (pos < text.size() && text[pos] == u'{') {
        for (++pos; pos < text.size(); ++pos) {
            if (text[pos] != u'}') {
                value += text[pos];
            } else if (rule == BraceRule::DoubledCloseBrace && pos + 1 < text.size() &&
                       text[pos + 1] == u'}') {
                value += u'}';
                ++pos;
            } else {
                ++pos;
                return value;
            }
        }
        return std::nullopt;
    }
    while (pos < text.size() && text[pos] != u';')
        value += text[pos++];
    return value;
}

// The value a driver would see in "PWD=<protected>;UID={next};", or nothing when the item did
// not end exactly where the protected text ends (the rest would have become new items).
std::optional<QString> seenByDriver(const QString& protectedValue, BraceRule rule) {
    const QString item = QStringLiteral("PWD=") + protectedValue + QStringLiteral(";UID={next};");
    qsizetype pos = 4;
    const std::optional<QString> value = readValue(item, pos, rule);
    if (!value || pos != 4 + protectedValue.size())
        return std::nullopt;
    return value;
}

const QStringList awkwardValues = {
    QString(),
    QStringLiteral("sa"),
    QStringLiteral("a;b"),
    QStringLiteral("a}b"),
    QStringLiteral("}}"),
    QStringLiteral("}"),
    QStringLiteral("{"),
    QStringLiteral("{a"),
    QStringLiteral("{a}"),
    QStringLiteral(" lead"),
    QStringLiteral("trail "),
    QStringLiteral("中文账套名称"),
    QStringLiteral("中文}口令"),
    QStringLiteral("x;DRIVER={evil.so}"),
    QStringLiteral("p};SERVER=elsewhere"),
    QStringLiteral("a=b"),
};

} // namespace

TEST(ConnectionValue, MicrosoftDriversReceiveEveryValueIntact) {
    for (const QString& value : awkwardValues) {
        QString out;
        ASSERT_TRUE(protectConnectionValue(value, BraceRule::DoubledCloseBrace, out))
            << value.toStdString();
        EXPECT_EQ(seenByDriver(out, BraceRule::DoubledCloseBrace), value)
            << value.toStdString() << " -> " << out.toStdString();
    }
}

TEST(ConnectionValue, MicrosoftDriversGetBracesWithCloseBracesDoubled) {
    QString out;
    ASSERT_TRUE(protectConnectionValue(QStringLiteral("p}w;d"), BraceRule::DoubledCloseBrace, out));
    EXPECT_EQ(out, QStringLiteral("{p}}w;d}"));
    ASSERT_TRUE(protectConnectionValue(QStringLiteral("}}"), BraceRule::DoubledCloseBrace, out));
    EXPECT_EQ(out, QStringLiteral("{}}}}}"));
    ASSERT_TRUE(protectConnectionValue(QString(), BraceRule::DoubledCloseBrace, out));
    EXPECT_EQ(out, QStringLiteral("{}"));
}

TEST(ConnectionValue, FreeTdsEitherReceivesAValueIntactOrItIsRefused) {
    int passed = 0;
    for (const QString& value : awkwardValues) {
        QString out;
        if (!protectConnectionValue(value, BraceRule::NoEscape, out))
            continue;
        ++passed;
        EXPECT_EQ(seenByDriver(out, BraceRule::NoEscape), value)
            << value.toStdString() << " -> " << out.toStdString();
    }
    // Most of them must still get through; refusing everything is no answer.
    EXPECT_GE(passed, awkwardValues.size() - 4);
}

TEST(ConnectionValue, FreeTdsGetsBracesUnlessTheValueHoldsACloseBrace) {
    QString out;
    ASSERT_TRUE(protectConnectionValue(QStringLiteral("a;b"), BraceRule::NoEscape, out));
    EXPECT_EQ(out, QStringLiteral("{a;b}"));
    ASSERT_TRUE(protectConnectionValue(QStringLiteral(" lead"), BraceRule::NoEscape, out));
    EXPECT_EQ(out, QStringLiteral("{ lead}"));
    ASSERT_TRUE(protectConnectionValue(QStringLiteral("{a"), BraceRule::NoEscape, out));
    EXPECT_EQ(out, QStringLiteral("{{a}"));
    ASSERT_TRUE(protectConnectionValue(QString(), BraceRule::NoEscape, out));
    EXPECT_EQ(out, QStringLiteral("{}"));
    ASSERT_TRUE(protectConnectionValue(QStringLiteral("中文"), BraceRule::NoEscape, out));
    EXPECT_EQ(out, QStringLiteral("{中文}"));

    // FreeTDS reads "}}" inside braces as the end of the value, so these go bare; it was seen to
    // log in with every one of them unchanged.
    for (const QString& bare : {QStringLiteral("a}b"), QStringLiteral("}}"), QStringLiteral("}"),
                                QStringLiteral("中文}口令"), QStringLiteral("x}{y")}) {
        ASSERT_TRUE(protectConnectionValue(bare, BraceRule::NoEscape, out)) << bare.toStdString();
        EXPECT_EQ(out, bare);
    }
}

TEST(ConnectionValue, FreeTdsRefusesWhatNoFormCanCarry) {
    for (const QString& value :
         {QStringLiteral("a};b"), QStringLiteral("p};SERVER=elsewhere"), QStringLiteral("{a}"),
          QStringLiteral(" a}"), QStringLiteral("a} "), QStringLiteral("\ta}")}) {
        QString out = QStringLiteral("untouched");
        EXPECT_FALSE(protectConnectionValue(value, BraceRule::NoEscape, out))
            << value.toStdString();
        EXPECT_EQ(out, QStringLiteral("untouched"));
    }
}

TEST(ConnectionValue, NulIsRefusedByEveryDriver) {
    const QString withNul = QStringLiteral("ab") + QChar(u'\0') + QStringLiteral("c");
    for (BraceRule rule : {BraceRule::DoubledCloseBrace, BraceRule::NoEscape}) {
        QString out = QStringLiteral("untouched");
        EXPECT_FALSE(protectConnectionValue(withNul, rule, out));
        EXPECT_EQ(out, QStringLiteral("untouched"));
    }
}

namespace {

OdbcConnector connectorFor(const QString& driver, BraceRule braces, const QString& extra) {
    OdbcConnector::Options options;
    options.driver = driver;
    options.braces = braces;
    options.extra = extra;
    return OdbcConnector(options);
}

} // namespace

TEST(ConnectionString, FreeTdsItemsInOrderWithExtraLast) {
    const OdbcConnector connector =
        connectorFor(QStringLiteral("/usr/lib/odbc/libtdsodbc.so"), BraceRule::NoEscape,
                     QStringLiteral("TDS_Version=7.4;ClientCharset=UTF-8;"));
    const ConnectionParams params{QStringLiteral("10.0.0.5,1433"),
                                  QStringLiteral("UFDATA_001_2024"), QStringLiteral("sa"),
                                  QStringLiteral("pa}ss")};
    EXPECT_EQ(connector.connectionString(params),
              QStringLiteral("DRIVER={/usr/lib/odbc/libtdsodbc.so};SERVER={10.0.0.5,1433};"
                             "DATABASE={UFDATA_001_2024};UID={sa};PWD=pa}ss;"
                             "TDS_Version=7.4;ClientCharset=UTF-8;"));
}

TEST(ConnectionString, MicrosoftDriverValuesStayInsideTheirItems) {
    const OdbcConnector connector =
        connectorFor(QStringLiteral("ODBC Driver 18 for SQL Server"), BraceRule::DoubledCloseBrace,
                     QStringLiteral("TrustServerCertificate=yes;"));
    const ConnectionParams params{QStringLiteral("SRV\\U8"), QStringLiteral("账套;x"),
                                  QStringLiteral("u}"), QStringLiteral("p};SERVER=elsewhere")};
    EXPECT_EQ(connector.connectionString(params),
              QStringLiteral("DRIVER={ODBC Driver 18 for SQL Server};SERVER={SRV\\U8};"
                             "DATABASE={账套;x};UID={u}}};PWD={p}};SERVER=elsewhere};"
                             "TrustServerCertificate=yes;"));
}

TEST(ConnectionString, RefusalNamesTheItemButNeverThePassword) {
    const OdbcConnector connector =
        connectorFor(QStringLiteral("/usr/lib/odbc/libtdsodbc.so"), BraceRule::NoEscape, QString());
    const QString bad = QStringLiteral("Secr}t;PORT=1");
    const struct {
        ConnectionParams params;
        QString item;
    } cases[] = {
        {{bad, QStringLiteral("master"), QStringLiteral("sa"), QStringLiteral("pw")},
         QStringLiteral("服务器")},
        {{QStringLiteral("srv"), bad, QStringLiteral("sa"), QStringLiteral("pw")},
         QStringLiteral("数据库")},
        {{QStringLiteral("srv"), QStringLiteral("master"), bad, QStringLiteral("pw")},
         QStringLiteral("登录名")},
        {{QStringLiteral("srv"), QStringLiteral("master"), QStringLiteral("sa"), bad},
         QStringLiteral("口令")},
    };
    for (const auto& c : cases) {
        try {
            (void)connector.connectionString(c.params);
            ADD_FAILURE() << "accepted " << c.item.toStdString();
        } catch (const DbError& e) {
            EXPECT_TRUE(e.sqlState.isEmpty());
            EXPECT_EQ(e.number, 0);
            EXPECT_TRUE(e.description.contains(c.item)) << e.description.toStdString();
            EXPECT_FALSE(e.description.contains(QStringLiteral("Secr")))
                << e.description.toStdString();
        }
    }
}

TEST(DriverChoice, NewestOdbcDriverByNumberNotByText) {
    EXPECT_EQ(chooseSqlServerDriver({QStringLiteral("SQL Server"),
                                     QStringLiteral("ODBC Driver 17 for SQL Server"),
                                     QStringLiteral("SQL Server Native Client 11.0"),
                                     QStringLiteral("ODBC Driver 18 for SQL Server"),
                                     QStringLiteral("ODBC Driver 13 for SQL Server")}),
              QStringLiteral("ODBC Driver 18 for SQL Server"));
    EXPECT_EQ(chooseSqlServerDriver({QStringLiteral("ODBC Driver 9 for SQL Server"),
                                     QStringLiteral("ODBC Driver 11 for SQL Server")}),
              QStringLiteral("ODBC Driver 11 for SQL Server"));
}

TEST(DriverChoice, NativeClientThenThePlainDriver) {
    EXPECT_EQ(chooseSqlServerDriver({QStringLiteral("SQL Server"),
                                     QStringLiteral("SQL Server Native Client 11.0"),
                                     QStringLiteral("SQL Server Native Client 10.0")}),
              QStringLiteral("SQL Server Native Client 11.0"));
    EXPECT_EQ(chooseSqlServerDriver({QStringLiteral("Microsoft Access Driver (*.mdb)"),
                                     QStringLiteral("SQL Server")}),
              QStringLiteral("SQL Server"));
    // Even when nothing is registered, the driver every Windows ships is the one to try.
    EXPECT_EQ(chooseSqlServerDriver({}), QStringLiteral("SQL Server"));
}

TEST(DriverChoice, LookalikesAreNotSqlServerDrivers) {
    EXPECT_EQ(
        chooseSqlServerDriver({QStringLiteral("ODBC Driver 18 for SQL Server Extra"),
                               QStringLiteral("Oracle ODBC Driver 19"), QStringLiteral("FreeTDS"),
                               QStringLiteral("SQL Server Native Client 11.0")}),
        QStringLiteral("SQL Server Native Client 11.0"));
}
