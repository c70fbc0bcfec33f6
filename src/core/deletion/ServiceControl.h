#pragma once

#include <QString>

namespace quenlor {

// The ERP's task service, found by its display name (exact, case-sensitive; the first service of
// that name counts). A service manager that cannot be asked shows no such service.

inline const QString kTaskServiceName = QStringLiteral("U8TaskService");

[[nodiscard]] bool ServiceExists(const QString& displayName);
// "已启动" when running, "停止" when stopped, empty for any other state or no such service.
[[nodiscard]] QString GetServiceState(const QString& displayName);
// Runs "cmd /c NET STOP <name>" and checks up to ten times, a second apart, for "停止".
[[nodiscard]] bool NetStopService(const QString& displayName);
// Runs "cmd /c NET START <name>" and checks up to ten times, a second apart, for "已启动".
bool NetStartService(const QString& displayName);

} // namespace quenlor
