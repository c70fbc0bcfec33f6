#pragma once

#include "platform/Automation.h"

#include <QHash>
#include <QStringList>

#include <functional>
#include <memory>

namespace quenlor::test {

// A scripted late-bound object: properties in a map, methods as functions, member names compared
// without regard to case. A member that is neither raises 438, as a real object does.
class FakeObject final : public AutomationObject {
public:
    using Method = std::function<QVariant(const QVariantList&)>;

    QHash<QString, QVariant> properties;
    QHash<QString, Method> methods;

    void setProperty(const QString& member, const QVariant& value) {
        properties.insert(member.toLower(), value);
    }
    void setMethod(const QString& member, Method m) {
        methods.insert(member.toLower(), std::move(m));
    }

    QVariant get(const QString& member, const QVariantList& args) override;
    void put(const QString& member, const QVariant& value) override;
    QVariant call(const QString& member, const QVariantList& args) override;
};

// ProgIDs mapped to factories; an unknown ProgID raises 429. A ProgID may instead be scripted to
// raise any error number.
class FakeAutomation final : public Automation {
public:
    void registerClass(const QString& progId, std::function<std::shared_ptr<FakeObject>()> factory);
    void failCreate(const QString& progId, AutomationError error);

    AutomationObjectPtr create(const QString& progId) override;

private:
    QHash<QString, std::function<std::shared_ptr<FakeObject>()>> m_classes;
    QHash<QString, AutomationError> m_failures;
};

} // namespace quenlor::test
