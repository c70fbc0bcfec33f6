#pragma once

#include <QString>

namespace quenlor {

// The bridge to the ERP's own login component. It learns which product line is installed and
// turns an ERP administrator login into the SQL Server name, login and password.
class clsUFLogin {
public:
    void setAdmin(bool value) { m_Admin = value; }
    void setOperator(bool value) { m_Operator = value; }

    [[nodiscard]] bool Success() const { return m_Success; }
    [[nodiscard]] const QString& Version() const { return m_Version; }
    [[nodiscard]] const QString& Server() const { return m_Server; }
    [[nodiscard]] const QString& DBUser() const { return m_DBUser; }
    [[nodiscard]] const QString& DBPwd() const { return m_DBPwd; }
    [[nodiscard]] const QString& DBName() const { return m_DBName; }

    // The administrator login through the ERP component. Until the bridge drives a component it
    // finds none and declines.
    bool Regedit();

private:
    friend struct ClsUFLoginTestAccess;

    bool m_Admin = false;
    bool m_Operator = false;
    bool m_Success = false;
    QString m_Version;
    QString m_Server;
    QString m_DBUser;
    QString m_DBPwd;
    QString m_DBName;
};

// Logs in through the ERP as system administrator and fills SqlServer, SqlUser and SqlPassword.
// The seven further texts are handed to the login unchanged.
[[nodiscard]] bool UFLoginConnect(QString& errorText, QString& pSubId, QString& pAccId,
                                  QString& pYearId, QString& pUserId, QString& pPassword,
                                  QString& pDate, QString& cSrv);

} // namespace quenlor
