#include "core/login/clsUFLogin.h"

#include "support/FakeErpComponents.h"
#include "support/TestState.h"

#include <memory>
#include <optional>
#include <stdexcept>

namespace quenlor {

// Looks at what the bridge keeps once a login is over.
struct ClsUFLoginTestAccess {
    static Database* verification(const clsUFLogin& bridge) { return bridge.m_verification.get(); }
};

namespace {

using test::ErpOutcome;

const QString kInstallMsg =
    QStringLiteral("4|请检查用友软件系统安装是否正常，是否能正常登录及使用！");
const QString kAdminMsg = QStringLiteral("1|登录失败：必须以系统管理员身份登录!");
const QString kNoServerMsg =
    QStringLiteral("4|您当前登录账套年度可能是以前版本等原因不能正常登录，请重新选择！");

const QString kCannotCreate = QStringLiteral("ActiveX 部件不能创建对象");
const QString kNoObject = QStringLiteral("对象变量或 With 块变量未设置");
const QString kNoMember = QStringLiteral("对象不支持该属性或方法");
const QString kAutomation = QStringLiteral("自动化错误");
const QString kT6 = QStringLiteral("U8Login.clsLogin");

const QStringList kNewerU8Keys = {
    QStringLiteral("SOFTWARE\\用友软件\\用友ERP-U8\\8.61.000\\"),
    QStringLiteral("SOFTWARE\\用友软件\\用友ERP-U8V10.0\\8.10.000\\"),
    QStringLiteral("SOFTWARE\\用友软件\\用友软件\\用友U8V10.1\\8.10.000\\"),
    QStringLiteral("SOFTWARE\\用友软件\\用友U8V10.0\\"),
    QStringLiteral("SOFTWARE\\用友软件\\用友U8V10.1\\"),
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
public:
    using StateFixture::automation;
    using StateFixture::registry;
    using StateFixture::server;
    using StateFixture::st;

    test::FakeErpComponents erp{*automation};
    QString errorText;

protected:
    clsUFLogin& bridge() { return st().UFLogin(); }

    // Logs in as the program does; a reported failure lands in errorText, as the program's
    // ErrorText would get it.
    bool connect() {
        const Read<bool> result = UFLoginConnect();
        if (!result.outcome)
            errorText = result.outcome.text();
        return result.value;
    }

    // The bridge's outcome: Success|Version|Server|DBUser|DBPwd|DBName.
    std::string outcome() {
        clsUFLogin& b = bridge();
        return QStringList{b.Success() ? QStringLiteral("1") : QStringLiteral("0"),
                           productName(b.Version()),
                           b.Server(),
                           b.DBUser(),
                           b.DBPwd(),
                           b.DBName()}
            .join(u'|')
            .toStdString();
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

// --- Which component is there, and what one login through it gives ---

struct Row {
    const char* name;
    const char* installed; // 'F' the newer framework, '6' T6, '3' T3
    const char* broken;    // a class whose creation fails, or null
    AutomationError failure;
    QString registryKey; // a key the registry has
    QList<ErpOutcome> outcomes;
    const char* result; // Success|Version|Server|DBUser|DBPwd|DBName
    QStringList messages;
    qsizetype logins;           // login calls made on the component
    const char* error;          // the failure the login reports; null: not looked at
    const char* program = "||"; // the program's server|user|password afterwards
};

ErpOutcome admin(const char* dbConnect = nullptr) {
    ErpOutcome o = adminLogin();
    if (dbConnect)
        o.dbConnect = QString::fromLatin1(dbConnect);
    return o;
}
ErpOutcome account(const char* name) {
    ErpOutcome o = adminLogin();
    o.accName = QString::fromUtf8(name);
    return o;
}
ErpOutcome closed(const QVariant& logState) {
    ErpOutcome o = adminLogin();
    o.logState = logState;
    return o;
}
ErpOutcome raising() {
    ErpOutcome o;
    o.raises = AutomationError{-2147467259, kAutomation};
    return o;
}
ErpOutcome outsideAnyAccount() {
    ErpOutcome o = adminLogin();
    o.accId.clear(); // the administrator is in no account set: the system database
    o.sysPassword = QStringLiteral("p;w}d'=x");
    return o;
}

const char* const kDerived = "1|T6|ERPSRV|SA|s3cret|UFdata_001_2012";

std::vector<Row> rows() {
    const AutomationError none;
    const AutomationError noObject{91, kNoObject}, otherFailure{-2147467259, kAutomation};
    // clang-format off
    std::vector<Row> r = {
        {"NewerU8FrameworkDeclinesBeforeAnyLogin", "F6", nullptr, none, {}, {admin()},
         "0|U8||||", {}, 0, ""},
        {"NoObjectFromT6AsksToCheckTheInstallationAndT3IsNotTried", "3", "U8Login.clsLogin",
         noObject, {}, {admin()}, "0|T6||||", {kInstallMsg}, 0, "对象变量或 With 块变量未设置"},
        {"NoComponentDeclinesSilently", "", nullptr, none, {}, {},
         "0|||||", {}, 0, "ActiveX 部件不能创建对象"},
        // Not a missing-object error, so the login goes on without an object and every member
        // access fails, down to the unreadable LogState that ends the attempt.
        {"T3FailingOtherwiseEndsWithoutALogin", "", "UFLoginSQL.Login", otherFailure, {}, {},
         "0|T3||||", {}, 0, "对象变量或 With 块变量未设置"},
        {"LogState100EndsTheAttempt", "6", nullptr, none, {}, {closed(100)},
         "0|T6||||", {}, 1, ""},
        {"AccountLoginIsRefusedUntilTheLoginIsClosed", "6", nullptr, none, {},
         {account("演示账套"), account("演示账套"), closed(QStringLiteral("100"))},
         "0|T6||||", {kAdminMsg, kAdminMsg}, 3, nullptr},
        {"AdministratorLoginAfterARefusedOneSucceeds", "6", nullptr, none, {},
         {account("001"), admin("Password=second;Data Source=SRV2;")},
         "1|T6|SRV2|SA|second|UFdata_001_2012", {kAdminMsg}, 2, nullptr, "SRV2|SA|second"},
        {"T6AdministratorLoginDerivesTheServerLogin", "6", nullptr, none, {}, {admin()},
         kDerived, {}, 1, "", "ERPSRV|SA|s3cret"},
        {"T3AdministratorOutsideAnyAccountGetsTheSystemDatabaseAndEveryValueIntact", "3", nullptr,
         none, {}, {outsideAnyAccount()},
         "1|T3|ERPSRV|SA|p;w}d'=x|UFSystem", {}, 1, "", "ERPSRV|SA|p;w}d'=x"},
        {"FailedLoginCallLogsInAgain", "6", nullptr, none, {}, {raising(), admin()},
         kDerived, {}, 2, nullptr, "ERPSRV|SA|s3cret"},
        // A T6 component that cannot be used falls to T3.
        {"T6NotCreatableFallsToT3", "3", "U8Login.clsLogin", {429, kCannotCreate}, {}, {admin()},
         "1|T3|ERPSRV|SA|s3cret|UFdata_001_2012", {}, 1, "", "ERPSRV|SA|s3cret"},
        {"T6WithoutTheMemberFallsToT3", "3", "U8Login.clsLogin", {438, kNoMember}, {}, {admin()},
         "1|T3|ERPSRV|SA|s3cret|UFdata_001_2012", {}, 1, "", "ERPSRV|SA|s3cret"},
        {"T6FailingOtherwiseFallsToT3", "3", "U8Login.clsLogin", otherFailure, {}, {admin()},
         "1|T3|ERPSRV|SA|s3cret|UFdata_001_2012", {}, 1, "", "ERPSRV|SA|s3cret"},
    };
    // clang-format on
    // Any one of the newer U8's registry keys stops the T6 login before it starts.
    const char* const keyNames[] = {"U8_861", "U8V10_0", "U8V10_1Nested", "U8V10_0Short",
                                    "U8V10_1Short"};
    for (int i = 0; i < kNewerU8Keys.size(); ++i)
        r.push_back(
            {keyNames[i], "6", nullptr, none, kNewerU8Keys[i], {admin()}, "0|T6||||", {}, 0, ""});
    return r;
}

class ErpLoginOutcome : public ErpLoginTest, public ::testing::WithParamInterface<Row> {};

TEST_P(ErpLoginOutcome, OfOneLogin) {
    const Row& row = GetParam();
    const QString installed = QLatin1String(row.installed);
    if (installed.contains(u'F'))
        erp.installFramework();
    if (installed.contains(u'6'))
        erp.installT6();
    if (installed.contains(u'3'))
        erp.installT3();
    if (row.broken)
        automation->failCreate(QLatin1String(row.broken), row.failure);
    if (!row.registryKey.isEmpty())
        registry->keys = {row.registryKey};
    erp.outcomes = row.outcomes;
    const bool succeeds = QByteArray(row.result).startsWith('1');

    EXPECT_EQ(connect(), succeeds);

    EXPECT_EQ(outcome(), row.result);
    EXPECT_EQ(bridgeMessages(), row.messages);
    EXPECT_EQ(erp.loginCalls.size(), row.logins);
    if (row.error) {
        EXPECT_EQ(errorText, QString::fromUtf8(row.error));
    }
    EXPECT_EQ(programLogin().join(u'|').toStdString(), row.program);
    if (succeeds) {
        ASSERT_NE(verificationParams(), nullptr);
        EXPECT_EQ(verificationParams()->server, st().SqlServer);
        EXPECT_EQ(verificationParams()->user, st().SqlUser);
        EXPECT_EQ(verificationParams()->password, st().SqlPassword) << "handed over, never spliced";
        EXPECT_EQ(verificationParams()->database, bridge().DBName());
        Database* verification = ClsUFLoginTestAccess::verification(bridge());
        ASSERT_NE(verification, nullptr) << "the verification connection stays with the bridge";
        EXPECT_TRUE(verification->isOpen());
    } else {
        EXPECT_TRUE(server.opens.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Erp, ErpLoginOutcome, ::testing::ValuesIn(rows()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ErpLoginTest, OnlyTheMissingObjectErrorsOfTheProbeMeanNoFramework) {
    struct Case {
        AutomationError error;
        const char* version;
    };
    const Case cases[] = {
        {{429, kCannotCreate}, ""},
        {{438, kNoMember}, ""},
        {{91, kNoObject}, ""},
        {{440, kAutomation}, ""},
        {{-2147221164, kAutomation}, ""},
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

TEST_F(ErpLoginTest, EachAttemptLogsInAsTheAdministratorAndTestsAllRegistryKeysAgain) {
    erp.installT6();
    erp.outcomes = {account("001"), adminLogin()};
    EXPECT_TRUE(connect());
    EXPECT_EQ(registry->asked, kNewerU8Keys + kNewerU8Keys);
    EXPECT_EQ(erp.loginCalls.last(),
              (QVariantList{QStringLiteral("AA"), QString(), QString(), QStringLiteral("admin"),
                            QString(), QString(), QStringLiteral("TESTPC")}));
}

TEST_F(ErpLoginTest, UnreadableRegistryCountsAsANewerU8) {
    st().registry = std::make_unique<ThrowingRegistry>();
    erp.installT6();
    erp.outcomes = {adminLogin()};
    EXPECT_FALSE(connect());
    EXPECT_EQ(bridge().Version(), ProductFamily::T6);
    EXPECT_TRUE(erp.loginCalls.isEmpty());
}

TEST_F(ErpLoginTest, ComponentWithoutLogStateNeverLogsIn) {
    erp.installT6();
    erp.missing = {QStringLiteral("LogState")};
    erp.outcomes = {adminLogin()};
    EXPECT_FALSE(connect());
    EXPECT_FALSE(bridge().Success());
    EXPECT_EQ(errorText, kNoMember);
    EXPECT_TRUE(server.opens.empty());
}

TEST_F(ErpLoginTest, FailedLoginCallNamesTheAdministrator) {
    erp.installT6();
    ErpOutcome refused;
    refused.raises = AutomationError{-2147467259, kAutomation};
    erp.outcomes = {refused, adminLogin()};
    EXPECT_TRUE(connect());
    EXPECT_TRUE(automation->log.contains(QStringLiteral("user.put cUsername=Admin")));
    EXPECT_EQ(erp.loginCalls.last(), QVariantList{QStringLiteral("DP")});
}

TEST_F(ErpLoginTest, ItsDialogGoesWithTheProgramsWindowsAndTheComponentsStay) {
    automation->failCreate(kT6, {91, kNoObject});
    EXPECT_FALSE(connect());
    ASSERT_EQ(bridgeMessages(), QStringList{kInstallMsg});
    auto destroyed = std::make_shared<bool>(false);
    windows->messageDialogs.first()->onDestroyed = [destroyed] { *destroyed = true; };

    st().releaseWindows();

    EXPECT_TRUE(*destroyed) << "the dialog would outlive the application object";
    EXPECT_NE(st().ufLogin, nullptr);
    EXPECT_EQ(st().windows, nullptr) << "no window can be made afterwards";
}

TEST_F(ErpLoginTest, AdministratorTextStandsInForAConnectionThatDidNotOpen) {
    erp.installT6();
    ErpOutcome admin = adminLogin();
    admin.shareString = QStringLiteral("系统管理员不能进行业务处理");
    ErpOutcome other = adminLogin();
    other.shareString = QStringLiteral("系统管理员");
    erp.outcomes = {admin, other};
    server.failOpen(
        QStringLiteral("UFdata_001_2012"),
        DbError{QStringLiteral("28000"), 18456, QStringLiteral("用户 'SA' 登录失败。")});

    EXPECT_TRUE(connect());
    EXPECT_TRUE(bridge().Success());
    EXPECT_EQ(ClsUFLoginTestAccess::verification(bridge()), nullptr);
    EXPECT_EQ(programLogin().join(u'|'), QStringLiteral("ERPSRV|SA|s3cret"));

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
    EXPECT_EQ(bridgeMessages(), QStringList{kNoServerMsg});
    EXPECT_EQ(programLogin(), (QStringList{QString(), QStringLiteral("SA"), QStringLiteral("pw")}))
        << "copied before the server name is looked at";
    EXPECT_EQ(errorText, QStringLiteral("无效的过程调用或参数"))
        << "the missing Data Source entry was the last failure";
}

TEST_F(ErpLoginTest, UnreadableConnectionStateCountsAsSuccess) {
    erp.installT6();
    erp.outcomes = {adminLogin()};
    st().connector.reset(); // no connection object can be made

    EXPECT_TRUE(bridge().Regedit());

    EXPECT_TRUE(bridge().Success());
    EXPECT_EQ(bridge().Server(), QStringLiteral("ERPSRV"));
    EXPECT_EQ(st().lastError.number, 91);
}

// --- What the component's connection text yields ---

TEST_F(ErpLoginTest, ConnectionTextGivesServerAndPassword) {
    struct Case {
        const char* why;
        const char* dbConnect;
        const char* sysPassword;
        const char* cServer;
        const char* server;
        const char* password;
    };
    const Case cases[] = {
        {"keys in any letter case, blanks around values",
         "provider=SQLOLEDB;pAsSwOrD=  pa ss  ;data SOURCE= ERPSRV\\U8 ;", "", "", "ERPSRV\\U8",
         "pa ss"},
        {"quotes go, blanks inside them stay", "Data Source=srv;Password= \" p w\" ;", "", "",
         "srv", " p w"},
        {"a value last without ';' is not read", "Password=pw;Data Source=srv", "", "FALLBACK",
         "FALLBACK", "pw"},
        {"SysPassword wins and keeps its quotes", "Password=a;Data Source=srv;", "\"b\"", "", "srv",
         "\"b\""},
        {"two apostrophes are no password", "Password=\"''\";Data Source=srv;", "", "", "srv", ""},
        {"... also from SysPassword", "Password=a;Data Source=srv;", "''", "", "srv", ""},
        {"a blank before '=' is another key", "Password =pw;Data Source=srv;", "", "", "srv", ""},
        {"only blanks are trimmed", "Password=\tpw ;Data Source=srv;", "", "", "srv", "\tpw"},
        {"a letter that upper-cases to two does not shift positions",
         "Workstation ID=straße;Password=pw;Data Source=srv;", "", "", "srv", "pw"},
    };
    erp.installT6();
    for (const Case& c : cases) {
        st().ufLogin.reset(); // a fresh bridge: Server is kept from one call to the next
        ErpOutcome o = adminLogin();
        o.dbConnect = QString::fromUtf8(c.dbConnect);
        o.sysPassword = QString::fromUtf8(c.sysPassword);
        o.server = QString::fromUtf8(c.cServer);
        erp.outcomes.append(o);

        EXPECT_TRUE(bridge().Regedit()) << c.why;

        EXPECT_EQ(bridge().Server(), QString::fromUtf8(c.server)) << c.why;
        EXPECT_EQ(bridge().DBPwd(), QString::fromUtf8(c.password)) << c.why;
        ASSERT_NE(verificationParams(), nullptr);
        EXPECT_EQ(verificationParams()->password, QString::fromUtf8(c.password)) << c.why;
        EXPECT_EQ(verificationParams()->server, QString::fromUtf8(c.server)) << c.why;
    }
}

} // namespace
} // namespace quenlor
