#include "support/FakeAutomation.h"

namespace quenlor::test {

namespace {
[[noreturn]] void noMember() {
    throw AutomationError{AutomationErrors::NoSuchMember, QStringLiteral("对象不支持该属性或方法")};
}
} // namespace

QVariant FakeObject::get(const QString& member, const QVariantList& args) {
    const QString key = member.toLower();
    if (auto it = properties.constFind(key); it != properties.constEnd())
        return *it;
    if (auto it = methods.constFind(key); it != methods.constEnd())
        return (*it)(args);
    noMember();
}

void FakeObject::put(const QString& member, const QVariant& value) {
    const QString key = member.toLower();
    if (!properties.contains(key))
        noMember();
    properties.insert(key, value);
}

QVariant FakeObject::call(const QString& member, const QVariantList& args) {
    if (auto it = methods.constFind(member.toLower()); it != methods.constEnd())
        return (*it)(args);
    noMember();
}

void FakeAutomation::registerClass(const QString& progId,
                                   std::function<std::shared_ptr<FakeObject>()> factory) {
    m_classes.insert(progId, std::move(factory));
}

void FakeAutomation::failCreate(const QString& progId, AutomationError error) {
    m_failures.insert(progId, std::move(error));
}

AutomationObjectPtr FakeAutomation::create(const QString& progId) {
    if (auto it = m_failures.constFind(progId); it != m_failures.constEnd())
        throw *it;
    if (auto it = m_classes.constFind(progId); it != m_classes.constEnd())
        return (*it)();
    throw AutomationError{AutomationErrors::CannotCreateObject,
                          QStringLiteral("ActiveX 部件不能创建对象")};
}

} // namespace quenlor::test
