// Start-up and the listings against each simulated server: what the program detects and what the
// operator is shown before anything is ticked.

#include "core/login/ManualLogin.h"
#include "core/startup/Startup.h"
#include "e2e/ProgramOnServer.h"

#include <ostream>

namespace quenlor {
namespace {

using test::kAll;
using test::kClassic;
using test::kDatabases;
using test::kTplus;

struct Detection {
    const char* scenario;
    const char* versionText;
    int major;
    const char* productType;
    const char* productSubType;
    const char* systemDb;
    const char* products;    // the product entries, "," between them
    const char* lookupTable; // where start-up looks for the catalogue databases
};

void PrintTo(const Detection& d, std::ostream* os) {
    *os << d.scenario;
}

class StartupE2E : public test::ProgramOnServer, public ::testing::WithParamInterface<Detection> {};

TEST_P(StartupE2E, DetectsVersionProductAndCatalogueAndOpensItsConnections) {
    const Detection d = GetParam();
    start(QString::fromUtf8(d.scenario));

    EXPECT_EQ(st().ServerVersionText, QString::fromUtf8(d.versionText));
    EXPECT_EQ(st().ServerMajorVersion, d.major);
    EXPECT_EQ(productName(st().ProductType), QString::fromUtf8(d.productType));
    EXPECT_EQ(st().ProductSubType == UfCatalogue::NewerU8 ? QStringLiteral("U8N") : QString(),
              QString::fromUtf8(d.productSubType));
    EXPECT_EQ(st().SystemDbName, QString::fromUtf8(d.systemDb));
    EXPECT_TRUE(st().ErrorText.isEmpty()) << st().ErrorText.toStdString();
    EXPECT_TRUE(system->messageBoxes.isEmpty());
    EXPECT_EQ(system->endCalls, 0);

    // The login dialog's test connection, then Tempdb, master and the catalogue database.
    QStringList databases;
    for (const sim::Session& s : sim().tds().sessions()) {
        EXPECT_TRUE(s.loggedIn);
        databases << s.database;
    }
    EXPECT_EQ(databases,
              (QStringList{"master", "tempdb", "master", QString::fromUtf8(d.systemDb)}));
    ASSERT_NE(st().MasterConn, nullptr);
    ASSERT_NE(st().TempdbConn, nullptr);
    ASSERT_NE(st().SystemConn, nullptr);

    // The catalogue databases were looked for where this server generation keeps its list.
    const QString table = QString::fromUtf8(d.lookupTable);
    const QString other =
        table == QLatin1String("sysdatabases") ? QStringLiteral("sys.databases") : "sysdatabases";
    const QStringList sent = batches();
    for (const char* name : {"ufsystem", "uftsystem"}) {
        const QString where = QStringLiteral(" where 1=1 and name='%1'").arg(QLatin1String(name));
        EXPECT_TRUE(sent.contains("select name from " + table + where)) << name;
        EXPECT_FALSE(sent.contains("select name from " + other + where)) << name;
    }

    QStringList offered;
    for (const ProductFamily p : listing.productEntries())
        offered << productEntry(p);
    EXPECT_EQ(offered, QString::fromUtf8(d.products).split(u','));
}

INSTANTIATE_TEST_SUITE_P(
    Scenarios, StartupE2E,
    ::testing::Values(Detection{"realistic", "SQL Server 2008 R2 SP3 Standard Edition (64-bit)", 10,
                                "T", "", "UFSystem", "T3|T6|U8,SQL", "sys.databases"},
                      Detection{"u8new", "13.0.5026.0. Enterprise Edition (64-bit)", 13, "T", "U8N",
                                "UFSystem", "T3|T6|U8,SQL", "sys.databases"},
                      Detection{"tplus", "12.0.6024.0. Express Edition (64-bit)", 12, "T+", "",
                                "UFTSystem", "T+,SQL", "sys.databases"},
                      Detection{"both", "11.0.7001.0. Standard Edition (64-bit)", 11, "T+", "",
                                "UFTSystem", "T3|T6|U8,T+,SQL", "sys.databases"},
                      Detection{"sql2000", "SQL Server 2000 SP4 企业版", 8, "T", "", "UFSystem",
                                "T3|T6|U8,SQL", "sysdatabases"}),
    [](const ::testing::TestParamInfo<Detection>& info) {
        return std::string(info.param.scenario);
    });

class ListingE2E : public test::ProgramOnServer {
protected:
    // The path a listing shows for a database: its data file as the server registered it.
    QString pathOf(const QString& database) const { return filesOf(database).value(0); }
};

TEST_F(ListingE2E, ClassicServerShowsEveryTroubleWhereTheOperatorLooks) {
    start("realistic");

    EXPECT_EQ(accountEntries(kClassic),
              (QStringList{kAll, "[001]北京华源商贸有限公司", "[002]上海启明精密机械有限公司",
                           "[003]广州粤兴食品有限公司", "[005]杭州西湖茶业有限公司",
                           "[008]成都蜀锦电子科技有限公司"}));

    show(kClassic);
    EXPECT_EQ(shownRows(), (QList<QStringList>{{"001", "北京华源商贸有限公司", "正常"},
                                               {"002", "上海启明精密机械有限公司", "正常"},
                                               {"003", "广州粤兴食品有限公司", "正常"},
                                               {"005", "杭州西湖茶业有限公司", "正常"},
                                               {"008", "成都蜀锦电子科技有限公司", "正常"},
                                               {"009", "", "系统管理控制之外"}}));

    // The 2024 year is registered but its database is gone.
    show(kClassic, "[005]杭州西湖茶业有限公司");
    const QString xihu = "杭州西湖茶业有限公司";
    EXPECT_EQ(shownRows(),
              (QList<QStringList>{{"005", xihu, "2022", "正常", pathOf("UFDATA_005_2022")},
                                  {"005", xihu, "2023", "正常", pathOf("UFDATA_005_2023")},
                                  {"005", xihu, "2024", "物理数据库丢失", ""}}));
    EXPECT_EQ(pathOf("UFDATA_005_2022"), dataPath("U8SOFT/ZT005/2022/UFDATA.MDF"));

    // 2019 was deleted earlier: its periods are only marked, and it is not offered again.
    show(kClassic, "[002]上海启明精密机械有限公司");
    EXPECT_EQ(shownColumn(2), (QStringList{"2020", "2021"}));

    // The plain listing: every database but the system ones, with the states of their flags.
    show(kDatabases);
    QStringList expected;
    for (const char* name : {"HRDB",
                             "OA_Archive",
                             "ReportServer",
                             "ReportServerTempDB",
                             "UFDATA_001_2021",
                             "UFDATA_001_2022",
                             "UFDATA_001_2023",
                             "UFDATA_001_2024",
                             "UFDATA_002_2020",
                             "UFDATA_002_2021",
                             "UFDATA_003_2022",
                             "UFDATA_003_2023",
                             "UFDATA_005_2022",
                             "UFDATA_005_2023",
                             "UFDATA_008_2023",
                             "UFDATA_008_2024",
                             "UFDATA_009_2021",
                             "UFMeta_001",
                             "UFMeta_002",
                             "UFMeta_008",
                             "UFSystem",
                             "测试库"})
        expected << QString::fromUtf8(name);
    EXPECT_EQ(shownColumn(0), expected);
    QMap<QString, QString> states;
    for (const QStringList& row : shownRows()) {
        EXPECT_EQ(row.value(2), pathOf(row.value(0))) << row.value(0).toStdString();
        if (row.value(1) != QStringLiteral("正常"))
            states.insert(row.value(0), row.value(1));
    }
    EXPECT_EQ(states, (QMap<QString, QString>{{"OA_Archive", "脱机"},
                                              {"UFDATA_003_2022", "单用户"},
                                              {"UFDATA_005_2022", "只读"},
                                              {"UFDATA_008_2023", "可疑"}}));
    EXPECT_TRUE(messages->shown.isEmpty()) << messages->shown.value(0).second.toStdString();
}

TEST_F(ListingE2E, NewerCatalogueListsEachDatabaseAsAYearRange) {
    start("u8new");

    show(kClassic);
    EXPECT_EQ(shownRows(), (QList<QStringList>{{"001", "苏州恒信纺织有限公司", "正常"},
                                               {"002", "南京金陵建材有限公司", "正常"},
                                               {"003", "武汉长江医药有限公司", "正常"},
                                               {"006", "", "系统管理控制之外"}}));

    // An open range ends with the account set's last period year.
    show(kClassic, "[001]苏州恒信纺织有限公司");
    const QString hengxin = "苏州恒信纺织有限公司";
    EXPECT_EQ(shownRows(), (QList<QStringList>{
                               {"001", hengxin, "2016-2018", "正常", pathOf("UFDATA_001_2016")},
                               {"001", hengxin, "2019-2024", "正常", pathOf("UFDATA_001_2019")}}));

    show(kClassic, "[003]武汉长江医药有限公司");
    const QString changjiang = "武汉长江医药有限公司";
    EXPECT_EQ(
        shownRows(),
        (QList<QStringList>{{"003", changjiang, "2018-2020", "物理数据库丢失", ""},
                            {"003", changjiang, "2021-2024", "正常", pathOf("UFDATA_003_2021")}}));
    EXPECT_TRUE(messages->shown.isEmpty()) << messages->shown.value(0).second.toStdString();
}

TEST_F(ListingE2E, TplusListingShowsAccountsByNumberWithAndWithoutTheirDatabase) {
    start("tplus");
    show(kTplus);
    EXPECT_EQ(shownRows(), (QList<QStringList>{{"UFTData604218_000001", "", "", "",
                                                "系统管理控制之外", pathOf("UFTData604218_000001")},
                                               {"UFTData517372_000001", "1", "中原汽配", "2022",
                                                "正常", pathOf("UFTData517372_000001")},
                                               {"UFTData517372_000002", "2", "秦川餐饮", "2023",
                                                "正常", pathOf("UFTData517372_000002")},
                                               {"", "3", "湘江印务", "2021", "物理数据库丢失", ""},
                                               {"UFTData517372_000004", "4", "海岸水产", "2023",
                                                "正常", pathOf("UFTData517372_000004")}}));
    EXPECT_TRUE(messages->shown.isEmpty()) << messages->shown.value(0).second.toStdString();
}

TEST_F(ListingE2E, LoginTheServerRefusesEndsTheProgramWithTheServersText) {
    serve("realistic");
    const QString address = sim().address();
    int attempts = 0;
    windows->loginScript = [&](SqlLoginDialog& d) {
        // One try with a wrong password, then the operator closes the dialog.
        ++attempts;
        d.TestConn =
            openTestConnection(address, QStringLiteral("master"), "sa", "Quenlor#2025").value;
        d.Confirmed = d.TestConn != nullptr;
    };

    Main();

    EXPECT_EQ(attempts, 1);
    EXPECT_EQ(windows->mainWindowShown, 0);
    EXPECT_EQ(st().lastError.number, 18456);
    EXPECT_EQ(system->messageBoxes, QStringList{"Quenlor|" + st().lastError.description});
    EXPECT_TRUE(st().lastError.description.contains(QStringLiteral("用户 'sa' 登录失败。")))
        << st().lastError.description.toStdString();
    EXPECT_EQ(system->endCalls, 1);
    EXPECT_EQ(st().MasterConn, nullptr);
    const QList<sim::Session> sessions = sim().tds().sessions();
    ASSERT_EQ(sessions.size(), 1);
    EXPECT_FALSE(sessions[0].loggedIn);
}

} // namespace
} // namespace quenlor
