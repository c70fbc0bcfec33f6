// Start-up against each simulated server: what the program detects, the connections it opens and
// the troubles its listings show before anything is ticked.

#include "e2e/ProgramOnServer.h"

namespace quenlor {
namespace {

struct Detection {
    const char* scenario;
    const char* versionText;
    int major;
    const char* productType;
    bool newerCatalogue;
    const char* systemDb;
    const char* products; // the product entries offered, "," between them
    // A listing: how many rows it shows, "|", and those not 正常, each as "first column:state".
    ProductFamily listed;
    const char* account;
    int stateColumn;
    const char* troubles;
    friend void PrintTo(const Detection& d, std::ostream* os) { *os << d.scenario; }
};

const Detection kDetections[] = {
    {"realistic", "SQL Server 2008 R2 SP3 Standard Edition (64-bit)", 10, "T", false, "UFSystem",
     "T3|T6|U8,SQL", ProductFamily::ServerDatabases, "", 1,
     "23|OA_Archive:脱机,UFDATA_003_2022:单用户,UFDATA_005_2022:只读,UFDATA_008_2023:可疑"},
    {"u8new", "13.0.5026.0. Enterprise Edition (64-bit)", 13, "T", true, "UFSystem", "T3|T6|U8,SQL",
     ProductFamily::UfSystem, "[003]武汉长江医药有限公司", 3, "2|003:物理数据库丢失"},
    {"tplus", "12.0.6024.0. Express Edition (64-bit)", 12, "T+", false, "UFTSystem", "T+,SQL",
     ProductFamily::Tplus, "", 4, "5|UFTData604218_000001:系统管理控制之外,:物理数据库丢失"},
    {"both", "11.0.7001.0. Standard Edition (64-bit)", 11, "T+", false, "UFTSystem",
     "T3|T6|U8,T+,SQL", ProductFamily::UfSystem, "", 2, "2|"},
    {"sql2000", "SQL Server 2000 SP4 企业版", 8, "T", false, "UFSystem", "T3|T6|U8,SQL",
     ProductFamily::UfSystem, "", 2, "3|"},
};

class StartupE2E : public test::ProgramOnServer, public ::testing::WithParamInterface<Detection> {};

TEST_P(StartupE2E, DetectsTheServerOpensItsConnectionsAndListsItsTroubles) {
    const Detection d = GetParam();
    start(d.scenario);

    EXPECT_EQ(st().ServerVersionText, QString::fromUtf8(d.versionText));
    EXPECT_EQ(st().ServerMajorVersion, d.major);
    EXPECT_EQ(productName(st().ProductType), QString::fromUtf8(d.productType));
    EXPECT_EQ(st().ProductSubType == UfCatalogue::NewerU8, d.newerCatalogue);
    EXPECT_EQ(st().SystemDbName, QString::fromUtf8(d.systemDb));
    EXPECT_TRUE(st().ErrorText.isEmpty()) << st().ErrorText.toStdString();

    // The login dialog's test connection, then Tempdb, master and the catalogue database.
    QStringList databases;
    for (const sim::Session& s : sim().tds().sessions())
        databases << (s.loggedIn ? s.database : "refused");
    EXPECT_EQ(databases, (QStringList{"master", "tempdb", "master", d.systemDb}));
    EXPECT_TRUE(st().MasterConn && st().TempdbConn && st().SystemConn);

    QStringList offered;
    for (const ProductFamily p : listing.productEntries())
        offered << productEntry(p);
    EXPECT_EQ(offered.join(u','), d.products);

    show(d.listed, QString::fromUtf8(d.account));
    const QStringList first = shownColumn(0), states = shownColumn(d.stateColumn);
    QStringList troubles;
    for (qsizetype i = 0; i < states.size(); ++i) {
        if (states[i] != QStringLiteral("正常"))
            troubles << first[i] + u':' + states[i];
    }
    EXPECT_EQ(QString::number(states.size()) + u'|' + troubles.join(u','),
              QString::fromUtf8(d.troubles));
    EXPECT_TRUE(messages->shown.isEmpty()) << messages->shown.value(0).second.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Scenarios, StartupE2E, ::testing::ValuesIn(kDetections),
                         [](const ::testing::TestParamInfo<Detection>& info) {
                             return std::string(info.param.scenario);
                         });

} // namespace
} // namespace quenlor
