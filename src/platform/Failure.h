#pragma once

#include <QString>

namespace quenlor {

// What every platform failure carries: the native number (the server's error number, the
// automation runtime's number, a system code; 0 when there is none) and the text to show.
struct PlatformFailure {
    int number = 0;
    QString description;
};

} // namespace quenlor
