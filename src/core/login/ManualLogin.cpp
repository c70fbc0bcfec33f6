#include "core/login/ManualLogin.h"

#include "core/app/Environment.h"
#include "core/app/ProgramState.h"
#include "core/config/IniFile.h"
#include "core/login/SqlLoginDialog.h"
#include "platform/Database.h"

namespace quenlor {

void LoadLoginDefaults(SqlLoginDialog& dialog) {
    if (!FileExists(programFile(QStringLiteral("Config.ini"))))
        return;
    const QString section = QStringLiteral("Login");
    dialog.ServerName =
        trimSpaces(ReadIniValue(section, QStringLiteral("Server"), QStringLiteral("127.0.0.1")));
    dialog.UserName = trimSpaces(ReadIniValue(section, QStringLiteral("Sa"), QStringLiteral("SA")));
    dialog.Password = trimSpaces(ReadIniValue(section, QStringLiteral("Pwd"), QString()));
}

Read<std::unique_ptr<Database>> openTestConnection(const QString& server, const QString& database,
                                                   const QString& user, const QString& password,
                                                   DbError* failure) {
    TestConnectionAttempt attempt{{server, database, user, password}, nullptr, {}};
    attemptTestConnection(*state().connector, attempt);
    return takeTestConnection(attempt, failure);
}

void attemptTestConnection(DatabaseConnector& connector, TestConnectionAttempt& attempt) {
    try {
        attempt.opened = connector.open(attempt.params);
        if (attempt.opened && attempt.opened->isOpen())
            return;
        attempt.opened.reset();
        attempt.failure = DbError{QString(), -1, QStringLiteral("连接未能打开。")};
    } catch (const DbError& e) {
        attempt.failure = e;
    }
}

Read<std::unique_ptr<Database>> takeTestConnection(TestConnectionAttempt& attempt,
                                                   DbError* failure) {
    if (attempt.opened)
        return {std::move(attempt.opened), Outcome::done()};
    state().lastError.set(attempt.failure.number, attempt.failure.description);
    if (failure)
        *failure = attempt.failure;
    return {nullptr, Outcome::failed(attempt.failure)};
}

namespace {
// The connection could not be made or was lost before the server answered the login: the
// SQLSTATEs of a failed or broken link and of a time-out, and the network numbers of FreeTDS
// (20002 to 20013) and of the Windows drivers (Named Pipes 53, Winsock refused, timed out,
// unknown host).
bool serverUnreachable(const DbError& e) {
    if (e.number == 18456)
        return false;
    for (const char* state : {"08001", "08S01", "HYT00", "HYT01"}) {
        if (e.sqlState.compare(QLatin1String(state), Qt::CaseInsensitive) == 0)
            return true;
    }
    for (const int number :
         {20002, 20003, 20004, 20006, 20009, 20012, 20013, 53, 10060, 10061, 11001, 11004}) {
        if (e.number == number)
            return true;
    }
    return false;
}
} // namespace

LoginFailureNotice loginFailureNotice(const QString& server, const DbError& error) {
    if (!serverUnreachable(error))
        return {kLoginRetryText, false};
    return {kServerUnreachableText.arg(server) + error.description, true};
}

Read<bool> ManualLogin() {
    ProgramState& s = state();
    if (s.windows) {
        s.frmSQLLogin = s.windows->createSqlLoginDialog();
        SqlLoginDialog& dialog = *s.frmSQLLogin;
        LoadLoginDefaults(dialog);
        dialog.ConnSql();
        if (dialog.Confirmed) {
            s.SqlServer = dialog.ServerName;
            s.SqlUser = dialog.UserName;
            s.SqlPassword = dialog.Password;
            return {true, Outcome::done()};
        }
    }
    // Given up: the last failure recorded on the way, if any, is why.
    if (!s.lastError.description.isEmpty())
        return {false, Outcome::failed(s.lastError.description, s.lastError.number)};
    return {false, Outcome::done()};
}

} // namespace quenlor
