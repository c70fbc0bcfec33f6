#include "core/startup/Startup.h"

#include "core/db/ServerVersion.h"
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

QString lookup(const char* tableName, const char* dbName) {
    return QStringLiteral("select name from %1 where 1=1 and name='%2'")
        .arg(QLatin1String(tableName), QLatin1String(dbName));
}

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
        server.answer(kVersionQuery,
                      table({QStringLiteral("productversion"), QStringLiteral("version")},
                            {{QString::fromLatin1(version), QString::fromLatin1(edition)}}));
    }
    void hasDatabase(const char* tableName, const char* dbName) {
        server.answer(lookup(tableName, dbName),
                      table({QStringLiteral("name")}, {{QString::fromLatin1(dbName)}}));
    }
    QStringList openedDatabases() const {
        QStringList names;
        for (const ConnectionParams& p : server.opens)
            names.append(p.database);
        return names;
    }

    test::FakeErpComponents erp{*automation};
};

// --- What a manual login finds on the server ---

struct ServerRow {
    const char* name;
    const char* version;
    const char* edition;
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
    {"BothSystemDatabasesIsTPlusAndNeverAsksForTheTaskTable", "10.50.1600.1", "Standard Edition",
     "sys.databases", "ufsystem uftsystem", true, "SQL Server 2008 R2  标准版",
     ProductFamily::Tplus, UfCatalogue::Classic, "UFTSystem"},
    {"NoSystemDatabaseRunsOnMaster", "9.00.4035", "Express Edition", "sys.databases", "", true,
     nullptr, ProductFamily::None, UfCatalogue::Classic, "master"},
    {"UfSystemWithTheNewerTaskTableIsTheNewerCatalogue", "10.0.2531.0", "Enterprise Edition",
     "sys.databases", "ufsystem", true, "SQL Server 2008 SP1 企业版",
     ProductFamily::UfSystem, UfCatalogue::NewerU8, "UFSystem"},
    {"UfSystemWithTheOlderTaskTableIsClassic", "10.0.2531.0", "Enterprise Edition",
     "sys.databases", "ufsystem", false, nullptr,
     ProductFamily::UfSystem, UfCatalogue::Classic, "UFSystem"},
    {"Sql2000IsRecognisedByItsMajorVersion", "8.00.2039", "Enterprise Edition",
     "sysdatabases", "ufsystem", false, "SQL Server 2000 SP4 企业版",
     ProductFamily::UfSystem, UfCatalogue::Classic, "UFSystem"},
    {"Sql2005UsesTheCatalogueViews", "9.00.1399.06", "Standard Edition",
     "sys.databases", "ufsystem", false, nullptr,
     ProductFamily::UfSystem, UfCatalogue::Classic, "UFSystem"},
    {"LaterServerWith2000InItsBuildUsesTheCatalogueViews", "15.0.2000.5", "Standard Edition",
     "sys.databases", "ufsystem", false, nullptr,
     ProductFamily::UfSystem, UfCatalogue::Classic, "UFSystem"},
};
// clang-format on

class StartupServers : public StartupTest, public ::testing::WithParamInterface<ServerRow> {};

