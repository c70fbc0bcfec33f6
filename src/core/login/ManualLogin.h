#pragma once

#include "core/app/Outcome.h"

#include <QString>

#include <memory>

namespace quenlor {

class Database;
class SqlLoginDialog;

// Shows the manual server login dialog, preset from Config.ini; true when the operator confirmed
// a working login, which is then in SqlServer, SqlUser and SqlPassword. When the operator gives
// up, the last failure recorded on the way (if any) is the outcome.
[[nodiscard]] Read<bool> ManualLogin();

// The dialog's test connection: opens `database` on the typed server with the typed login and
// password, exactly as typed. On failure the result is empty, and the outcome and the last-error
// record hold the driver's failure.
[[nodiscard]] Read<std::unique_ptr<Database>> openTestConnection(const QString& server,
                                                                 const QString& database,
                                                                 const QString& user,
                                                                 const QString& password);

// Presets the login dialog's ServerName, UserName and Password from section Login of Config.ini.
void LoadLoginDefaults(SqlLoginDialog& dialog);

// Texts of the login dialog.
inline const QString kLoginRetryText = QStringLiteral("输入数据库用户名或密码有误, 请重新输入!");

} // namespace quenlor
