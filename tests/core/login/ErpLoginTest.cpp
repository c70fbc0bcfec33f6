#include "core/login/clsUFLogin.h"

#include "support/FakeErpComponents.h"
#include "support/TestState.h"

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
const QString kNoObject = QStringLiteral("对象变量或 With 块变量未设置");
const QString kAutomation = QStringLiteral("自动化错误");
const char* const kT6 = "U8Login.clsLogin";
const char* const kErpsrv = "Password=s3cret;User ID=sa;Data Source=ERPSRV;";

// One login call's outcome: an administrator in account set 001, year 2012, unless told otherwise.
ErpOutcome login(const char* dbConnect = kErpsrv, const char* accName = "") {
    ErpOutcome o;
    o.dbConnect = QString::fromUtf8(dbConnect);
    o.accName = QString::fromUtf8(accName);
    o.accId = QStringLiteral("001");
    o.year = QStringLiteral("2012");
    return o;
}

ErpOutcome with(ErpOutcome o, QString ErpOutcome::*field, const char* value) {
    o.*field = QString::fromUtf8(value);
    return o;
}
ErpOutcome raising() {
    ErpOutcome o;
    o.raises = AutomationError{-2147467259, kAutomation};
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

    // Logs in as the program does; a reported failure lands in errorText.
    bool connect() {
        const Read<bool> result = UFLoginConnect();
        if (!result.outcome)
            errorText = result.outcome.text();
        return result.value;
    }
    // The bridge's outcome: Success|Version|Server|DBUser|DBPwd|DBName.
    QString outcome() {
        clsUFLogin& b = bridge();
        return QStringList{b.Success() ? "1" : "0",
                           productName(b.Version()),
                           b.Server(),
                           b.DBUser(),
                           b.DBPwd(),
                           b.DBName()}
            .join(u'|');
    }
    // Messages shown by the bridge, as "kind|text": it has a dialog of its own.
    QStringList bridgeMessages() {
        EXPECT_TRUE(messages->shown.isEmpty()) << "the program's message dialog was used";
        QStringList shown;
        for (const auto& dialog : windows->messageDialogs)
            for (const auto& [kind, text] : dialog->shown)
                shown.append(QString::number(kind) + QLatin1Char('|') + text);
        return shown;
    }
};

// --- Which component is there, and what one login through it gives ---

struct Row {
    const char* name;
    // 'F' the newer framework, '6' T6, '3' T3; 'K' a newer U8's registry key, 'R' no registry
    const char* installed;
    const char* broken; // a class whose creation fails, or null
    AutomationError failure;
    QList<ErpOutcome> outcomes;
    const char* result; // Success|Version|Server|DBUser|DBPwd|DBName
    QStringList messages;
    const char* error = nullptr; // the failure the login reports; null: not looked at
};

const AutomationError kNone;

