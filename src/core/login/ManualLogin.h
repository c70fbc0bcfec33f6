#pragma once

#include "core/app/Outcome.h"
#include "platform/Database.h"

#include <QString>

#include <memory>

namespace quenlor {

class SqlLoginDialog;

// Shows the manual server login dialog, preset from Config.ini; true when the operator confirmed
// a working login, which is then in SqlServer, SqlUser and SqlPassword. When the operator gives
// up, the last failure recorded on the way (if any) is the outcome.
[[nodiscard]] Read<bool> ManualLogin();

// The dialog's test connection: opens `database` on the typed server with the typed login and
// password, exactly as typed. On failure the result is empty, and the outcome and the last-error
// record hold the driver's failure, which also goes to `failure` when one is given.
[[nodiscard]] Read<std::unique_ptr<Database>>
openTestConnection(const QString& server, const QString& database, const QString& user,
                   const QString& password, DbError* failure = nullptr);

// openTestConnection in two halves, so the dialog's thread need not wait for the driver: the
// attempt touches nothing but the connector (it runs on the server worker); taking its result
// records the failure as openTestConnection does.
struct TestConnectionAttempt {
    ConnectionParams params;
    std::unique_ptr<Database> opened;
    DbError failure;
};
void attemptTestConnection(DatabaseConnector& connector, TestConnectionAttempt& attempt);
[[nodiscard]] Read<std::unique_ptr<Database>> takeTestConnection(TestConnectionAttempt& attempt,
                                                                 DbError* failure = nullptr);

// What the login dialog tells the operator after a failed test connection.
struct LoginFailureNotice {
    QString text;
    // The server could not be reached: the server box, not the password, is to be retyped.
    bool serverUnreachable = false;
};
[[nodiscard]] LoginFailureNotice loginFailureNotice(const QString& server, const DbError& error);

// Presets the login dialog's ServerName, UserName and Password from section Login of Config.ini.
void LoadLoginDefaults(SqlLoginDialog& dialog);

// Texts of the login dialog.
inline const QString kLoginRetryText = QStringLiteral("输入数据库用户名或密码有误, 请重新输入!");
inline const QString kServerUnreachableText = QStringLiteral("无法连接到服务器 %1：");

} // namespace quenlor
