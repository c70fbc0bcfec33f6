#include "support/FakeAutomation.h"

namespace quenlor::test {

namespace {
QString argText(const QVariantList& args) {
    QStringList parts;
    for (const QVariant& a : args)
        parts.append(a.toString());
    return parts.join(QLatin1Char(','));
}

[[noreturn]] void noMember() {
    throw AutomationError{AutomationErrors::NoSuchMember, QStringLiteral("对象不支持该属性或方法")};
}
} // namespace

QVariant FakeObject::get(const QString& member, const QVariantList& args) {
    m_log.append(m_name + QStringLiteral(".get ") + member);
    const QString key = member.toLower();
    if (auto it = properties.constFind(key); it != properties.constEnd())
        return *it;
    if (auto it = methods.constFind(key); it != methods.constEnd())
        return (*it)(args);
    noMember();
}

void FakeObject::put(const QString& member, const QVariant& value) {
    m_log.append(m_name + QStringLiteral(".put ") + member + QLatin1Char('=') + value.toString());
    const QString key = member.toLower();
    if (!properties.contains(key))
        noMember();
    properties.insert(key, value);
}

QVariant FakeObject::call(const QString& member, const QVariantList& args) {
    m_log.append(m_name + QStringLiteral(".call ") + member + QLatin1Char('(') + argText(args) +
                 QLatin1Char(')'));
    const QString key = member.toLower();
    if (auto it = methods.constFind(key); it != methods.constEnd())
        return (*it)(args);
    noMember();
}

void FakeAutomation::registerClass(
    const QString& progId, std::function<std::shared_ptr<FakeObject>(QStringList&)> factory) {
    m_classes.insert(progId, std::move(factory));
}

void FakeAutomation::failCreate(const QString& progId, AutomationError error) {
    m_failures.insert(progId, std::move(error));
}

AutomationObjectPtr FakeAutomation::create(const QString& progId) {
    log.append(QStringLiteral("create ") + progId);
    if (auto it = m_failures.constFind(progId); it != m_failures.constEnd())
        throw *it;
    if (auto it = m_classes.constFind(progId); it != m_classes.constEnd())
        return (*it)(log);
    throw AutomationError{AutomationErrors::CannotCreateObject,
                          QStringLiteral("ActiveX 部件不能创建对象")};
}

} // namespace quenlor::test
