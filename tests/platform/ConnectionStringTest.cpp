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

} // namespace

// Every value reaches a Microsoft driver intact. FreeTDS has no escape for "}" inside braces, so
// a value reaches it intact, or, when no form can carry it, is refused.
TEST(ConnectionValue, ReachesTheDriverIntactOrIsRefused) {
    const struct {
        QString value;
        bool freeTdsRefuses;
    } cases[] = {
        {QString(), false},
        {QStringLiteral("a;b"), false},
        {QStringLiteral("a}b"), false},
        {QStringLiteral("}}"), false},
        {QStringLiteral("{"), false},
        {QStringLiteral("{a"), false},
        {QStringLiteral(" lead"), false},
        {QStringLiteral("trail "), false},
        {QStringLiteral("中文}口令"), false},
        {QStringLiteral("x}{y"), false},
        {QStringLiteral("x;DRIVER={evil.so}"), true},
        {QStringLiteral("a=b"), false},
        {QStringLiteral("{a}"), true},
        {QStringLiteral("a};b"), true},
        {QStringLiteral("p};SERVER=elsewhere"), true},
        {QStringLiteral(" a}"), true},
        {QStringLiteral("a} "), true},
        {QStringLiteral("\ta}"), true},
    };
    for (const auto& c : cases) {
        for (const BraceRule rule : {BraceRule::DoubledCloseBrace, BraceRule::NoEscape}) {
            const bool refused = rule == BraceRule::NoEscape && c.freeTdsRefuses;
            QString out = QStringLiteral("untouched");
            EXPECT_EQ(protectConnectionValue(c.value, rule, out), !refused)
                << c.value.toStdString();
            if (refused) {
                EXPECT_EQ(out, QStringLiteral("untouched"));
            } else {
                EXPECT_EQ(seenByDriver(out, rule), c.value)
                    << c.value.toStdString() << " -> " << out.toStdString();
            }
        }
    }
    const QString withNul = QStringLiteral("ab") + QChar(u'\0') + QStringLiteral("c");
    for (const BraceRule rule : {BraceRule::DoubledCloseBrace, BraceRule::NoEscape}) {
        QString out;
        EXPECT_FALSE(protectConnectionValue(withNul, rule, out)) << "no driver takes a NUL";
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

TEST(DriverChoice, NewestOdbcDriverThenNativeClientThenThePlainDriver) {
    const QString odbc18 = QStringLiteral("ODBC Driver 18 for SQL Server");
    const QString native11 = QStringLiteral("SQL Server Native Client 11.0");
    const QString plain = QStringLiteral("SQL Server");
    const struct {
        const char* why;
        QStringList installed;
        QString chosen;
    } cases[] = {
        {"newest ODBC driver",
         {plain, QStringLiteral("ODBC Driver 17 for SQL Server"), native11, odbc18,
          QStringLiteral("ODBC Driver 13 for SQL Server")},
         odbc18},
        {"by number, not by text",
         {QStringLiteral("ODBC Driver 9 for SQL Server"),
          QStringLiteral("ODBC Driver 11 for SQL Server")},
         QStringLiteral("ODBC Driver 11 for SQL Server")},
        {"newest native client",
         {plain, native11, QStringLiteral("SQL Server Native Client 10.0")},
         native11},
        {"the plain driver", {QStringLiteral("Microsoft Access Driver (*.mdb)"), plain}, plain},
        {"nothing registered: the driver every Windows ships", {}, plain},
        {"lookalikes are no SQL Server drivers",
         {odbc18 + QStringLiteral(" Extra"), QStringLiteral("Oracle ODBC Driver 19"),
          QStringLiteral("FreeTDS"), native11},
         native11},
    };
    for (const auto& c : cases)
        EXPECT_EQ(chooseSqlServerDriver(c.installed), c.chosen) << c.why;
}
