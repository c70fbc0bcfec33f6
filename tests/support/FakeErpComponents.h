#pragma once

#include "support/FakeAutomation.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

namespace quenlor::test {

// What the ERP login component reports after one login call.
struct ErpOutcome {
    QVariant logState = 1;
    QString accName;     // cAccName
    QString dbConnect;   // UfSystemDb.DbConnect
    QString sysPassword; // SysPassword
    QString server;      // cServer
    QString accId;       // cacc_id
    QString year;        // ciyear
    QString shareString; // sharestring
    // The login call raises this instead of logging in.
    std::optional<AutomationError> raises;
};

// The ERP's login components, scripted on FakeAutomation: the newer framework's class, the login
// components of the two older product lines and their database kit.
class FakeErpComponents {
public:
    explicit FakeErpComponents(FakeAutomation& automation) : m_automation(automation) {}

    void installFramework();
    // The login component of the product line, together with the database kit.
    void installT6();
    void installT3();

    // Outcomes of successive login calls, over every login object made. Once they run out the
    // component reports LogState 100, as when the operator closes its login window, so a
    // scripted login always ends.
    QList<ErpOutcome> outcomes;
    // Members the login objects lack; using them raises 438.
    QStringList missing;

private:
    void installLogin(const QString& progId, bool withLoginAs);
    void logIn(FakeObject& login);

    FakeAutomation& m_automation;
    qsizetype m_next = 0;
};

} // namespace quenlor::test
