#include "core/startup/Startup.h"

#include "core/login/ManualLogin.h"
#include "core/login/clsUFLogin.h"
#include "support/FakeErpComponents.h"
#include "support/TestState.h"

namespace quenlor {
namespace {

using test::table;

const QString kVersionQuery = QStringLiteral(
    "SELECT  SERVERPROPERTY('productversion') as productversion,SERVERPROPERTY ('edition') as "
    "version");
const QString kSubTypeQuery = QStringLiteral(
    "select b.name from ufsystem..sysobjects as a inner join ufsystem..syscolumns as b on "
    "a.id=b.id where a.name='UA_Task' and b.name='iBeginYear'");

class StartupTest : public test::StateFixture {
protected:
    StartupTest() {
        // The operator confirms a working login in the manual dialog.
        windows->loginScript = [](SqlLoginDialog& d) {
            d.ServerName = QStringLiteral("erp-db ");
            d.UserName = QStringLiteral("sa");
            d.Password = QStringLiteral("pw;1");
            d.Confirmed = true;
        };
    }

    void serverVersion(const char* version, const char* edition) {
        server.answer(kVersionQuery, table({"productversion", "version"}, {{version, edition}}));
    }
    void hasDatabase(const char* tableName, const QString& dbName) {
        server.answer(QStringLiteral("select name from %1 where 1=1 and name='%2'")
                          .arg(QLatin1String(tableName), dbName),
                      table({"name"}, {{dbName}}));
    }
    // Each connection opened, as "database server|user|password".
    QStringList opened() const {
        QStringList found;
        for (const ConnectionParams& p : server.opens)
            found.append(p.database + ' ' + QStringList{p.server, p.user, p.password}.join('|'));
        return found;
    }

