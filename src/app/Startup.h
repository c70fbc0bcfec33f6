#pragma once

#include <QString>

namespace quenlor {

// The program's start-up: single copy, login, connections, product detection, main window.
void Main();

[[nodiscard]] QString DetectProductType();
[[nodiscard]] QString DetectProductSubType();
[[nodiscard]] QString GetSystemDbName(const QString& productType);

// The program's title.
inline const QString kProgramTitle = QStringLiteral("Quenlor");

} // namespace quenlor
