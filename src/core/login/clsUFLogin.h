#pragma once

#include "core/app/MessageSink.h"
#include "core/app/Outcome.h"
#include "core/app/Product.h"
#include "platform/Automation.h"
#include "platform/Database.h"

#include <QString>

#include <memory>

namespace quenlor {

// The bridge to the ERP's own login component. It learns which product line is installed and
// turns an ERP administrator login into the SQL Server name, login and password.
class clsUFLogin {
public:
    void setAdmin(bool value) { m_Admin = value; }
    void setOperator(bool value) { m_Operator = value; }

    [[nodiscard]] bool Success() const { return m_Success; }
    // The product line the ERP's login belongs to, None when no login component answered.
    [[nodiscard]] ProductFamily Version() const { return m_Version; }
    [[nodiscard]] const QString& Server() const { return m_Server; }
    [[nodiscard]] const QString& DBUser() const { return m_DBUser; }
    [[nodiscard]] const QString& DBPwd() const { return m_DBPwd; }
    [[nodiscard]] const QString& DBName() const { return m_DBName; }

    // The administrator login through the ERP component; the result equals Success.
    bool Regedit();

    // True when one of the newer U8 releases, which this login cannot drive, is registered on
    // this computer. Clears the last-error record.
    bool SpeLogin();

    // Shows a message in the bridge's own message dialog, created on first use.
    short ShowMsg(short kind, const QString& text);
    // Destroys that dialog (with the program's other windows); the automation objects stay.
    void releaseDialog() { m_frmMsg.reset(); }

private:
    friend struct ClsUFLoginTestAccess;

    // The login object of the current attempt; raises 91 when there is none.
    AutomationObject& loginObject() const;
    // True when the verification connection is open; raises 91 when it could not be made.
    [[nodiscard]] bool verificationOpen() const;

    bool m_Admin = false;
    bool m_Operator = false;
    bool m_Success = false;
    ProductFamily m_Version = ProductFamily::None;
    QString m_Server;
    QString m_DBUser;
    QString m_DBPwd;
    QString m_DBName;

    // Kept until the program ends; nothing shuts the ERP component down.
    AutomationObjectPtr m_login;
    AutomationObjectPtr m_frameworkProbe;
    AutomationObjectPtr m_dbKit;
    std::unique_ptr<Database> m_verification;
    std::unique_ptr<MessageSink> m_frmMsg;
};

// Logs in through the ERP as system administrator and fills SqlServer, SqlUser and SqlPassword.
// True when logged in; when not, the last recorded failure (if any) is the outcome.
[[nodiscard]] Read<bool> UFLoginConnect();

} // namespace quenlor
