#include "core/login/clsUFLogin.h"

#include "support/FakeErpComponents.h"
#include "support/TestState.h"

#include <memory>
#include <stdexcept>

namespace quenlor {

// Looks at what the bridge keeps once a login is over.
struct ClsUFLoginTestAccess {
    static Database* verification(const clsUFLogin& bridge) { return bridge.m_verification.get(); }
};

namespace {

using test::ErpOutcome;

const QString kCreateProbe = QStringLiteral("create UFSoft.U8.Framework.Login.UI.clsLogin");
const QString kCreateT6 = QStringLiteral("create U8Login.clsLogin");
const QString kCreateT3 = QStringLiteral("create UFLoginSQL.Login");
const QString kCreateKit = QStringLiteral("create USDbKit.UfDatabase");
const QString kT6Login = QStringLiteral("t6.call Login(AA,,,admin,,,TESTPC)");

const QString kInstallMsg =
    QStringLiteral("4|请检查用友软件系统安装是否正常，是否能正常登录及使用！");
const QString kAdminMsg = QStringLiteral("1|登录失败：必须以系统管理员身份登录!");
const QString kNoServerMsg =
    QStringLiteral("4|您当前登录账套年度可能是以前版本等原因不能正常登录，请重新选择！");

const QString kCannotCreate = QStringLiteral("ActiveX 部件不能创建对象");
const QString kNoObject = QStringLiteral("对象变量或 With 块变量未设置");
const QString kNoMember = QStringLiteral("对象不支持该属性或方法");
const QString kAdministratorShare = QStringLiteral("系统管理员不能进行业务处理");

const QStringList kNewerU8Keys = {
    QStringLiteral("SOFTWARE\\用友软件\\用友ERP-U8\\8.61.000\\"),
    QStringLiteral("SOFTWARE\\用友软件\\用友ERP-U8V10.0\\8.10.000\\"),
    QStringLiteral("SOFTWARE\\用友软件\\用友软件\\用友U8V10.1\\8.10.000\\"),
    QStringLiteral("SOFTWARE\\用友软件\\用友U8V10.0\\"),
    QStringLiteral("SOFTWARE\\用友软件\\用友U8V10.1\\"),
};

// Everything the component is asked after an administrator login that it accepted.
const QStringList kDerivation = {
    kCreateKit,
    QStringLiteral("t6.get UfDbName"),
    QStringLiteral("kit.call OpenDatabase(UFDB)"),
    QStringLiteral("t6.get UfSystemDb"),
    QStringLiteral("sysdb.get DbConnect"),
    QStringLiteral("t6.get SysPassword"),
    QStringLiteral("t6.get cacc_id"),
    QStringLiteral("t6.get ciyear"),
    QStringLiteral("t6.get cacc_id"),
    QStringLiteral("t6.get ciyear"),
};

ErpOutcome adminLogin() {
    ErpOutcome o;
    o.dbConnect = QStringLiteral("Provider=SQLOLEDB.1;Password=s3cret;Persist Security Info=True;"
                                 "User ID=sa;Initial Catalog=UFSystem;Data Source=ERPSRV;");
    o.accId = QStringLiteral("001");
    o.year = QStringLiteral("2012");
    return o;
}

class ThrowingRegistry final : public Registry {
public:
    bool keyExists(const QString&) override { throw std::runtime_error("registry unreadable"); }
};

class ErpLoginTest : public test::StateFixture {
protected:
    test::FakeErpComponents erp{*automation};
    QString errorText;

    clsUFLogin& bridge() { return st().UFLogin(); }

    // Logs in as the program does; a reported failure lands in errorText, as the program's
    // ErrorText would get it.
    bool connect() {
        const Read<bool> result = UFLoginConnect();
        if (!result.outcome)
            errorText = result.outcome.text();
        return result.value;
    }

