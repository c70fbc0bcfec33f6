#pragma once

#include <QString>

#include <memory>

namespace quenlor {

class Database;
class SqlLoginDialog;

// Shows the manual server login dialog, preset from Config.ini; true when the operator confirmed
// a working login, which is then in SqlServer, SqlUser and SqlPassword.
[[nodiscard]] bool ManualLogin(QString& errorText);

// The dialog's test connection: opens `database` on the typed server with the typed login and
// password, exactly as typed. On failure errorText and the last-error record hold the driver's
// text and the result is empty.
[[nodiscard]] std::unique_ptr<Database>
openTestConnection(const QString& server, const QString& database, const QString& user,
                   const QString& password, QString& errorText);

// Presets the login dialog's ServerName, UserName and Password from section Login of Config.ini.
void LoadLoginDefaults(SqlLoginDialog& dialog);

// Texts of the login dialog.
inline const QString kLoginRetryText = QStringLiteral("输入数据库用户名或密码有误, 请重新输入!");

} // namespace quenlor
