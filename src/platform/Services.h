#pragma once

#include "platform/Failure.h"

#include <QList>
#include <QString>

namespace quenlor {

// The service manager could not be asked (WMI missing, access refused).
struct ServiceError : PlatformFailure {};

struct ServiceInfo {
    QString displayName;
    QString state; // "Running", "Stopped", ... as the service manager reports it
};

// The installed services, a hidden command line and a pause. Elsewhere than on Windows there are
// no services and no command is run.
class Services {
public:
    virtual ~Services() = default;
    // In the order the service manager returns them; throws ServiceError when it cannot be asked.
    virtual QList<ServiceInfo> list() = 0;
    // Starts a command line without a window and without waiting; false when it could not start.
    virtual bool runHidden(const QString& commandLine) = 0;
    virtual void sleep(int milliseconds) = 0;
};

class NoServices final : public Services {
public:
    QList<ServiceInfo> list() override { return {}; }
    bool runHidden(const QString&) override { return false; }
    void sleep(int milliseconds) override;
};

} // namespace quenlor