    // The bridge's outcome as "field=value" lines, for readable failures.
    QStringList outcome() {
        clsUFLogin& b = bridge();
        return {QStringLiteral("Success=") +
                    (b.Success() ? QStringLiteral("1") : QStringLiteral("0")),
                QStringLiteral("Version=") + productName(b.Version()),
                QStringLiteral("Server=") + b.Server(),
                QStringLiteral("DBUser=") + b.DBUser(),
                QStringLiteral("DBPwd=") + b.DBPwd(),
                QStringLiteral("DBName=") + b.DBName()};
    }
    static QStringList declined(const char* version) {
        return {QStringLiteral("Success=0"), QStringLiteral("Version=") + QLatin1String(version),
                QStringLiteral("Server="),   QStringLiteral("DBUser="),
                QStringLiteral("DBPwd="),    QStringLiteral("DBName=")};
    }

    QStringList programLogin() { return {st().SqlServer, st().SqlUser, st().SqlPassword}; }

    // Messages shown by the bridge, as "kind|text". The bridge has a dialog of its own and never
    // uses the program's.
    QStringList bridgeMessages() {
        EXPECT_TRUE(messages->shown.isEmpty()) << "the program's message dialog was used";
        EXPECT_LE(windows->messageDialogs.size(), 1) << "the bridge keeps one dialog instance";
        QStringList shown;
        if (!windows->messageDialogs.isEmpty()) {
            for (const auto& [kind, text] : windows->messageDialogs.first()->shown)
                shown.append(QString::number(kind) + QLatin1Char('|') + text);
        }
        return shown;
    }

