#pragma once

#include "platform/Services.h"

#include <QList>
#include <QStringList>

#include <functional>
#include <optional>

namespace quenlor::test {

// A scripted service table. runHidden records the command line; onCommand may change the table
// (a stop command that takes effect after some pauses, for example). With `failure` set the
// service manager cannot be asked.
class FakeServices final : public Services {
public:
    QList<ServiceInfo> table;
    QStringList commands;
    QList<int> sleeps;
    bool commandsStart = true;
    std::function<void(const QString&)> onCommand;
    std::function<void()> onSleep;
    std::optional<ServiceError> failure;

    QList<ServiceInfo> list() override {
        if (failure)
            throw *failure;
        return table;
    }
    bool runHidden(const QString& commandLine) override {
        commands.append(commandLine);
        if (onCommand)
            onCommand(commandLine);
        return commandsStart;
    }
    void sleep(int milliseconds) override {
        sleeps.append(milliseconds);
        if (onSleep)
            onSleep();
    }
};

} // namespace quenlor::test