// clang-format off
const Row kRows[] = {
    {"NewerU8FrameworkDeclinesBeforeAnyLogin", "F6", nullptr, kNone, {login()}, "0|U8||||", {}, ""},
    {"NewerU8RegistryKeyStopsTheT6Login", "6K", nullptr, kNone, {login()}, "0|T6||||", {}, ""},
    {"UnreadableRegistryCountsAsANewerU8", "6R", nullptr, kNone, {login()}, "0|T6||||", {}, ""},
    {"NoObjectFromT6AsksToCheckTheInstallationAndT3IsNotTried", "3", kT6, {91, kNoObject},
     {login()}, "0|T6||||", {kInstallMsg}, "对象变量或 With 块变量未设置"},
    {"NoComponentDeclinesSilently", "", nullptr, kNone, {}, "0|||||", {}, "ActiveX 部件不能创建对象"},
    {"AccountLoginIsRefusedUntilTheLoginIsClosed", "6", nullptr, kNone, {login(kErpsrv, "演示账套")},
     "0|T6||||", {kAdminMsg}},
    {"AdministratorLoginAfterARefusedOneSucceeds", "6", nullptr, kNone,
     {login(kErpsrv, "001"), login("Password=second;Data Source=SRV2;")},
     "1|T6|SRV2|SA|second|UFdata_001_2012", {kAdminMsg}},
    {"FailedLoginCallLogsInAgain", "6", nullptr, kNone, {raising(), login()},
     "1|T6|ERPSRV|SA|s3cret|UFdata_001_2012", {}},
    {"T3AdministratorOutsideAnyAccountGetsTheSystemDatabaseAndEveryValueIntact", "3", nullptr,
     kNone, {with(with(login(), &ErpOutcome::accId, ""), &ErpOutcome::sysPassword, "p;w}d'=x")},
     "1|T3|ERPSRV|SA|p;w}d'=x|UFSystem", {}, ""},
    // Logged in, but with no server to connect to: the operator is told to choose again.
    {"SuccessWithoutAServerNameIsNoLogin", "6", nullptr, kNone,
     {login("Password=pw;Initial Catalog=UFSystem;")}, "1|T6||SA|pw|UFdata_001_2012",
     {kNoServerMsg}, "无效的过程调用或参数"},
    // What the component's connection text yields.
    {"ConnectionKeysInAnyCaseOnlyBlanksTrimmed", "6", nullptr, kNone,
     {login("pAsSwOrD=  \tpa ss  ;data SOURCE= S\\U8 ;")}, "1|T6|S\\U8|SA|\tpa ss|UFdata_001_2012", {}},
    {"ConnectionQuotesGoAndALastValueWithoutSemicolonIsNotRead", "6", nullptr, kNone,
     {with(login("Password= \" p w\" ;Data Source=srv"), &ErpOutcome::server, "FALLBACK")},
     "1|T6|FALLBACK|SA| p w|UFdata_001_2012", {}},
    {"ConnectionLetterThatUpperCasesToTwoShiftsNothing", "6", nullptr, kNone,
     {login("Workstation ID=straße;Password=pw;Data Source=srv;")}, "1|T6|srv|SA|pw|UFdata_001_2012", {}},
    // A T6 component that cannot be used falls to T3.
    {"T6NotCreatableFallsToT3", "3", kT6, {429, "ActiveX 部件不能创建对象"}, {login()},
     "1|T3|ERPSRV|SA|s3cret|UFdata_001_2012", {}, ""},
};
// clang-format on

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
    if (installed.contains(u'K'))
        registry->keys = {QStringLiteral("SOFTWARE\\用友软件\\用友U8V10.1\\")};
    if (installed.contains(u'R'))
        st().registry = std::make_unique<ThrowingRegistry>();
    if (row.broken)
        automation->failCreate(QLatin1String(row.broken), row.failure);
    erp.outcomes = row.outcomes;

    const bool connected = connect();

    EXPECT_EQ(outcome(), QString::fromUtf8(row.result));
    EXPECT_EQ(bridgeMessages(), row.messages);
    if (row.error) {
        EXPECT_EQ(errorText, QString::fromUtf8(row.error));
    }
    clsUFLogin& b = bridge();
    // A logged-in bridge hands its login to the program, even one without a server.
    const QStringList handed =
        b.Success() ? QStringList{b.Server(), b.DBUser(), b.DBPwd()} : QStringList{"", "", ""};
    EXPECT_EQ((QStringList{st().SqlServer, st().SqlUser, st().SqlPassword}), handed);
    EXPECT_EQ(connected, b.Success() && !b.Server().isEmpty());
    if (!b.Success()) {
        EXPECT_TRUE(server.opens.empty()) << "nothing opened without a login";
    }
    if (!connected)
        return;
    ASSERT_EQ(server.opens.size(), 1u);
    const ConnectionParams& p = server.opens.back();
    EXPECT_EQ((QStringList{p.server, p.user, p.password, p.database}),
              handed + QStringList{b.DBName()})
        << "handed over, never spliced";
    Database* verification = ClsUFLoginTestAccess::verification(b);
    ASSERT_NE(verification, nullptr) << "the verification connection stays with the bridge";
    EXPECT_TRUE(verification->isOpen());
}

INSTANTIATE_TEST_SUITE_P(Erp, ErpLoginOutcome, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ErpLoginTest, OnlyTheMissingObjectErrorsOfTheProbeMeanNoFramework) {
    const std::pair<AutomationError, const char*> cases[] = {
        {{429, "ActiveX 部件不能创建对象"}, ""},
        {{438, "对象不支持该属性或方法"}, ""},
        {{91, kNoObject}, ""},
        {{440, kAutomation}, ""},
        {{-2147221164, kAutomation}, ""},
        // Any other failure means the class is registered, if broken: still the newer U8.
        {{-2147024894, "系统找不到指定的文件。"}, "U8"},
        {{440, "自动化错误 "}, "U8"},
    };
    for (const auto& [error, version] : cases) {
        automation->failCreate(QStringLiteral("UFSoft.U8.Framework.Login.UI.clsLogin"), error);
        EXPECT_FALSE(bridge().Regedit()) << error.number;
        EXPECT_EQ(productName(bridge().Version()), QLatin1String(version)) << error.number;
    }
}

TEST_F(ErpLoginTest, AdministratorTextStandsInForAConnectionThatDidNotOpen) {
    erp.installT6();
    erp.outcomes = {with(login(), &ErpOutcome::shareString, "系统管理员不能进行业务处理"),
                    with(login(), &ErpOutcome::shareString, "系统管理员")};
    server.failOpen(
        QStringLiteral("UFdata_001_2012"),
        DbError{QStringLiteral("28000"), 18456, QStringLiteral("用户 'SA' 登录失败。")});

    EXPECT_TRUE(connect());
    EXPECT_TRUE(bridge().Success());
    EXPECT_EQ(ClsUFLoginTestAccess::verification(bridge()), nullptr);
    EXPECT_EQ(st().SqlServer, QStringLiteral("ERPSRV"));

    EXPECT_FALSE(connect()) << "any other text leaves the login unproven";
    EXPECT_FALSE(bridge().Success());
    EXPECT_EQ(errorText, QStringLiteral("用户 'SA' 登录失败。"));
    EXPECT_TRUE(bridgeMessages().isEmpty());
}

} // namespace
} // namespace quenlor