    const ConnectionParams* verificationParams() const {
        return server.opens.empty() ? nullptr : &server.opens.back();
    }
};

// --- Which component is there ---

TEST_F(ErpLoginTest, NewerU8FrameworkDeclinesBeforeAnyLogin) {
    erp.installFramework();
    erp.installT6();
    erp.outcomes = {adminLogin()};

    EXPECT_FALSE(connect());

    EXPECT_EQ(outcome(), declined("U8"));
    EXPECT_EQ(automation->log, QStringList{kCreateProbe}) << "no component is asked to log in";
    EXPECT_TRUE(erp.loginCalls.isEmpty());
    EXPECT_TRUE(registry->asked.isEmpty());
    EXPECT_TRUE(bridgeMessages().isEmpty());
    EXPECT_TRUE(windows->messageDialogs.isEmpty()) << "no dialog made when nothing is shown";
    EXPECT_EQ(errorText, QString()) << "nothing failed";
    EXPECT_EQ(programLogin(), (QStringList{QString(), QString(), QString()}));
    EXPECT_TRUE(server.opens.empty());
}

TEST_F(ErpLoginTest, OnlyTheMissingObjectErrorsOfTheProbeMeanNoFramework) {
    struct Case {
        AutomationError error;
        const char* version;
    };
    const Case cases[] = {
        {{429, kCannotCreate}, ""},
        {{438, kNoMember}, ""},
        {{91, kNoObject}, ""},
        {{440, QStringLiteral("自动化错误")}, ""},
        {{-2147221164, QStringLiteral("自动化错误")}, ""},
        // Any other failure means the class is registered, if broken: still the newer U8.
        {{-2147024894, QStringLiteral("系统找不到指定的文件。")}, "U8"},
        {{440, QStringLiteral("自动化错误 ")}, "U8"},
    };
    for (const Case& c : cases) {
        automation->failCreate(QStringLiteral("UFSoft.U8.Framework.Login.UI.clsLogin"), c.error);
        EXPECT_FALSE(bridge().Regedit()) << c.error.number;
        EXPECT_EQ(productName(bridge().Version()), QLatin1String(c.version))
            << c.error.number << " " << c.error.description.toStdString();
    }
}

TEST_F(ErpLoginTest, NoObjectFromTheT6ComponentAsksToCheckTheInstallation) {
    automation->failCreate(QStringLiteral("U8Login.clsLogin"), {91, kNoObject});
    erp.installT3();

    EXPECT_FALSE(connect());

    EXPECT_EQ(outcome(), declined("T6"));
    EXPECT_EQ(bridgeMessages(), QStringList{kInstallMsg});
    EXPECT_EQ(automation->log, (QStringList{kCreateProbe, kCreateT6})) << "T3 is not tried";
    EXPECT_TRUE(registry->asked.isEmpty());
    EXPECT_EQ(errorText, kNoObject);
    EXPECT_EQ(programLogin(), (QStringList{QString(), QString(), QString()}));
}

TEST_F(ErpLoginTest, WithoutAnyComponentTheBridgeDeclinesSilently) {
    errorText = QStringLiteral("stale");

    EXPECT_FALSE(connect());

    EXPECT_EQ(outcome(), declined(""));
    EXPECT_EQ(automation->log, (QStringList{kCreateProbe, kCreateT6, kCreateT3}));
    EXPECT_TRUE(bridgeMessages().isEmpty());
    EXPECT_EQ(errorText, kCannotCreate) << "the last passed-over failure";
    EXPECT_EQ(st().lastError.number, 429);
    EXPECT_TRUE(registry->asked.isEmpty());
    EXPECT_TRUE(server.opens.empty());
}

TEST_F(ErpLoginTest, T6ComponentThatCannotBeUsedFallsToT3) {
    erp.installT3();
    erp.outcomes = {adminLogin(), adminLogin(), adminLogin()};
    const AutomationError failures[] = {
        {429, kCannotCreate}, {438, kNoMember}, {-2147467259, QStringLiteral("自动化错误")}};
    for (const AutomationError& failure : failures) {
        automation->failCreate(QStringLiteral("U8Login.clsLogin"), failure);
        EXPECT_TRUE(connect()) << failure.number;
        EXPECT_EQ(bridge().Version(), ProductFamily::T3) << failure.number;
        EXPECT_EQ(erp.loginCalls.last(), QVariantList{QStringLiteral("DP")}) << failure.number;
    }
}

TEST_F(ErpLoginTest, T3ComponentFailingOtherwiseEndsWithoutALogin) {
    // Not a missing-object error, so the login goes on without an object and every member
    // access fails, down to the unreadable LogState that ends the attempt.
    automation->failCreate(QStringLiteral("UFLoginSQL.Login"),
                           {-2147467259, QStringLiteral("自动化错误")});

    EXPECT_FALSE(connect());

    EXPECT_EQ(outcome(), declined("T3"));
    EXPECT_EQ(automation->log, (QStringList{kCreateProbe, kCreateT6, kCreateT3}));
    EXPECT_EQ(registry->asked, kNewerU8Keys);
    EXPECT_TRUE(bridgeMessages().isEmpty());
    EXPECT_EQ(errorText, kNoObject);
}

TEST_F(ErpLoginTest, EachNewerU8RegistryKeyStopsTheLogin) {
    erp.installT6();
    erp.outcomes = {adminLogin()};
    for (const QString& key : kNewerU8Keys) {
        registry->keys = {key};
        registry->asked.clear();
        automation->log.clear();

        EXPECT_FALSE(connect()) << key.toStdString();

        EXPECT_EQ(outcome(), declined("T6")) << key.toStdString();
        EXPECT_EQ(registry->asked, kNewerU8Keys) << "all five, every time";
        EXPECT_EQ(automation->log, (QStringList{kCreateProbe, kCreateT6}));
    }
    EXPECT_TRUE(erp.loginCalls.isEmpty());
    EXPECT_TRUE(bridgeMessages().isEmpty());
    EXPECT_EQ(errorText, QString()) << "the registry test clears the last-error record";
}

TEST_F(ErpLoginTest, UnreadableRegistryCountsAsANewerU8) {
    st().registry = std::make_unique<ThrowingRegistry>();
    erp.installT6();
    erp.outcomes = {adminLogin()};
    EXPECT_FALSE(connect());
    EXPECT_EQ(bridge().Version(), ProductFamily::T6);
    EXPECT_TRUE(erp.loginCalls.isEmpty());
}

TEST_F(ErpLoginTest, ItsDialogGoesWithTheProgramsWindowsAndTheComponentsStay) {
    automation->failCreate(QStringLiteral("U8Login.clsLogin"), {91, kNoObject});
    EXPECT_FALSE(connect());
    ASSERT_EQ(bridgeMessages(), QStringList{kInstallMsg});
    auto destroyed = std::make_shared<bool>(false);
    windows->messageDialogs.first()->onDestroyed = [destroyed] { *destroyed = true; };

    st().releaseWindows();

    EXPECT_TRUE(*destroyed) << "the dialog would outlive the application object";
    EXPECT_NE(st().ufLogin, nullptr);
    EXPECT_EQ(st().windows, nullptr) << "no window can be made afterwards";
}

// --- The login and its outcome ---

TEST_F(ErpLoginTest, LogState100EndsTheAttempt) {
    erp.installT6();
    ErpOutcome cancelled = adminLogin();
    cancelled.logState = 100;
    erp.outcomes = {cancelled};

    EXPECT_FALSE(connect());

    EXPECT_EQ(outcome(), declined("T6"));
    EXPECT_EQ(automation->log,
              (QStringList{kCreateProbe, kCreateT6, kT6Login, QStringLiteral("t6.get LogState"),
                           QStringLiteral("t6.call ClearError()")}));
    EXPECT_TRUE(bridgeMessages().isEmpty());
    EXPECT_EQ(errorText, QString());
    EXPECT_TRUE(server.opens.empty());
}

TEST_F(ErpLoginTest, AccountLoginIsRefusedAndTheLoginStartsAgain) {
    erp.installT6();
    ErpOutcome account = adminLogin();
    account.accName = QStringLiteral("演示账套");
    ErpOutcome closed;
    closed.logState = QStringLiteral("100"); // reported as text
    erp.outcomes = {account, account, closed};

    EXPECT_FALSE(connect());

    const QStringList refused = {kCreateProbe, kCreateT6, kT6Login,
                                 QStringLiteral("t6.get LogState"),
                                 QStringLiteral("t6.get cAccName")};
    const QStringList cancelled = {kCreateProbe, kCreateT6, kT6Login,
                                   QStringLiteral("t6.get LogState"),
                                   QStringLiteral("t6.call ClearError()")};
    EXPECT_EQ(automation->log, refused + refused + cancelled);
    EXPECT_EQ(bridgeMessages(), (QStringList{kAdminMsg, kAdminMsg}));
    EXPECT_EQ(erp.loginCalls.size(), 3);
    EXPECT_EQ(registry->asked.size(), 15) << "each attempt tests the registry again";
    EXPECT_EQ(outcome(), declined("T6"));
}

TEST_F(ErpLoginTest, AdministratorLoginAfterARefusedOneSucceeds) {
    erp.installT6();
    ErpOutcome account = adminLogin();
    account.accName = QStringLiteral("001");
    ErpOutcome admin = adminLogin();
    admin.dbConnect = QStringLiteral("Password=second;Data Source=SRV2;");
    erp.outcomes = {account, admin};

    EXPECT_TRUE(connect());

    EXPECT_EQ(bridgeMessages(), QStringList{kAdminMsg});
    EXPECT_EQ(programLogin(), (QStringList{QStringLiteral("SRV2"), QStringLiteral("SA"),
                                           QStringLiteral("second")}));
}

TEST_F(ErpLoginTest, T6AdministratorLoginDerivesTheServerLogin) {
    erp.installT6();
    erp.outcomes = {adminLogin()};
    errorText = QStringLiteral("untouched");

    EXPECT_TRUE(connect());

    EXPECT_EQ(outcome(), (QStringList{QStringLiteral("Success=1"), QStringLiteral("Version=T6"),
                                      QStringLiteral("Server=ERPSRV"), QStringLiteral("DBUser=SA"),
                                      QStringLiteral("DBPwd=s3cret"),
                                      QStringLiteral("DBName=UFdata_001_2012")}));
    EXPECT_EQ(erp.loginCalls, (QList<QVariantList>{{QStringLiteral("AA"), QString(), QString(),
                                                    QStringLiteral("admin"), QString(), QString(),
                                                    QStringLiteral("TESTPC")}}));
    EXPECT_EQ(automation->log,
              QStringList({kCreateProbe, kCreateT6, kT6Login, QStringLiteral("t6.get LogState"),
                           QStringLiteral("t6.get cAccName")}) +
                  kDerivation);
    EXPECT_EQ(registry->asked, kNewerU8Keys);
    ASSERT_EQ(server.opens.size(), 1u);
    EXPECT_EQ(server.opens[0].server, QStringLiteral("ERPSRV"));
    EXPECT_EQ(server.opens[0].database, QStringLiteral("UFdata_001_2012"));
    EXPECT_EQ(server.opens[0].user, QStringLiteral("SA"));
    EXPECT_EQ(server.opens[0].password, QStringLiteral("s3cret"));
    Database* verification = ClsUFLoginTestAccess::verification(bridge());
    ASSERT_NE(verification, nullptr) << "the verification connection stays with the bridge";
    EXPECT_TRUE(verification->isOpen());
    EXPECT_TRUE(bridgeMessages().isEmpty());
    EXPECT_EQ(programLogin(), (QStringList{QStringLiteral("ERPSRV"), QStringLiteral("SA"),
                                           QStringLiteral("s3cret")}));
    EXPECT_EQ(errorText, QStringLiteral("untouched"));
}

TEST_F(ErpLoginTest, T3AdministratorLoginDerivesTheServerLogin) {
    erp.installT3();
    ErpOutcome admin = adminLogin();
    admin.accId.clear(); // the administrator is in no account set: the system database
    admin.sysPassword = QStringLiteral("sysPw");
    erp.outcomes = {admin};

    EXPECT_TRUE(connect());

    EXPECT_EQ(outcome(),
              (QStringList{QStringLiteral("Success=1"), QStringLiteral("Version=T3"),
                           QStringLiteral("Server=ERPSRV"), QStringLiteral("DBUser=SA"),
                           QStringLiteral("DBPwd=sysPw"), QStringLiteral("DBName=UFSystem")}));
    EXPECT_EQ(erp.loginCalls, QList<QVariantList>{{QStringLiteral("DP")}});
    EXPECT_EQ(automation->log,
              (QStringList{
                  kCreateProbe, kCreateT6, kCreateT3, QStringLiteral("t3.call LoginAs(DP)"),
                  QStringLiteral("t3.get LogState"), QStringLiteral("t3.get cAccName"), kCreateKit,
                  QStringLiteral("t3.get UfDbName"), QStringLiteral("kit.call OpenDatabase(UFDB)"),
                  QStringLiteral("t3.get UfSystemDb"), QStringLiteral("sysdb.get DbConnect"),
                  QStringLiteral("t3.get SysPassword"), QStringLiteral("t3.get SysPassword"),
                  QStringLiteral("t3.get cacc_id"), QStringLiteral("t3.get ciyear"),
                  QStringLiteral("t3.get cacc_id"), QStringLiteral("t3.get ciyear")}));
    ASSERT_NE(verificationParams(), nullptr);
    EXPECT_EQ(verificationParams()->database, QStringLiteral("UFSystem"));
    EXPECT_NE(ClsUFLoginTestAccess::verification(bridge()), nullptr);
    EXPECT_TRUE(bridgeMessages().isEmpty());
    EXPECT_EQ(programLogin(), (QStringList{QStringLiteral("ERPSRV"), QStringLiteral("SA"),
                                           QStringLiteral("sysPw")}));
    EXPECT_EQ(errorText, QString()) << "the failed T6 creation was cleared";
}

TEST_F(ErpLoginTest, FailedLoginCallNamesTheAdministratorAndLogsInAgain) {
    erp.installT6();
    ErpOutcome refused;
    refused.raises = AutomationError{-2147467259, QStringLiteral("自动化错误")};
    erp.outcomes = {refused, adminLogin()};

    EXPECT_TRUE(connect());

    EXPECT_EQ(erp.loginCalls.size(), 2);
    EXPECT_EQ(erp.loginCalls.last(), QVariantList{QStringLiteral("DP")});
    EXPECT_EQ(
        automation->log.mid(0, 7),
        (QStringList{kCreateProbe, kCreateT6, kT6Login, QStringLiteral("t6.get Login"),
                     QStringLiteral("user.put cUsername=Admin"),
                     QStringLiteral("t6.call Login(DP)"), QStringLiteral("t6.get LogState")}));
    EXPECT_EQ(bridge().Server(), QStringLiteral("ERPSRV"));
}

TEST_F(ErpLoginTest, AdministratorTextStandsInForAConnectionThatDidNotOpen) {
    erp.installT6();
    ErpOutcome admin = adminLogin();
    admin.shareString = kAdministratorShare;
    ErpOutcome other = adminLogin();
    other.shareString = QStringLiteral("系统管理员");
    erp.outcomes = {admin, other};
    server.failOpen(
        QStringLiteral("UFdata_001_2012"),
        DbError{QStringLiteral("28000"), 18456, QStringLiteral("用户 'SA' 登录失败。")});

    EXPECT_TRUE(connect());
    EXPECT_TRUE(bridge().Success());
    EXPECT_EQ(automation->log.last(), QStringLiteral("t6.get sharestring"));
    EXPECT_EQ(ClsUFLoginTestAccess::verification(bridge()), nullptr);
    EXPECT_EQ(programLogin(), (QStringList{QStringLiteral("ERPSRV"), QStringLiteral("SA"),
                                           QStringLiteral("s3cret")}));

    EXPECT_FALSE(connect()) << "any other text leaves the login unproven";
    EXPECT_FALSE(bridge().Success());
    EXPECT_EQ(errorText, QStringLiteral("用户 'SA' 登录失败。"));
    EXPECT_TRUE(bridgeMessages().isEmpty());
}

TEST_F(ErpLoginTest, SuccessWithoutAServerNameIsNoLogin) {
    erp.installT6();
    ErpOutcome admin = adminLogin();
    admin.dbConnect = QStringLiteral("Password=pw;Initial Catalog=UFSystem;");
    erp.outcomes = {admin};

    EXPECT_FALSE(connect());

    EXPECT_TRUE(bridge().Success());
    EXPECT_EQ(bridge().Server(), QString());
    EXPECT_TRUE(automation->log.contains(QStringLiteral("t6.get cServer")));
    EXPECT_EQ(bridgeMessages(), QStringList{kNoServerMsg});
    EXPECT_EQ(programLogin(), (QStringList{QString(), QStringLiteral("SA"), QStringLiteral("pw")}))
        << "copied before the server name is looked at";
    EXPECT_EQ(errorText, QStringLiteral("无效的过程调用或参数"))
        << "the missing Data Source entry was the last failure";
}

TEST_F(ErpLoginTest, ComponentWithoutLogStateNeverLogsIn) {
    erp.installT6();
    erp.missing = {QStringLiteral("LogState")};
    erp.outcomes = {adminLogin(), adminLogin()};

    for (int attempt = 0; attempt < 2; ++attempt) {
        automation->log.clear();
        EXPECT_FALSE(connect()) << attempt;
        EXPECT_EQ(automation->log,
                  (QStringList{kCreateProbe, kCreateT6, kT6Login, QStringLiteral("t6.get LogState"),
                               QStringLiteral("t6.call ClearError()")}));
        EXPECT_EQ(outcome(), declined("T6"));
        EXPECT_EQ(errorText, kNoMember);
    }
    EXPECT_TRUE(server.opens.empty());
}

TEST_F(ErpLoginTest, UnreadableConnectionStateCountsAsSuccess) {
    erp.installT6();
    erp.outcomes = {adminLogin()};
    st().connector.reset(); // no connection object can be made

    EXPECT_TRUE(bridge().Regedit());

    EXPECT_TRUE(bridge().Success());
    EXPECT_EQ(bridge().Server(), QStringLiteral("ERPSRV"));
    EXPECT_FALSE(automation->log.contains(QStringLiteral("t6.get sharestring")));
    EXPECT_EQ(st().lastError.number, 91);
}

// --- What the component's connection text yields ---

TEST_F(ErpLoginTest, ConnectionTextGivesServerAndPassword) {
    struct Case {
        const char* why;
        QString dbConnect;
        QString sysPassword;
        QString cServer;
        QString server;
        QString password;
    };
    const QString fallback = QStringLiteral("FALLBACK");
    const Case cases[] = {
        {"keys in any letter case, blanks around values",
         QStringLiteral("provider=SQLOLEDB;pAsSwOrD=  pa ss  ;data SOURCE= ERPSRV\\U8 ;"),
         {},
         {},
         QStringLiteral("ERPSRV\\U8"),
         QStringLiteral("pa ss")},
        {"quotes go, blanks inside them stay",
         QStringLiteral("Data Source=srv;Password= \" p w\" ;"),
         {},
         {},
         QStringLiteral("srv"),
         QStringLiteral(" p w")},
        {"password last without ';' (a ';' before the key does not count)",
         QStringLiteral("Data Source=srv;Password=pw"),
         {},
         {},
         QStringLiteral("srv"),
         QString()},
        {"... unless SysPassword supplies one",
         QStringLiteral("Data Source=srv;Password=pw"),
         QStringLiteral("sys"),
         {},
         QStringLiteral("srv"),
         QStringLiteral("sys")},
        {"two apostrophes are no password",
         QStringLiteral("Password='';Data Source=srv;"),
         {},
         {},
         QStringLiteral("srv"),
         QString()},
        {"... also inside quotes",
         QStringLiteral("Password=\"''\";Data Source=srv;"),
         {},
         {},
         QStringLiteral("srv"),
         QString()},
        {"... also from SysPassword",
         QStringLiteral("Password=a;Data Source=srv;"),
         QStringLiteral("''"),
         {},
         QStringLiteral("srv"),
         QString()},
        {"SysPassword wins and keeps its quotes",
         QStringLiteral("Password=a;Data Source=srv;"),
         QStringLiteral("\"b\""),
         {},
         QStringLiteral("srv"),
         QStringLiteral("\"b\"")},
        {"no Data Source: cServer",
         QStringLiteral("Password=pw;"),
         {},
         fallback,
         fallback,
         QStringLiteral("pw")},
        {"Data Source last without ';': cServer",
         QStringLiteral("Password=pw;Data Source=srv"),
         {},
         fallback,
         fallback,
         QStringLiteral("pw")},
        {"a blank before '=' is another key",
         QStringLiteral("Password =pw;Data Source=srv;"),
         {},
         {},
         QStringLiteral("srv"),
         QString()},
        {"only blanks are trimmed",
         QStringLiteral("Password=\tpw ;Data Source=srv;"),
         {},
         {},
         QStringLiteral("srv"),
         QStringLiteral("\tpw")},
        {"a letter that upper-cases to two does not shift positions",
         QStringLiteral("Workstation ID=straße;Password=pw;Data Source=srv;"),
         {},
         {},
         QStringLiteral("srv"),
         QStringLiteral("pw")},
        {"empty value",
         QStringLiteral("Password=;Data Source=srv;"),
         {},
         {},
         QStringLiteral("srv"),
         QString()},
    };
    erp.installT6();
    for (const Case& c : cases) {
        st().ufLogin.reset(); // a fresh bridge: Server is kept from one call to the next
        ErpOutcome o = adminLogin();
        o.dbConnect = c.dbConnect;
        o.sysPassword = c.sysPassword;
        o.server = c.cServer;
        erp.outcomes.append(o);

        EXPECT_TRUE(bridge().Regedit()) << c.why;

        EXPECT_EQ(bridge().Server(), c.server) << c.why;
        EXPECT_EQ(bridge().DBPwd(), c.password) << c.why;
        ASSERT_NE(verificationParams(), nullptr);
        EXPECT_EQ(verificationParams()->password, c.password) << c.why;
        EXPECT_EQ(verificationParams()->server, c.server) << c.why;
    }
}

TEST_F(ErpLoginTest, VerificationConnectionGetsEveryValueIntact) {
    struct Case {
        QString accId;
        QString year;
        QString database;
    };
    const Case cases[] = {
        {QStringLiteral("001"), QStringLiteral("2012"), QStringLiteral("UFdata_001_2012")},
        {QStringLiteral("001"), QString(), QStringLiteral("UFSystem")},
        {QString(), QStringLiteral("2012"), QStringLiteral("UFSystem")},
    };
    erp.installT6();
    const QString password = QStringLiteral("p;w}d'=x");
    for (const Case& c : cases) {
        ErpOutcome o = adminLogin();
        o.accId = c.accId;
        o.year = c.year;
        o.sysPassword = password;
        erp.outcomes.append(o);

        EXPECT_TRUE(connect());

        ASSERT_NE(verificationParams(), nullptr);
        EXPECT_EQ(verificationParams()->server, QStringLiteral("ERPSRV"));
        EXPECT_EQ(verificationParams()->database, c.database);
        EXPECT_EQ(verificationParams()->user, QStringLiteral("SA"));
        EXPECT_EQ(verificationParams()->password, password) << "handed over, never spliced";
        EXPECT_EQ(bridge().DBName(), c.database);
        EXPECT_EQ(st().SqlPassword, password);
    }
}

} // namespace
} // namespace quenlor
