#include "core/db/ServerVersion.h"

#include "support/FakeDatabase.h"

#include <gtest/gtest.h>

namespace quenlor {
namespace {

using test::table;

// Each service pack boundary with the builds on either side of it.
TEST(SqlVersionName, NamesTheServerAndItsServicePackOnEachSideOfEveryBoundary) {
    const std::pair<const char*, const char*> cases[] = {
        {"8.00.383", "SQL Server 2000 "},
        {"8.00.384", "SQL Server 2000 SP1"},
        {"8.00.760", "SQL Server 2000 SP3"},
        {"8.00.2038", "SQL Server 2000 SP3"},
        {"8.00.2039", "SQL Server 2000 SP4"},
        {"9.00.1399.06", "SQL Server 2005 "},
        {"9.00.2046", "SQL Server 2005 "},
        {"9.00.2047", "SQL Server 2005 SP1"},
        {"9.00.3042", "SQL Server 2005 SP2"},
        {"9.00.4035", "SQL Server 2005 SP3"},
        {"10.0.2530", "SQL Server 2008 "},
        {"10.0.2531.0", "SQL Server 2008 SP1"},
        // 2008 R2 has service packs of its own; its minor version tells it apart.
        {"10.00.6000.29", "SQL Server 2008 SP1"},
        {"10.50.1600.1", "SQL Server 2008 R2 "},
        {"10.50.2499", "SQL Server 2008 R2 "},
        {"10.50.2500.0", "SQL Server 2008 R2 SP1"},
        {"10.50.6000.34", "SQL Server 2008 R2 SP3"},
        // The fourth component is a fraction, rounded half to even; a build past 32767 is only
        // a number.
        {"8.00.2038.5", "SQL Server 2000 SP3"},
        {"8.00.2038.51", "SQL Server 2000 SP4"},
        {"9.00.40000", "SQL Server 2005 SP3"},
        {"8.00.2039.", "SQL Server 2000 SP4"},
        // An unknown major gives the text with a final dot; "2000" in it decides nothing.
        {"15.0.2000.5", "15.0.2000.5."},
        {"", "."},
    };
    for (const auto& [version, name] : cases) {
        QString v = QString::fromLatin1(version);
        EXPECT_EQ(GetSqlVersionName(v), QString::fromLatin1(name)) << version;
    }
    QString unknown = QStringLiteral("11.0.2100.60");
    (void)GetSqlVersionName(unknown);
    EXPECT_EQ(unknown, QStringLiteral("11.0.2100.60.")) << "the caller's text gets the dot too";
    EXPECT_EQ(majorVersionOf(QStringLiteral("15.0.2000.5")), 15);
    EXPECT_EQ(majorVersionOf(QString()), 0);
}

TEST(ServerVersionText, JoinsVersionNameAndTranslatedEditionOrReportsTheFailure) {
    const QString query = QStringLiteral("SELECT  SERVERPROPERTY('productversion') as "
                                         "productversion,SERVERPROPERTY ('edition') as version");
    test::FakeServer server;
    test::FakeDatabase conn{server, QStringLiteral("master")};
    // Known editions are translated exactly; others come back unchanged, untrimmed.
    const std::tuple<const char*, const char*, const char*, int> cases[] = {
        {"8.00.2039", "  Standard Edition ", "SQL Server 2000 SP4 标准版", 8},
        {"9.00.1399.06", "Desktop Engine", "SQL Server 2005  MSDE", 9},
        {"12.0.2000.8", " Express ", "12.0.2000.8.  Express ", 12},
    };
    int major = -1;
    for (const auto& [version, edition, text, expectedMajor] : cases) {
        server.answer(query, table({"productversion", "version"}, {{version, edition}}));
        const Read<QString> read = GetServerVersionText(&conn, &major);
        EXPECT_EQ(read.value, QString::fromUtf8(text));
        EXPECT_EQ(major, expectedMajor);
    }
    server.fail(query, DbError{QStringLiteral("08S01"), 10054, QStringLiteral("连接已断开")});
    const Read<QString> lost = GetServerVersionText(&conn, &major);
    EXPECT_EQ(lost.value, QString());
    EXPECT_EQ(lost.outcome.text(), QStringLiteral("连接已断开"));
    EXPECT_EQ(major, 0);
}

} // namespace
} // namespace quenlor
