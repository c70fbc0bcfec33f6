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
                                                   const QString& user, const QString& password) {
    ProgramState& s = state();
    try {
        auto conn = s.connector->open({server, database, user, password});
        if (conn && conn->isOpen())
            return {std::move(conn), Outcome::done()};
        s.lastError.set(-1, QStringLiteral("连接未能打开。"));
    } catch (const DbError& e) {
        s.lastError.set(e.number, e.description);
    }
    return {nullptr, Outcome::failed(s.lastError.description, s.lastError.number)};
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
