#pragma once

#include "platform/Failure.h"

#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariant>

#include <memory>

namespace quenlor {

// The automation runtime's classic error numbers, which the ERP login bridge tests.
namespace AutomationErrors {
inline constexpr int CannotCreateObject = 429;
inline constexpr int NoSuchMember = 438;
inline constexpr int NoObject = 91;
inline constexpr int Other = 440; // "自动化错误"
} // namespace AutomationErrors

inline const QString kAutomationErrorText = QStringLiteral("自动化错误");

struct AutomationError : PlatformFailure {};

// A late-bound object: members are reached by name. Values are QVariants; an object value holds
// an AutomationObjectPtr. Every call may throw AutomationError.
class AutomationObject {
public:
    virtual ~AutomationObject() = default;
    virtual QVariant get(const QString& member, const QVariantList& args = {}) = 0;
    virtual void put(const QString& member, const QVariant& value) = 0;
    virtual QVariant call(const QString& member, const QVariantList& args = {}) = 0;
};

using AutomationObjectPtr = std::shared_ptr<AutomationObject>;

// Creates objects by ProgID; throws AutomationError (429 when the class cannot be created).
class Automation {
public:
    virtual ~Automation() = default;
    virtual AutomationObjectPtr create(const QString& progId) = 0;
};

// Where there is no automation host: nothing can be created.
class NoAutomation final : public Automation {
public:
    AutomationObjectPtr create(const QString& progId) override;
};

// Wraps an object into a value and back; an empty pointer when the value holds no object.
QVariant toVariant(const AutomationObjectPtr& object);
AutomationObjectPtr toObject(const QVariant& value);

} // namespace quenlor

Q_DECLARE_METATYPE(quenlor::AutomationObjectPtr)
