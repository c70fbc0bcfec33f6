#pragma once

#include "core/app/Product.h"

#include <QString>

namespace quenlor {

// The program's start-up: single copy, login, connections, product detection, main window.
void Main();
// What Main does once logged in: the three connections, the server's version and the product
// detection, each step whatever became of the one before.
void OpenConnectionsAndDetect();

[[nodiscard]] ProductFamily DetectProductType();
[[nodiscard]] UfCatalogue DetectProductSubType();
[[nodiscard]] QString GetSystemDbName(ProductFamily productType);

} // namespace quenlor
