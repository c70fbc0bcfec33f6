#include "core/deletion/ServiceControl.h"

#include "support/TestState.h"

#include <optional>

namespace quenlor {
namespace {

using test::FakeServices;

// Stands in front of the fixture's service table: counts the listings the functions ask for
// (separately those after a command ran, the state checks) and can make the listing fail.
class CountingServices final : public Services {
public:
    CountingServices(std::unique_ptr<Services> inner, FakeServices& fake)
        : m_inner(std::move(inner)), m_fake(fake) {}

    int listings = 0;
    int checksAfterCommand = 0;
    std::optional<ServiceError> failure;

    QList<ServiceInfo> list() override {
        ++listings;
        if (!m_fake.commands.isEmpty())
            ++checksAfterCommand;
        if (failure)
            throw *failure;
        return m_inner->list();
    }
    bool runHidden(const QString& commandLine) override { return m_inner->runHidden(commandLine); }
    void sleep(int milliseconds) override { m_inner->sleep(milliseconds); }

private:
    std::unique_ptr<Services> m_inner;
    FakeServices& m_fake;
};

class ServiceControl : public test::StateFixture {
protected:
    ServiceControl() {
        auto counting = std::make_unique<CountingServices>(std::move(st().services), *services);
        counter = counting.get();
        st().services = std::move(counting);
    }

    void install(QList<ServiceInfo> table) { services->table = std::move(table); }

