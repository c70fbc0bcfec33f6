#include "core/login/clsUFLogin.h"

#include "core/app/Environment.h"
#include "core/app/ProgramState.h"
#include "core/app/WindowFactory.h"
#include "core/config/IniFile.h"
#include "core/login/StepRunner.h"

#include <exception>

namespace quenlor {

namespace {

const QString kFrameworkClass = QStringLiteral("UFSoft.U8.Framework.Login.UI.clsLogin");
const QString kT6LoginClass = QStringLiteral("U8Login.clsLogin");
const QString kT3LoginClass = QStringLiteral("UFLoginSQL.Login");
const QString kDbKitClass = QStringLiteral("USDbKit.UfDatabase");

const QString kInstallBroken =
    QStringLiteral("请检查用友软件系统安装是否正常，是否能正常登录及使用！");
const QString kNotAdministrator = QStringLiteral("登录失败：必须以系统管理员身份登录!");
const QString kNoServerName =
    QStringLiteral("您当前登录账套年度可能是以前版本等原因不能正常登录，请重新选择！");
const QString kAdministratorShare = QStringLiteral("系统管理员不能进行业务处理");

// Releases of U8 whose login this bridge cannot drive.
const QString kNewerU8Keys[] = {
    QStringLiteral("SOFTWARE\\用友软件\\用友ERP-U8\\8.61.000\\"),
    QStringLiteral("SOFTWARE\\用友软件\\用友ERP-U8V10.0\\8.10.000\\"),
    QStringLiteral("SOFTWARE\\用友软件\\用友软件\\用友U8V10.1\\8.10.000\\"),
    QStringLiteral("SOFTWARE\\用友软件\\用友U8V10.0\\"),
    QStringLiteral("SOFTWARE\\用友软件\\用友U8V10.1\\"),
};

constexpr int kInvalidCall = 5;
constexpr int kTypeMismatch = 13;

AutomationError noObject() {
    return {AutomationErrors::NoObject, QStringLiteral("对象变量或 With 块变量未设置")};
}

AutomationObject& objectIn(const QVariant& value) {
    const AutomationObjectPtr object = toObject(value);
    if (!object)
        throw noObject();
    return *object;
}

QString text(const QVariant& value) {
    return value.toString();
}

// A component may report a number as text; text that is no number cannot be compared.
double number(const QVariant& value) {
    if (!value.isValid() || value.isNull())
        return 0;
    bool ok = false;
    const double d = value.toDouble(&ok);
    if (!ok)
        throw AutomationError{kTypeMismatch, QStringLiteral("类型不匹配")};
    return d;
}

bool componentMissing(const LastError& e) {
    return e.number == AutomationErrors::CannotCreateObject ||
           e.number == AutomationErrors::NoObject || e.number == AutomationErrors::NoSuchMember;
}

// Upper case one code unit at a time, so that a position found in the copy is the same
// position in the original (full case mapping would turn "ß" into "SS").
QString upperKeepingPositions(const QString& s) {
    QString out = s;
    for (QChar& c : out) {
        if (c.isSurrogate())
            continue;
        const char32_t upper = QChar::toUpper(char32_t(c.unicode()));
        if (upper <= 0xFFFF)
            c = QChar(char16_t(upper));
    }
    return out;
}

// The value of an entry of a connection text: from after the key up to the first ";" at or
// after the key, blanks trimmed. Without the key or the ";" there is no value to take.
QString connectionValue(const QString& connection, const QString& key) {
    const qsizetype p = upperKeepingPositions(connection).indexOf(key);
    const qsizetype end = p < 0 ? -1 : connection.indexOf(QLatin1Char(';'), p);
    if (end < 0)
        throw AutomationError{kInvalidCall, QStringLiteral("无效的过程调用或参数")};
    return trimSpaces(connection.mid(p + key.size(), end - p - key.size()));
}

} // namespace

AutomationObject& clsUFLogin::loginObject() const {
    if (!m_login)
        throw noObject();
    return *m_login;
}

bool clsUFLogin::verificationOpen() const {
    // Without a connector the connection object itself could not be made.
    if (!state().connector)
        throw noObject();
    return m_verification && m_verification->isOpen();
}

short clsUFLogin::ShowMsg(short kind, const QString& message) {
    if (!m_frmMsg) {
        ProgramState& s = state();
        if (!s.windows)
            return MsgResult::Ok;
        m_frmMsg = s.windows->createMessageDialog();
    }
    return m_frmMsg->ShowMsg(kind, message);
}

bool clsUFLogin::SpeLogin() {
    state().lastError.clear();
    bool found = false;
    try {
        for (const QString& key : kNewerU8Keys) {
            if (RegKeyExists(key, RegistryRoot::LocalMachine))
                found = true;
        }
    } catch (const std::exception&) {
        // A registry that cannot be read may well hold one of them: do not drive the login.
        return true;
    }
    return found;
}

bool clsUFLogin::Regedit() {
    // The administrator login always logs in to the system, never to an account.
    ProgramState& s = state();
    LastError& lastError = s.lastError;
    StepRunner run(lastError);

    m_Version = ProductFamily::None;
    m_Success = false;
    bool result = false;
    QString password;

    // Each pass is one login attempt; an operator who logs in to an account set instead of as
    // system administrator is sent back to the component's login.
    for (;;) {
        lastError.clear();
        m_Version = ProductFamily::None;
        run.step([&] { m_frameworkProbe = s.automation->create(kFrameworkClass); });
        if (!componentMissing(lastError) && lastError.description != kAutomationErrorText) {
            // The newer U8 logs in through its framework, which this bridge cannot drive.
            m_Version = ProductFamily::U8;
            return false;
        }

        m_Version = ProductFamily::T6;
        lastError.clear();
        run.step([&] { m_login = s.automation->create(kT6LoginClass); });
        if (lastError.number == AutomationErrors::NoObject) {
            ShowMsg(MsgKind::Error, kInstallBroken);
            return false;
        }
        if (lastError.number == AutomationErrors::CannotCreateObject ||
            lastError.number == AutomationErrors::NoSuchMember ||
            lastError.description == kAutomationErrorText) {
            lastError.clear();
            m_Version = ProductFamily::T3;
            run.step([&] { m_login = s.automation->create(kT3LoginClass); });
            if (componentMissing(lastError)) {
                m_Version = ProductFamily::None;
                return false;
            }
        }

        if (SpeLogin())
            return false;

        if (m_Version == ProductFamily::T6) {
            run.step([&] {
                loginObject().call(QStringLiteral("Login"),
                                   {QStringLiteral("AA"), QString(), QString(),
                                    QStringLiteral("admin"), QString(), QString(),
                                    GetLocalComputerName()});
            });
        } else {
            run.step(
                [&] { loginObject().call(QStringLiteral("LoginAs"), {QStringLiteral("DP")}); });
        }
        if (!lastError.description.isEmpty()) {
            // The login call failed: name the administrator on the component's login and try once
            // more; what comes of it is read from the component below, like any login.
            run.step([&] {
                objectIn(loginObject().get(QStringLiteral("Login")))
                    .put(QStringLiteral("cUsername"), QStringLiteral("Admin"));
            });
            run.step([&] { loginObject().call(QStringLiteral("Login"), {QStringLiteral("DP")}); });
        }

        if (run.holds(
                [&] { return number(loginObject().get(QStringLiteral("LogState"))) == 100; })) {
            run.step([&] { loginObject().call(QStringLiteral("ClearError")); });
            return false;
        }
        if (run.holds(
                [&] { return !text(loginObject().get(QStringLiteral("cAccName"))).isEmpty(); })) {
            ShowMsg(MsgKind::Notice, kNotAdministrator);
            continue;
        }
        break;
    }

    run.step([&] { m_dbKit = s.automation->create(kDbKitClass); });
    run.step([&] {
        const QVariant dbName = loginObject().get(QStringLiteral("UfDbName"));
        if (!m_dbKit)
            throw noObject();
        m_dbKit->call(QStringLiteral("OpenDatabase"), {dbName});
    });

    QString connection;
    run.step([&] {
        connection = text(objectIn(loginObject().get(QStringLiteral("UfSystemDb")))
                              .get(QStringLiteral("DbConnect")));
    });
    run.step([&] { password = connectionValue(connection, QStringLiteral("PASSWORD=")); });
    run.step([&] { m_Server = connectionValue(connection, QStringLiteral("DATA SOURCE=")); });
    password.remove(QLatin1Char('"'));
    if (run.holds(
            [&] { return !text(loginObject().get(QStringLiteral("SysPassword"))).isEmpty(); }))
        run.step([&] { password = text(loginObject().get(QStringLiteral("SysPassword"))); });
    if (password == QLatin1String("''"))
        password.clear();
    m_DBPwd = password;
    if (m_Server.isEmpty())
        run.step([&] { m_Server = text(loginObject().get(QStringLiteral("cServer"))); });
    m_DBUser = QStringLiteral("SA");

    run.step([&] {
        const QString account = text(loginObject().get(QStringLiteral("cacc_id")));
        const QString year = text(loginObject().get(QStringLiteral("ciyear")));
        m_DBName = QStringLiteral("UFdata_") + account + QLatin1Char('_') + year;
    });
    if (run.holds([&] {
            const bool noAccount = text(loginObject().get(QStringLiteral("cacc_id"))).isEmpty();
            const bool noYear = text(loginObject().get(QStringLiteral("ciyear"))).isEmpty();
            return noAccount || noYear;
        }))
        m_DBName = QStringLiteral("UFSystem");

    // Proves the derived login. The connector protects every value, so a password holding ";"
    // or "}" reaches the server as it is.
    run.step([&] {
        m_verification.reset();
        if (!s.connector)
            throw noObject();
        m_verification = s.connector->open({m_Server, m_DBName, m_DBUser, password});
    });
    if (run.holds([&] { return verificationOpen(); })) {
        m_Success = true;
        result = true;
    } else if (run.holds([&] {
                   return text(loginObject().get(QStringLiteral("sharestring"))) ==
                          kAdministratorShare;
               })) {
        // The component refuses the administrator any business work, which only an
        // administrator login is told.
        m_Success = true;
        result = true;
    }
    return result;
}

Read<bool> UFLoginConnect() {
    ProgramState& s = state();
    clsUFLogin& bridge = s.UFLogin();
    bridge.setAdmin(s.AdminLogin);
    bridge.setOperator(s.OperatorLogin);
    bridge.Regedit();
    if (bridge.Success()) {
        s.SqlServer = bridge.Server();
        s.SqlUser = bridge.DBUser();
        s.SqlPassword = bridge.DBPwd();
        if (!s.SqlServer.isEmpty())
            return {true, Outcome::done()};
        bridge.ShowMsg(MsgKind::Error, kNoServerName);
    }
    if (!s.lastError.description.isEmpty())
        return {false, Outcome::failed(s.lastError.description, s.lastError.number)};
    return {false, Outcome::done()};
}

} // namespace quenlor
