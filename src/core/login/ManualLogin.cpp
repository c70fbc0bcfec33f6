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


std::unique_ptr<Database> openTestConnection(const QString& server, const QString& database,
                                             const QString& user, const QString& password,
                                             QString& errorText) {
    ProgramState& s = state();
    try {
        auto conn = s.connector->open({server, database, user, password});
        if (conn && conn->isOpen()) {
            errorText.clear();
            return conn;
        }
        s.lastError.set(-1, QStringLiteral("连接未能打开。"));
    } catch (const DbError& e) {
        s.lastError.set(e.nativeError, e.message);
    }
    errorText = s.lastError.description;
    return {};
}

bool ManualLogin(QString& errorText) {
    ProgramState& s = state();
    errorText.clear();
    if (s.windows) {
        s.frmSQLLogin = s.windows->createSqlLoginDialog();
        SqlLoginDialog& dialog = *s.frmSQLLogin;
        LoadLoginDefaults(dialog);
        dialog.ConnSql();
        if (dialog.Confirmed) {
            s.SqlServer = dialog.ServerName;
            s.SqlUser = dialog.UserName;
            s.SqlPassword = dialog.Password;
            return true;
        }
    }
    if (!s.lastError.description.isEmpty())
        errorText = s.lastError.description;
    return false;
}

} // namespace quenlor
