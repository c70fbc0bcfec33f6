#pragma once

#include "platform/Automation.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace quenlor {

class HostChannel;

// Automation through the host process (quenlor-com32.exe), which holds the ERP's 32-bit
// components for the 64-bit program and answers over its standard input and output. The host is
// started on first use. A host that dies or stops answering becomes an automation failure; the
// program never waits for it without limit.
class HostAutomation final : public Automation {
public:
    struct Options {
        QString program;       // the host, or a launcher such as wine
        QStringList arguments; // with a launcher: the host's path
        int startTimeoutMs = 15000;
        // Reads, writes and releases answer at once; a method may open the component's own login
        // window and wait for the operator, so it gets much longer.
        int propertyTimeoutMs = 60000;
        int methodTimeoutMs = 15 * 60 * 1000;
    };

    explicit HostAutomation(Options options);
    ~HostAutomation() override;

    AutomationObjectPtr create(const QString& progId) override;

    // The host's process id, 0 when none runs (tests end it to see the failure).
    [[nodiscard]] qint64 hostProcessId() const;

private:
    std::shared_ptr<HostChannel> m_channel;
};

} // namespace quenlor
