#include "core/db/ServerVersion.h"

#include "support/FakeDatabase.h"

#include <gtest/gtest.h>

namespace quenlor {
namespace {

using test::FakeServer;
using test::table;

TEST(SqlVersionName, NamesTheServerAndItsServicePackOnEachSideOfEveryBoundary) {
    const struct {
        const char* version;
        const char* name;
    } cases[] = {
        {"8.00.194", "SQL Server 2000 "},
        {"8.00.383", "SQL Server 2000 "},
        {"8.00.384", "SQL Server 2000 SP1"},
        {"8.00.533", "SQL Server 2000 SP1"},
        {"8.00.534", "SQL Server 2000 SP2"},
        {"8.00.759", "SQL Server 2000 SP2"},
        {"8.00.760", "SQL Server 2000 SP3"},
        {"8.00.2038", "SQL Server 2000 SP3"},
        {"8.00.2039", "SQL Server 2000 SP4"},
        {"9.00.1399.06", "SQL Server 2005 "},
        {"9.00.2046", "SQL Server 2005 "},
        {"9.00.2047", "SQL Server 2005 SP1"},
        {"9.00.3041", "SQL Server 2005 SP1"},
        {"9.00.3042", "SQL Server 2005 SP2"},
        {"9.00.4034", "SQL Server 2005 SP2"},
        {"9.00.4035", "SQL Server 2005 SP3"},
        {"10.0.2530", "SQL Server 2008 "},
        {"10.0.2531.0", "SQL Server 2008 SP1"},
        // The service packs of 2008 R2 are not those of 2008; its minor version tells it apart.
        {"10.00.6000.29", "SQL Server 2008 SP1"},
        {"10.50.1600.1", "SQL Server 2008 R2 "},
        {"10.50.2499", "SQL Server 2008 R2 "},
        {"10.50.2500.0", "SQL Server 2008 R2 SP1"},
        {"10.50.3999", "SQL Server 2008 R2 SP1"},
        {"10.50.4000.0", "SQL Server 2008 R2 SP2"},
        {"10.50.5999", "SQL Server 2008 R2 SP2"},
        {"10.50.6000.34", "SQL Server 2008 R2 SP3"},
        // The fourth component is a fraction, rounded half to even.
        {"8.00.2038.5", "SQL Server 2000 SP3"},
        {"8.00.2038.51", "SQL Server 2000 SP4"},
        // A build past 32767 is only a number.
        {"9.00.40000", "SQL Server 2005 SP3"},
        // An unknown major gives the text with a final dot, never a second one; the raw text
        // of these contains "2000", and only the major version may decide the family.
        {"11.0.2100.60", "11.0.2100.60."},
        {"15.0.2000.5", "15.0.2000.5."},
        {"8.00.2039.", "SQL Server 2000 SP4"},
        {"", "."},
    };
    for (const auto& c : cases) {
        QString v = QString::fromLatin1(c.version);
        EXPECT_EQ(GetSqlVersionName(v), QString::fromLatin1(c.name)) << c.version;
    }
    QString unknown = QStringLiteral("11.0.2100.60");
    (void)GetSqlVersionName(unknown);
    EXPECT_EQ(unknown, QStringLiteral("11.0.2100.60.")) << "the caller's text gets the dot too";
    EXPECT_EQ(majorVersionOf(QStringLiteral("15.0.2000.5")), 15);
    EXPECT_EQ(majorVersionOf(QStringLiteral("8.00.2039")), 8);
    EXPECT_EQ(majorVersionOf(QString()), 0);
}

TEST(EditionName, KnownEditionsAreTranslatedExactlyOthersComeBackUnchanged) {
    const struct {
        const char* edition;
        const char* shown;
    } cases[] = {
        {"Desktop Engine", "MSDE"},
        {"Developer Edition", "开发版"},
        {"Enterprise Edition", "企业版"},
        {"Enterprise Evaluation Edition", "企业评估版"},
        {"Personal Edition", "个人版"},
        {"  Standard Edition ", "标准版"},
        {"Express Edition", "Express Edition"},
        {"Enterprise Edition (64-bit)", "Enterprise Edition (64-bit)"},
        {"standard edition", "standard edition"}, // case-sensitive
        {" Express ", " Express "},               // untrimmed when unknown
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetEditionName(QString::fromUtf8(c.edition)), QString::fromUtf8(c.shown))
            << c.edition;
}

const QString kVersionQuery = QStringLiteral(
    "SELECT  SERVERPROPERTY('productversion') as productversion,SERVERPROPERTY ('edition') as "
    "version");

class ServerVersionText : public ::testing::Test {
protected:
    FakeServer server;
    test::FakeDatabase conn{server, QStringLiteral("master")};

    void serverReports(const char* version, const char* edition) {
        server.answer(kVersionQuery,
                      table({QStringLiteral("productversion"), QStringLiteral("version")},
                            {{QString::fromLatin1(version), QString::fromLatin1(edition)}}));
    }
};

TEST_F(ServerVersionText, JoinsVersionNameAndEdition) {
    const struct {
        const char* version;
        const char* edition;
        const char* text;
        int major;
    } cases[] = {
        {"8.00.2039", "Enterprise Edition", "SQL Server 2000 SP4 企业版", 8},
        {"9.00.1399.06", "Standard Edition", "SQL Server 2005  标准版", 9},
        {"12.0.2000.8", "Express Edition", "12.0.2000.8. Express Edition", 12},
    };
    for (const auto& c : cases) {
        serverReports(c.version, c.edition);
        int major = -1;
        const Read<QString> read = GetServerVersionText(&conn, &major);
        EXPECT_EQ(read.value, QString::fromUtf8(c.text));
        EXPECT_TRUE(read.outcome.ok());
        EXPECT_EQ(major, c.major);
    }
}

TEST_F(ServerVersionText, FailureLeavesTextEmptyAndReportsIt) {
    int major = -1;
    server.fail(kVersionQuery,
                DbError{QStringLiteral("08S01"), 10054, QStringLiteral("连接已断开")});
    const Read<QString> lost = GetServerVersionText(&conn, &major);
    EXPECT_EQ(lost.value, QString());
    EXPECT_EQ(lost.outcome.text(), QStringLiteral("连接已断开"));
    EXPECT_EQ(lost.outcome.number(), 10054);
    EXPECT_EQ(major, 0);

    const Read<QString> none = GetServerVersionText(nullptr, &major);
    EXPECT_EQ(none.value, QString());
    EXPECT_FALSE(none.outcome.ok());
    EXPECT_FALSE(none.outcome.text().isEmpty()) << "no connection is a failure with a text";
}

} // namespace
} // namespace quenlor
