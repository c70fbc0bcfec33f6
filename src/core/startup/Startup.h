#pragma once

#include "core/app/Outcome.h"
#include "core/app/Product.h"

#include <QString>

namespace quenlor {

// The program's start-up: single copy, login, connections, product detection, main window.
void Main();
// What Main does once logged in: the three connections, the server's version and the product
// detection, each step whatever became of the one before.
void OpenConnectionsAndDetect();

// Before an action reads the server: each connection the driver knows to be lost (the server
// restarted, the link dropped) is opened again with the same login, once per action. A
// connection start-up could not open stays as it is. The failure names the server and gives the
// driver's text.
[[nodiscard]] Outcome ReopenLostConnections();

[[nodiscard]] ProductFamily DetectProductType();
[[nodiscard]] UfCatalogue DetectProductSubType();
[[nodiscard]] QString GetSystemDbName(ProductFamily productType);

} // namespace quenlor