    CountingServices* counter = nullptr;
    const QString task = QStringLiteral("U8TaskService");
};

ServiceInfo service(const char* displayName, const char* state) {
    return {QString::fromUtf8(displayName), QString::fromUtf8(state)};
}

TEST_F(ServiceControl, DisplayNameMustMatchExactlyWithLetterCase) {
    install({service("u8taskservice", "Running"), service("U8TaskService ", "Running"),
             service("U8 TaskService", "Running"), service("Spooler", "Running")});
    EXPECT_FALSE(ServiceExists(task));
    EXPECT_EQ(GetServiceState(task), QString());

    services->table.append(service("U8TaskService", "Stopped"));
    EXPECT_TRUE(ServiceExists(task));
    EXPECT_EQ(GetServiceState(task), QStringLiteral("停止"));
}

TEST_F(ServiceControl, FirstOfTwoEqualDisplayNamesIsTheOneLookedAt) {
    install({service("U8TaskService", "Stopped"), service("U8TaskService", "Running")});
    EXPECT_EQ(GetServiceState(task), QStringLiteral("停止"));
    install({service("U8TaskService", "Running"), service("U8TaskService", "Stopped")});
    EXPECT_EQ(GetServiceState(task), QStringLiteral("已启动"));
}

TEST_F(ServiceControl, StateWordsForRunningStoppedAndEverythingElse) {
    install({service("Running one", "Running"), service("Stopped one", "Stopped"),
             service("Stopping one", "Stop Pending"), service("Starting one", "Start Pending"),
             service("Paused one", "Paused"), service("Lower case", "running")});
    EXPECT_EQ(GetServiceState(QStringLiteral("Running one")), QStringLiteral("已启动"));
    EXPECT_EQ(GetServiceState(QStringLiteral("Stopped one")), QStringLiteral("停止"));
    EXPECT_EQ(GetServiceState(QStringLiteral("Stopping one")), QString());
    EXPECT_EQ(GetServiceState(QStringLiteral("Starting one")), QString());
    EXPECT_EQ(GetServiceState(QStringLiteral("Paused one")), QString());
    EXPECT_EQ(GetServiceState(QStringLiteral("Lower case")), QString());
    EXPECT_EQ(GetServiceState(QStringLiteral("Not installed")), QString());
    // A pending service is still installed.
    EXPECT_TRUE(ServiceExists(QStringLiteral("Stopping one")));
}

TEST_F(ServiceControl, ServiceManagerFailureMeansNotFound) {
    install({service("U8TaskService", "Running")});
    counter->failure = ServiceError{{5, QStringLiteral("拒绝访问。")}};
    EXPECT_FALSE(ServiceExists(task));
    EXPECT_EQ(GetServiceState(task), QString());
}

// Stopping and starting follow one pattern with their own command and awaited state.
struct Direction {
    const char* label;
    bool (*run)(const QString&);
    const char* command;
    const char* before;  // the state the service is in when asked
    const char* reached; // the state the function waits for
};

class ServiceCommand : public ServiceControl, public ::testing::WithParamInterface<Direction> {
protected:
    QString command() const { return QString::fromUtf8(GetParam().command); }
    bool run() { return GetParam().run(task); }
};

TEST_P(ServiceCommand, NotInstalledRunsNothing) {
    install({service("Spooler", GetParam().before)});
    EXPECT_FALSE(run());
    EXPECT_TRUE(services->commands.isEmpty());
    EXPECT_TRUE(services->sleeps.isEmpty());
    EXPECT_EQ(counter->listings, 1);
}

TEST_P(ServiceCommand, ServiceManagerFailureRunsNothing) {
    install({service("U8TaskService", GetParam().before)});
    counter->failure = ServiceError{{0, QStringLiteral("WMI 不可用")}};
    EXPECT_FALSE(run());
    EXPECT_TRUE(services->commands.isEmpty());
    EXPECT_TRUE(services->sleeps.isEmpty());
}

TEST_P(ServiceCommand, ReachesTheStateOnTheThirdCheck) {
    install({service("Other", "Running"), service("U8TaskService", GetParam().before)});
    services->onSleep = [this] {
        if (services->sleeps.size() == 2)
            services->table[1].state = QString::fromUtf8(GetParam().reached);
    };
    EXPECT_TRUE(run());
    EXPECT_EQ(services->commands, QStringList{command()});
    EXPECT_EQ(services->sleeps, (QList<int>{1000, 1000}));
    EXPECT_EQ(counter->checksAfterCommand, 3);
}

TEST_P(ServiceCommand, NeverReachingTheStateGivesUpAfterTenChecksAndTenPauses) {
    install({service("U8TaskService", GetParam().before)});
    EXPECT_FALSE(run());
    EXPECT_EQ(services->commands, QStringList{command()});
    EXPECT_EQ(services->sleeps, QList<int>(10, 1000));
    EXPECT_EQ(counter->checksAfterCommand, 10);
}

TEST_P(ServiceCommand, AlreadyInTheStateIsDoneAtTheFirstCheck) {
    install({service("U8TaskService", GetParam().reached)});
    // The NET command fails on its own (or does not even start); the state decides.
    services->commandsStart = false;
    EXPECT_TRUE(run());
    EXPECT_EQ(services->commands, QStringList{command()});
    EXPECT_TRUE(services->sleeps.isEmpty());
    EXPECT_EQ(counter->checksAfterCommand, 1);
}

TEST_P(ServiceCommand, ServiceManagerFailingDuringTheChecksCountsAsNotReached) {
    install({service("U8TaskService", GetParam().before)});
    services->onCommand = [this](const QString&) {
        counter->failure = ServiceError{{0, QStringLiteral("RPC 服务器不可用。")}};
    };
    EXPECT_FALSE(run());
    EXPECT_EQ(services->sleeps, QList<int>(10, 1000));
}

INSTANTIATE_TEST_SUITE_P(
    StopAndStart, ServiceCommand,
    ::testing::Values(Direction{"Stop", NetStopService, "cmd /c NET STOP U8TaskService", "Running",
                                "Stopped"},
                      Direction{"Start", NetStartService, "cmd /c NET START U8TaskService",
                                "Stopped", "Running"}),
    [](const ::testing::TestParamInfo<Direction>& info) { return std::string(info.param.label); });

TEST_F(ServiceControl, StopWaitsForStoppedNotForAnyChangeOfState) {
    // A stop that passes through "Stop Pending" is not done until the service reports Stopped.
    install({service("U8TaskService", "Running")});
    services->onCommand = [this](const QString&) {
        services->table[0].state = QStringLiteral("Stop Pending");
    };
    services->onSleep = [this] {
        if (services->sleeps.size() == 4)
            services->table[0].state = QStringLiteral("Stopped");
    };
    EXPECT_TRUE(NetStopService(task));
    EXPECT_EQ(services->sleeps.size(), 4);
}

} // namespace
} // namespace quenlor
