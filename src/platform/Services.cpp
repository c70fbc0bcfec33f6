#include "platform/Services.h"

#include <QThread>

namespace quenlor {

void NoServices::sleep(int milliseconds) {
    QThread::msleep(static_cast<unsigned long>(milliseconds));
}

} // namespace quenlor
