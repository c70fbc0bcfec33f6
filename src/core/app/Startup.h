#pragma once

#include <QString>

namespace quenlor {

// The program's start-up: single copy, login, connections, product detection, main window.
void Main();
// What Main does once logged in: the three connections, the server's version and the product
// detection, each step whatever became of the one before.
void OpenConnectionsAndDetect();

[[nodiscard]] QString DetectProductType();
[[nodiscard]] QString DetectProductSubType();
[[nodiscard]] QString GetSystemDbName(const QString& productType);

} // namespace quenlor