    test::FakeErpComponents erp{*automation};
};

// --- What a manual login finds on the server ---

struct ServerRow {
    const char* name;
    const char* version;
    const char* catalogueTable; // where the system databases are looked up
    const char* databases;      // the system databases there, blank-separated
    bool newerTaskTable;
    const char* versionText; // null: not looked at here
    ProductFamily product;
    UfCatalogue catalogue;
    const char* systemDb;
};

// clang-format off
const ServerRow kServers[] = {
    {"BothSystemDatabasesIsTPlusAndNeverAsksForTheTaskTable", "10.50.1600.1", "sys.databases",
     "ufsystem uftsystem", true, "SQL Server 2008 R2  企业版", ProductFamily::Tplus,
     UfCatalogue::Classic, "UFTSystem"},
    {"NoSystemDatabaseRunsOnMaster", "9.00.4035", "sys.databases", "", true, nullptr,
     ProductFamily::None, UfCatalogue::Classic, "master"},
    {"UfSystemWithTheNewerTaskTableIsTheNewerCatalogue", "10.0.2531.0", "sys.databases",
     "ufsystem", true, nullptr, ProductFamily::UfSystem, UfCatalogue::NewerU8, "UFSystem"},
    {"Sql2000IsRecognisedByItsMajorVersion", "8.00.2039", "sysdatabases", "ufsystem", false,
     "SQL Server 2000 SP4 企业版", ProductFamily::UfSystem, UfCatalogue::Classic, "UFSystem"},
    {"Sql2005UsesTheCatalogueViews", "9.00.1399.06", "sys.databases", "ufsystem", false, nullptr,
     ProductFamily::UfSystem, UfCatalogue::Classic, "UFSystem"},
};
// clang-format on

class StartupServers : public StartupTest, public ::testing::WithParamInterface<ServerRow> {};

TEST_P(StartupServers, ManualLoginFindsTheProductAndOpensItsConnections) {
    const ServerRow& row = GetParam();
    serverVersion(row.version, "Enterprise Edition");
    for (const QString& db : QString::fromLatin1(row.databases).split(u' ', Qt::SkipEmptyParts))
        hasDatabase(row.catalogueTable, db);
    if (row.newerTaskTable)
        server.answer(kSubTypeQuery, table({"name"}, {{"iBeginYear"}}));

    Main();

    if (row.versionText) {
        EXPECT_EQ(st().ServerVersionText, QString::fromUtf8(row.versionText));
    }
    EXPECT_EQ(st().ProductType, row.product);
    EXPECT_EQ(st().ProductSubType, row.catalogue);
    // The dialog's text, untrimmed, for every connection.
    const QString login = QStringLiteral(" erp-db |sa|pw;1");
    EXPECT_EQ(opened(), (QStringList{"Tempdb" + login, "master" + login, row.systemDb + login}));
    EXPECT_EQ(windows->mainWindowShown, 1);
}

INSTANTIATE_TEST_SUITE_P(Startup, StartupServers, ::testing::ValuesIn(kServers),
                         [](const auto& info) { return std::string(info.param.name); });

// An ERP login replaces the manual dialog, and the product it names is taken as it is: no
// search for the system databases.
TEST_F(StartupTest, ErpLoginReplacesTheManualDialogAndNamesTheProduct) {
    serverVersion("10.50.1600.1", "Standard Edition");
    hasDatabase("sys.databases", "uftsystem");
    erp.installT6();
    test::ErpOutcome admin;
    admin.dbConnect = QStringLiteral("Data Source=ERPDB;Password=x;");
    admin.sysPassword = QStringLiteral("p;w}");
    admin.accId = QStringLiteral("001");
    admin.year = QStringLiteral("2012");
    erp.outcomes = {admin};

    Main();

    EXPECT_EQ(windows->loginDialogsCreated, 0);
    EXPECT_EQ(st().ProductType, ProductFamily::T6);
    EXPECT_EQ(server.log, (QStringList{"master: " + kVersionQuery, "master: " + kSubTypeQuery}));
    EXPECT_EQ(opened().last(), QStringLiteral("UFSystem ERPDB|SA|p;w}"));
}

TEST_F(StartupTest, SecondCopyIsRefusedBeforeAnyLogin) {
    system->anotherCopyRunning = true;

    Main();

    EXPECT_EQ(system->messageBoxes, QStringList{"Quenlor|您的计算机上已经运行了此程序"});
    EXPECT_EQ(system->endCalls, 1);
    EXPECT_EQ(windows->loginDialogsCreated, 0);
    EXPECT_TRUE(server.opens.empty());
    EXPECT_EQ(windows->mainWindowShown, 0);
}

// A cancelled login ends the program, telling the last failure on the way: that of the
// operator's own attempt, or of an installed ERP, but not a missing ERP.
TEST_F(StartupTest, CancelledLoginTellsOnlyARealFailure) {
    const QString noObject = QStringLiteral("对象变量或 With 块变量未设置");
    const std::tuple<const char*, const char*, AutomationError, QString> cases[] = {
        // why, the ERP class that fails (null: no automation at all), how, what is told
        {"no automation on this computer", nullptr, {}, {}},
        {"no ERP component registered", "", {}, {}},
        {"a registered T6 component that gives no object",
         "U8Login.clsLogin",
         {91, noObject},
         noObject},
        {"a registered T3 component that fails otherwise",
         "UFLoginSQL.Login",
         {-2147467259, "自动化错误"},
         noObject},
        {"the operator's failed attempt", nullptr, {}, "用户 'sa' 登录失败。"},
    };
    for (const auto& [why, brokenClass, failure, told] : cases) {
        SCOPED_TRACE(why);
        auto components = std::make_unique<test::FakeAutomation>();
        if (brokenClass != nullptr && *brokenClass != 0)
            components->failCreate(QString::fromLatin1(brokenClass), failure);
        if (brokenClass != nullptr)
            st().automation = std::move(components);
        else
            st().automation = std::make_unique<NoAutomation>();
        st().ufLogin.reset();
        system->messageBoxes.clear();
        system->endCalls = 0;
        windows->loginScript = [&](SqlLoginDialog&) {
            if (told.isEmpty() || brokenClass != nullptr)
                return;
            server.failNextOpens(1, DbError{"28000", 18456, told});
            (void)openTestConnection("erp-db", "master", "sa", "wrong");
        };

        Main();

        EXPECT_EQ(system->messageBoxes,
                  told.isEmpty() ? QStringList{} : QStringList{"Quenlor|" + told});
        EXPECT_EQ(system->endCalls, 1);
    }
}

} // namespace
} // namespace quenlor
