#include "core/db/ServerVersion.h"

#include "support/FakeDatabase.h"

#include <gtest/gtest.h>

namespace quenlor {
namespace {

using test::FakeServer;
using test::table;

QString versionName(const char* version) {
    QString v = QString::fromLatin1(version);
    return GetSqlVersionName(v);
}

TEST(SqlVersionName, ServicePackBoundariesOfSqlServer2000) {
    EXPECT_EQ(versionName("8.00.193"), QStringLiteral("SQL Server 2000 "));
    EXPECT_EQ(versionName("8.00.194"), QStringLiteral("SQL Server 2000 "));
    EXPECT_EQ(versionName("8.00.383"), QStringLiteral("SQL Server 2000 "));
    EXPECT_EQ(versionName("8.00.384"), QStringLiteral("SQL Server 2000 SP1"));
    EXPECT_EQ(versionName("8.00.533"), QStringLiteral("SQL Server 2000 SP1"));
    EXPECT_EQ(versionName("8.00.534"), QStringLiteral("SQL Server 2000 SP2"));
    EXPECT_EQ(versionName("8.00.759"), QStringLiteral("SQL Server 2000 SP2"));
    EXPECT_EQ(versionName("8.00.760"), QStringLiteral("SQL Server 2000 SP3"));
    EXPECT_EQ(versionName("8.00.2038"), QStringLiteral("SQL Server 2000 SP3"));
    EXPECT_EQ(versionName("8.00.2039"), QStringLiteral("SQL Server 2000 SP4"));
    EXPECT_EQ(versionName("8.00.2282"), QStringLiteral("SQL Server 2000 SP4"));
}

TEST(SqlVersionName, ServicePackBoundariesOf2005And2008) {
    EXPECT_EQ(versionName("9.00.1398"), QStringLiteral("SQL Server 2005 "));
    EXPECT_EQ(versionName("9.00.1399.06"), QStringLiteral("SQL Server 2005 "));
    EXPECT_EQ(versionName("9.00.2046"), QStringLiteral("SQL Server 2005 "));
    EXPECT_EQ(versionName("9.00.2047"), QStringLiteral("SQL Server 2005 SP1"));
    EXPECT_EQ(versionName("9.00.3041"), QStringLiteral("SQL Server 2005 SP1"));
    EXPECT_EQ(versionName("9.00.3042"), QStringLiteral("SQL Server 2005 SP2"));
    EXPECT_EQ(versionName("9.00.4034"), QStringLiteral("SQL Server 2005 SP2"));
    EXPECT_EQ(versionName("9.00.4035"), QStringLiteral("SQL Server 2005 SP3"));
    EXPECT_EQ(versionName("10.0.1600.22"), QStringLiteral("SQL Server 2008 "));
    EXPECT_EQ(versionName("10.0.2530"), QStringLiteral("SQL Server 2008 "));
    EXPECT_EQ(versionName("10.0.2531.0"), QStringLiteral("SQL Server 2008 SP1"));
    EXPECT_EQ(versionName("10.00.6000.29"), QStringLiteral("SQL Server 2008 SP1"))
        << "the service packs of 2008 R2 are not those of 2008";
    // 2008 R2 shares major 10; its minor version tells it apart.
    EXPECT_EQ(versionName("10.50.1600.1"), QStringLiteral("SQL Server 2008 R2 "));
    EXPECT_EQ(versionName("10.50.2499"), QStringLiteral("SQL Server 2008 R2 "));
    EXPECT_EQ(versionName("10.50.2500.0"), QStringLiteral("SQL Server 2008 R2 SP1"));
    EXPECT_EQ(versionName("10.50.3999"), QStringLiteral("SQL Server 2008 R2 SP1"));
    EXPECT_EQ(versionName("10.50.4000.0"), QStringLiteral("SQL Server 2008 R2 SP2"));
    EXPECT_EQ(versionName("10.50.5999"), QStringLiteral("SQL Server 2008 R2 SP2"));
    EXPECT_EQ(versionName("10.50.6000.34"), QStringLiteral("SQL Server 2008 R2 SP3"));
    EXPECT_EQ(versionName("10.50.6560.0"), QStringLiteral("SQL Server 2008 R2 SP3"));
}

TEST(SqlVersionName, FourthComponentIsAFractionRoundedHalfToEven) {
    // 2038.5 rounds to the even 2038 (SP3); 2038.51 rounds up into SP4.
    EXPECT_EQ(versionName("8.00.2038.5"), QStringLiteral("SQL Server 2000 SP3"));
    EXPECT_EQ(versionName("8.00.2038.51"), QStringLiteral("SQL Server 2000 SP4"));
    EXPECT_EQ(versionName("8.00.2039.5"), QStringLiteral("SQL Server 2000 SP4"));
}

TEST(SqlVersionName, UnknownMajorGivesTheVersionTextWithAFinalDot) {
    QString v = QStringLiteral("11.0.2100.60");
    EXPECT_EQ(GetSqlVersionName(v), QStringLiteral("11.0.2100.60."));
    EXPECT_EQ(v, QStringLiteral("11.0.2100.60.")) << "the caller's text gets the dot too";

    QString already = QStringLiteral("8.00.2039.");
    EXPECT_EQ(GetSqlVersionName(already), QStringLiteral("SQL Server 2000 SP4"));
    EXPECT_EQ(already, QStringLiteral("8.00.2039.")) << "no second dot";

    QString empty;
    EXPECT_EQ(GetSqlVersionName(empty), QStringLiteral("."));
}

TEST(SqlVersionName, RtmBuildsOfLaterServersAreNotTakenForSql2000) {
    // These raw texts contain "2000"; only the major version may decide the server family.
    QString v2014 = QStringLiteral("12.0.2000.8");
    EXPECT_EQ(GetSqlVersionName(v2014), QStringLiteral("12.0.2000.8."));
    EXPECT_EQ(majorVersionOf(v2014), 12);
    QString v2019 = QStringLiteral("15.0.2000.5");
    EXPECT_EQ(GetSqlVersionName(v2019), QStringLiteral("15.0.2000.5."));
    EXPECT_EQ(majorVersionOf(v2019), 15);
    EXPECT_EQ(majorVersionOf(QStringLiteral("8.00.2039")), 8);
    EXPECT_EQ(majorVersionOf(QString()), 0);
}

TEST(SqlVersionName, BuildsBeyondSixteenBitsStillName) {
    // A build number past 32767 is only a number; it must not make the version unreadable.
    EXPECT_EQ(versionName("9.00.40000"), QStringLiteral("SQL Server 2005 SP3"));
}

TEST(EditionName, KnownEditionsAreTranslatedExactly) {
    EXPECT_EQ(GetEditionName(QStringLiteral("Desktop Engine")), QStringLiteral("MSDE"));
    EXPECT_EQ(GetEditionName(QStringLiteral("Developer Edition")), QStringLiteral("开发版"));
    EXPECT_EQ(GetEditionName(QStringLiteral("Enterprise Edition")), QStringLiteral("企业版"));
    EXPECT_EQ(GetEditionName(QStringLiteral("Enterprise Evaluation Edition")),
              QStringLiteral("企业评估版"));
    EXPECT_EQ(GetEditionName(QStringLiteral("Personal Edition")), QStringLiteral("个人版"));
    EXPECT_EQ(GetEditionName(QStringLiteral("Standard Edition")), QStringLiteral("标准版"));
    EXPECT_EQ(GetEditionName(QStringLiteral("  Standard Edition ")), QStringLiteral("标准版"));
}

TEST(EditionName, OtherEditionsComeBackUnchanged) {
    EXPECT_EQ(GetEditionName(QStringLiteral("Express Edition")), QStringLiteral("Express Edition"));
    EXPECT_EQ(GetEditionName(QStringLiteral("Enterprise Edition (64-bit)")),
              QStringLiteral("Enterprise Edition (64-bit)"));
    EXPECT_EQ(GetEditionName(QStringLiteral("standard edition")),
              QStringLiteral("standard edition"))
        << "the comparison is case-sensitive";
    EXPECT_EQ(GetEditionName(QStringLiteral(" Express ")), QStringLiteral(" Express "))
        << "untrimmed when unknown";
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
    int major = -1;

    serverReports("8.00.2039", "Enterprise Edition");
    const Read<QString> read = GetServerVersionText(&conn, &major);
    EXPECT_EQ(read.value, QStringLiteral("SQL Server 2000 SP4 企业版"));
    EXPECT_TRUE(read.outcome.ok());
    EXPECT_EQ(major, 8);
    EXPECT_EQ(server.log, QStringList{QStringLiteral("master: ") + kVersionQuery});

    serverReports("9.00.1399.06", "Standard Edition");
    EXPECT_EQ(GetServerVersionText(&conn, &major).value, QStringLiteral("SQL Server 2005  标准版"));
    EXPECT_EQ(major, 9);

    serverReports("11.0.2100.60", "Express Edition");
    EXPECT_EQ(GetServerVersionText(&conn, &major).value,
              QStringLiteral("11.0.2100.60. Express Edition"));
    EXPECT_EQ(major, 11);

    serverReports("12.0.2000.8", "Standard Edition");
    EXPECT_EQ(GetServerVersionText(&conn, &major).value, QStringLiteral("12.0.2000.8. 标准版"));
    EXPECT_EQ(major, 12) << "the text contains 2000, the server does not belong to that family";
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
