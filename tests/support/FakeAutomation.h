#pragma once

#include "platform/Automation.h"

#include <QHash>
#include <QStringList>

#include <functional>
#include <memory>

namespace quenlor::test {

// A scripted late-bound object: properties in a map, methods as functions. A member that is
// neither raises 438, as a real object does. Every access is recorded in the shared call log as
// "<name>.get <member>", "<name>.put <member>=<value>" or "<name>.call <member>(<args>)".
class FakeObject final : public AutomationObject {
public:
    using Method = std::function<QVariant(const QVariantList&)>;

    FakeObject(QString name, QStringList& log) : m_name(std::move(name)), m_log(log) {}

    QHash<QString, QVariant> properties; // member names compared without regard to case
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

private:
    QString m_name;
    QStringList& m_log;
};

// ProgIDs mapped to factories; an unknown ProgID raises 429. A ProgID may instead be scripted to
// raise any error number.
class FakeAutomation final : public Automation {
public:
    QStringList log;

    // Registers a class; the factory gets the call log to build its objects with.
    void registerClass(const QString& progId,
                       std::function<std::shared_ptr<FakeObject>(QStringList&)> factory);
    void failCreate(const QString& progId, AutomationError error);

    AutomationObjectPtr create(const QString& progId) override;

private:
    QHash<QString, std::function<std::shared_ptr<FakeObject>(QStringList&)>> m_classes;
    QHash<QString, AutomationError> m_failures;
};

} // namespace quenlor::test
