#include "support/FakeErpComponents.h"

namespace quenlor::test {

void FakeErpComponents::installFramework() {
    m_automation.registerClass(QStringLiteral("UFSoft.U8.Framework.Login.UI.clsLogin"),
                               [] { return std::make_shared<FakeObject>(); });
}

void FakeErpComponents::installT6() {
    installLogin(QStringLiteral("U8Login.clsLogin"), false);
}

void FakeErpComponents::installT3() {
    installLogin(QStringLiteral("UFLoginSQL.Login"), true);
}

void FakeErpComponents::installLogin(const QString& progId, bool withLoginAs) {
    m_automation.registerClass(progId, [this, withLoginAs] {
        auto login = std::make_shared<FakeObject>();
        FakeObject* self = login.get();
        // Read without arguments, Login gives the object that names the user.
        login->setMethod(QStringLiteral("Login"), [this, self](const QVariantList& args) {
            if (args.isEmpty()) {
                auto user = std::make_shared<FakeObject>();
                user->setProperty(QStringLiteral("cUsername"), QString());
                return toVariant(user);
            }
            logIn(*self);
            return QVariant(true);
        });
        if (withLoginAs) {
            login->setMethod(QStringLiteral("LoginAs"), [this, self](const QVariantList&) {
                logIn(*self);
                return QVariant(true);
            });
        }
        login->setMethod(QStringLiteral("ClearError"),
                         [](const QVariantList&) { return QVariant(); });
        for (const QString& member : std::as_const(missing))
            login->methods.remove(member.toLower());
        return login;
    });
    m_automation.registerClass(QStringLiteral("USDbKit.UfDatabase"), [] {
        auto kit = std::make_shared<FakeObject>();
        kit->setMethod(QStringLiteral("OpenDatabase"),
                       [](const QVariantList&) { return QVariant(); });
        return kit;
    });
}

void FakeErpComponents::logIn(FakeObject& login) {
    ErpOutcome outcome;
    if (m_next < outcomes.size())
        outcome = outcomes.at(m_next);
    else
        outcome.logState = 100;
    ++m_next;
    if (outcome.raises)
        throw *outcome.raises;

    auto systemDb = std::make_shared<FakeObject>();
    systemDb->setProperty(QStringLiteral("DbConnect"), outcome.dbConnect);
    login.setProperty(QStringLiteral("LogState"), outcome.logState);
    login.setProperty(QStringLiteral("cAccName"), outcome.accName);
    login.setProperty(QStringLiteral("UfDbName"), QStringLiteral("UFDB"));
    login.setProperty(QStringLiteral("UfSystemDb"), toVariant(systemDb));
    login.setProperty(QStringLiteral("SysPassword"), outcome.sysPassword);
    login.setProperty(QStringLiteral("cServer"), outcome.server);
    login.setProperty(QStringLiteral("cacc_id"), outcome.accId);
    login.setProperty(QStringLiteral("ciyear"), outcome.year);
    login.setProperty(QStringLiteral("sharestring"), outcome.shareString);
    for (const QString& member : std::as_const(missing))
        login.properties.remove(member.toLower());
}

} // namespace quenlor::test
