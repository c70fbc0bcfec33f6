#include "core/deletion/ServiceControl.h"

#include "core/app/ProgramState.h"

#include <optional>

namespace quenlor {

namespace {

constexpr int kChecks = 10;
constexpr int kPauseMs = 1000;

// The service manager's state of the first service with exactly this display name; nothing when
// there is none or the manager could not be asked. Either way there is no service to work with,
// and the callers say so in their own words.
std::optional<QString> findState(const QString& displayName) {
    try {
        const QList<ServiceInfo> services = state().services->list();
        for (const ServiceInfo& s : services) {
            if (s.displayName == displayName)
                return s.state;
        }
    } catch (const ServiceError&) {
    }
    return std::nullopt;
}

// Starts the NET command and waits, a second between checks, until the service reports `awaited`.
bool runAndAwait(const QString& command, const QString& displayName, const QString& awaited) {
    if (!ServiceExists(displayName))
        return false;
    // A command that fails (or does not start) shows only in a state that never arrives.
    (void)state().services->runHidden(command + displayName);
    for (int check = 0; check < kChecks; ++check) {
        if (GetServiceState(displayName) == awaited)
            return true;
        state().services->sleep(kPauseMs);
    }
    return false;
}

} // namespace

bool ServiceExists(const QString& displayName) {
    return findState(displayName).has_value();
}

QString GetServiceState(const QString& displayName) {
    const std::optional<QString> s = findState(displayName);
    if (!s)
        return {};
    if (*s == QLatin1String("Running"))
        return QStringLiteral("已启动");
    if (*s == QLatin1String("Stopped"))
        return QStringLiteral("停止");
    return {};
}

bool NetStopService(const QString& displayName) {
    return runAndAwait(QStringLiteral("cmd /c NET STOP "), displayName, QStringLiteral("停止"));
}

bool NetStartService(const QString& displayName) {
    return runAndAwait(QStringLiteral("cmd /c NET START "), displayName, QStringLiteral("已启动"));
}

} // namespace quenlor