TEST_P(StartupServers, ManualLoginFindsTheProductAndOpensItsConnections) {
    const ServerRow& row = GetParam();
    serverVersion(row.version, row.edition);
    for (const QString& db : QString::fromLatin1(row.databases).split(u' ', Qt::SkipEmptyParts))
        hasDatabase(row.catalogueTable, db.toLatin1().constData());
    if (row.newerTaskTable)
        server.answer(kSubTypeQuery,
                      table({QStringLiteral("name")}, {{QStringLiteral("iBeginYear")}}));

    Main();

    EXPECT_EQ(st().SqlServer, QStringLiteral("erp-db ")) << "the dialog's text, untrimmed";
    EXPECT_TRUE(st().AdminLogin);
    if (row.versionText) {
        EXPECT_EQ(st().ServerVersionText, QString::fromUtf8(row.versionText));
    }
    EXPECT_EQ(st().ProductType, row.product);
    EXPECT_EQ(st().ProductSubType, row.catalogue);
    EXPECT_EQ(st().SystemDbName, QLatin1String(row.systemDb));
    EXPECT_EQ(openedDatabases(), (QStringList{QStringLiteral("Tempdb"), QStringLiteral("master"),
                                              QLatin1String(row.systemDb)}));
    for (const ConnectionParams& p : server.opens) {
        EXPECT_EQ(p.server, QStringLiteral("erp-db "));
        EXPECT_EQ(p.user, QStringLiteral("sa"));
        EXPECT_EQ(p.password, QStringLiteral("pw;1"));
    }
    EXPECT_NE(st().TempdbConn, nullptr);
    EXPECT_NE(st().MasterConn, nullptr);
    EXPECT_NE(st().SystemConn, nullptr);
    EXPECT_EQ(windows->mainWindowShown, 1);
    EXPECT_EQ(system->endCalls, 0);
    EXPECT_TRUE(system->messageBoxes.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Startup, StartupServers, ::testing::ValuesIn(kServers),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(StartupTest, ProductReportedByTheErpSkipsTheDatabaseSearch) {
    // The newer U8 declines the ERP login but still names the product.
    erp.installFramework();
    serverVersion("10.50.2500.0", "Standard Edition");
    hasDatabase("sys.databases", "uftsystem");

    Main();

    EXPECT_EQ(windows->loginDialogsCreated, 1);
    EXPECT_EQ(st().ProductType, ProductFamily::U8);
    EXPECT_EQ(st().ProductSubType, UfCatalogue::Classic) << "the task table has no iBeginYear here";
    EXPECT_EQ(st().SystemDbName, QStringLiteral("UFSystem"));
    EXPECT_EQ(server.log, (QStringList{QStringLiteral("master: ") + kVersionQuery,
                                       QStringLiteral("master: ") + kSubTypeQuery}));
}

TEST_F(StartupTest, ErpLoginReplacesTheManualDialog) {
    erp.installT6();
    test::ErpOutcome admin;
    admin.dbConnect = QStringLiteral("Data Source=ERPDB;Password=x;");
    admin.sysPassword = QStringLiteral("p;w}");
    admin.accId = QStringLiteral("001");
    admin.year = QStringLiteral("2012");
    erp.outcomes = {admin};
    serverVersion("10.50.1600.1", "Standard Edition");
    hasDatabase("sys.databases", "uftsystem");

    Main();

    EXPECT_EQ(windows->loginDialogsCreated, 0);
    EXPECT_EQ(st().SqlServer, QStringLiteral("ERPDB"));
    EXPECT_EQ(st().SqlUser, QStringLiteral("SA"));
    EXPECT_EQ(st().SqlPassword, QStringLiteral("p;w}"));
    EXPECT_EQ(st().ProductType, ProductFamily::T6) << "from the ERP, not from the databases";
    EXPECT_EQ(st().SystemDbName, QStringLiteral("UFSystem"));
    EXPECT_EQ(openedDatabases(),
              (QStringList{QStringLiteral("UFdata_001_2012"), QStringLiteral("Tempdb"),
                           QStringLiteral("master"), QStringLiteral("UFSystem")}));
    for (const ConnectionParams& p : server.opens) {
        EXPECT_EQ(p.server, QStringLiteral("ERPDB"));
        EXPECT_EQ(p.user, QStringLiteral("SA"));
        EXPECT_EQ(p.password, QStringLiteral("p;w}"));
    }
    EXPECT_EQ(server.log, (QStringList{QStringLiteral("master: ") + kVersionQuery,
                                       QStringLiteral("master: ") + kSubTypeQuery}))
        << "no search for the system databases";
    EXPECT_EQ(windows->mainWindowShown, 1);
}

TEST_F(StartupTest, WithoutAutomationTheManualLoginFollows) {
    st().automation = std::make_unique<NoAutomation>();
    QString errorWhenShown = QStringLiteral("not shown");
    windows->loginScript = [&, confirm = windows->loginScript](SqlLoginDialog& d) {
        errorWhenShown = st().ErrorText;
        confirm(d);
    };
    serverVersion("10.50.1600.1", "Standard Edition");
    hasDatabase("sys.databases", "ufsystem");

    Main();

    EXPECT_EQ(windows->loginDialogsCreated, 1);
    EXPECT_EQ(errorWhenShown, QString()) << "the manual login starts with a clean error text";
    EXPECT_TRUE(windows->messageDialogs.isEmpty()) << "the bridge showed nothing";
    EXPECT_EQ(st().UFLogin().Version(), ProductFamily::None);
    EXPECT_EQ(st().ProductType, ProductFamily::UfSystem);
    EXPECT_EQ(openedDatabases().first(), QStringLiteral("Tempdb")) << "no verification connection";
    EXPECT_EQ(st().lastError.number, 0) << "a missing ERP is no failure";
    EXPECT_EQ(windows->mainWindowShown, 1);
}

TEST_F(StartupTest, FailingConnectionsLeaveEmptyHandlesAndTheWindowStillOpens) {
    server.failOpen(QString(), DbError{QStringLiteral("08001"), 20009,
                                       QStringLiteral("[FreeTDS][SQL Server]Unable to connect")});

    Main();

    EXPECT_EQ(st().TempdbConn, nullptr);
    EXPECT_EQ(st().MasterConn, nullptr);
    EXPECT_EQ(st().SystemConn, nullptr);
    EXPECT_EQ(st().ServerVersionText, QString());
    EXPECT_EQ(st().ServerMajorVersion, 0);
    EXPECT_EQ(st().ProductType, ProductFamily::None);
    EXPECT_EQ(st().SystemDbName, QStringLiteral("master"));
    EXPECT_EQ(st().ErrorText, QStringLiteral("[FreeTDS][SQL Server]Unable to connect"))
        << "the last failed open leaves its text";
    EXPECT_TRUE(server.log.isEmpty()) << "nothing can be sent";
    EXPECT_EQ(windows->mainWindowShown, 1);
    EXPECT_EQ(system->endCalls, 0);
}

TEST_F(StartupTest, SecondCopyIsRefusedBeforeAnyLogin) {
    system->anotherCopyRunning = true;

    Main();

    EXPECT_EQ(system->messageBoxes,
              QStringList{QStringLiteral("Quenlor|您的计算机上已经运行了此程序")});
    EXPECT_EQ(system->endCalls, 1);
    EXPECT_EQ(windows->loginDialogsCreated, 0);
    EXPECT_TRUE(server.opens.empty());
    EXPECT_FALSE(st().AdminLogin);
    EXPECT_EQ(windows->mainWindowShown, 0);
}

TEST_F(StartupTest, CancelledLoginShowsOnlyAFailureOfAnInstalledErp) {
    const QString noObject = QStringLiteral("对象变量或 With 块变量未设置");
    struct Case {
        const char* why;
        bool automation;
        const char* brokenClass; // null: nothing registered
        AutomationError failure;
        QStringList shown;
    };
    const QStringList failureShown = {QStringLiteral("Quenlor|") + noObject};
    // clang-format off
    const Case cases[] = {
        {"no automation on this computer", false, nullptr, {}, {}},
        {"no ERP component registered", true, nullptr, {}, {}},
        {"a registered T6 component that gives no object", true, "U8Login.clsLogin",
         {91, noObject}, failureShown},
        {"a registered T3 component that fails otherwise", true, "UFLoginSQL.Login",
         {-2147467259, QStringLiteral("自动化错误")}, failureShown},
    };
    // clang-format on
    windows->loginScript = [](SqlLoginDialog&) {};
    for (const Case& c : cases) {
        auto components = std::make_unique<test::FakeAutomation>();
        if (c.brokenClass)
            components->failCreate(QString::fromLatin1(c.brokenClass), c.failure);
        if (c.automation)
            st().automation = std::move(components);
        else
            st().automation = std::make_unique<NoAutomation>();
        st().ufLogin.reset();
        system->messageBoxes.clear();
        system->endCalls = 0;

        Main();

        EXPECT_EQ(system->messageBoxes, c.shown) << c.why;
        EXPECT_EQ(system->endCalls, 1) << c.why;
        EXPECT_EQ(windows->mainWindowShown, 0) << c.why;
    }
}

TEST_F(StartupTest, CancelledLoginAfterAFailedAttemptShowsTheDriversText) {
    server.failNextOpens(
        1, DbError{QStringLiteral("28000"), 18456, QStringLiteral("用户 'sa' 登录失败。")});
    windows->loginScript = [](SqlLoginDialog&) {
        Read<std::unique_ptr<Database>> opened =
            openTestConnection(QStringLiteral("erp-db"), QStringLiteral("master"),
                               QStringLiteral("sa"), QStringLiteral("wrong"));
        EXPECT_EQ(opened.value, nullptr);
        EXPECT_EQ(opened.outcome.text(), QStringLiteral("用户 'sa' 登录失败。"));
        // ...and then the operator gives up.
    };
    Main();
    EXPECT_EQ(system->messageBoxes, QStringList{QStringLiteral("Quenlor|用户 'sa' 登录失败。")});
    EXPECT_EQ(system->endCalls, 1);
    EXPECT_EQ(windows->mainWindowShown, 0);
}

TEST(SystemDbName, ByProductLine) {
    const struct {
        ProductFamily product;
        const char* database;
    } cases[] = {
        {ProductFamily::T3, "UFSystem"},     {ProductFamily::T6, "UFSystem"},
        {ProductFamily::U8, "UFSystem"},     {ProductFamily::UfSystem, "UFSystem"},
        {ProductFamily::Tplus, "UFTSystem"}, {ProductFamily::ServerDatabases, "master"},
        {ProductFamily::None, "master"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetSystemDbName(c.product), QString::fromLatin1(c.database))
            << productName(c.product).toStdString();
}

} // namespace
} // namespace quenlor
