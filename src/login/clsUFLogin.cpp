#include "login/clsUFLogin.h"

#include "app/ProgramState.h"

namespace quenlor {

bool clsUFLogin::Regedit() {
    m_Version.clear();
    m_Success = false;
    return false;
}

bool UFLoginConnect(QString& errorText, QString& pSubId, QString& pAccId, QString& pYearId,
                    QString& pUserId, QString& pPassword, QString& pDate, QString& cSrv) {
    Q_UNUSED(errorText);
    Q_UNUSED(pSubId);
    Q_UNUSED(pAccId);
    Q_UNUSED(pYearId);
    Q_UNUSED(pUserId);
    Q_UNUSED(pPassword);
    Q_UNUSED(pDate);
    Q_UNUSED(cSrv);
    // No ERP login component is driven yet: decline, so the manual login follows.
    return false;
}

} // namespace quenlor
