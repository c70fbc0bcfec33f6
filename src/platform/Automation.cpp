#include "platform/Automation.h"

namespace quenlor {

AutomationObjectPtr NoAutomation::create(const QString& progId) {
    Q_UNUSED(progId);
    throw AutomationError{AutomationErrors::CannotCreateObject,
                          QStringLiteral("ActiveX 部件不能创建对象")};
}

QVariant toVariant(const AutomationObjectPtr& object) {
    return QVariant::fromValue(object);
}

AutomationObjectPtr toObject(const QVariant& value) {
    if (value.canConvert<AutomationObjectPtr>())
        return value.value<AutomationObjectPtr>();
    return {};
}

} // namespace quenlor
