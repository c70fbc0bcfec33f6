#include "core/deletion/ServiceControl.h"

#include "support/TestState.h"

namespace quenlor {
namespace {

const QString kTask = QStringLiteral("U8TaskService");

using ServiceControl = test::StateFixture;

// Only a service with exactly this display name counts, and the first of two; only Running and
// Stopped have a state word.
TEST_F(ServiceControl, StateOfTheFirstServiceWithExactlyThatDisplayName) {
    for (const char* name : {"u8taskservice", "U8TaskService ", "U8 TaskService"}) {
        services->table = {ServiceInfo{name, "Running"}};
        EXPECT_FALSE(ServiceExists(kTask)) << name;
        EXPECT_EQ(GetServiceState(kTask), QString()) << name;
    }
    services->table = {ServiceInfo{"U8TaskService", "Stop Pending"}};
    EXPECT_TRUE(ServiceExists(kTask));
    EXPECT_EQ(GetServiceState(kTask), QString()) << "no word for a pending state";
    services->table = {ServiceInfo{"U8TaskService", "Stopped"},
                       ServiceInfo{"U8TaskService", "Running"}};
    EXPECT_EQ(GetServiceState(kTask), QStringLiteral("停止"));
    services->failure = ServiceError{{5, QStringLiteral("拒绝访问。")}};
    EXPECT_FALSE(ServiceExists(kTask)) << "a service manager that cannot be asked shows nothing";
}

// Stopping and starting follow one pattern with their own command and awaited state.
struct Direction {
    const char* label;
    bool (*run)(const QString&);
    const char* command;
    const char* before;  // the state the service is in when asked
    const char* reached; // the state the function waits for
};

class ServiceCommand : public ServiceControl, public ::testing::WithParamInterface<Direction> {};

// The command's own result does not count (here it never starts): only the state reached does,
// checked up to ten times with a second's pause after each miss. Without the service nothing
// runs.
TEST_P(ServiceCommand, RunsTheCommandAndWaitsForTheStateTenChecksAtMost) {
    const struct {
        const char* name;
        const char* displayName;
        int reachedAfterPauses; // -1: never
        bool managerLost;       // once the command ran
        bool done;
        int pauses;
    } cases[] = {
        {"not installed", "Spooler", -1, false, false, 0},
        {"already there", "U8TaskService", 0, false, true, 0},
        {"reached at the third check", "U8TaskService", 2, false, true, 2},
        {"never reached", "U8TaskService", -1, false, false, 10},
        {"service manager lost after the command", "U8TaskService", -1, true, false, 10},
    };
    const Direction& d = GetParam();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        *services = test::FakeServices();
        services->commandsStart = false;
        services->table = {
            ServiceInfo{c.displayName, c.reachedAfterPauses == 0 ? d.reached : d.before}};
        services->onCommand = [&](const QString&) {
            if (c.managerLost)
                services->failure = ServiceError{{0, QStringLiteral("RPC 服务器不可用。")}};
        };
        services->onSleep = [&] {
            if (services->sleeps.size() == c.reachedAfterPauses)
                services->table[0].state = d.reached;
        };
        EXPECT_EQ(d.run(kTask), c.done);
        EXPECT_EQ(services->commands,
                  c.displayName == kTask ? QStringList{d.command} : QStringList());
        EXPECT_EQ(services->sleeps, QList<int>(c.pauses, 1000));
    }
}

INSTANTIATE_TEST_SUITE_P(
    StopAndStart, ServiceCommand,
    ::testing::Values(Direction{"Stop", NetStopService, "cmd /c NET STOP U8TaskService", "Running",
                                "Stopped"},
                      Direction{"Start", NetStartService, "cmd /c NET START U8TaskService",
                                "Stopped", "Running"}),
    [](const ::testing::TestParamInfo<Direction>& info) { return std::string(info.param.label); });

} // namespace
} // namespace quenlor
