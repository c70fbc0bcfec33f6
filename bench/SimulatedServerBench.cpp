// The program against the large simulated server (999 account sets of ten years each: 10,000
// databases), through the real ODBC driver and TCP: start-up to a filled grid, a listing
// refresh, a run of 100 deletions and the preview of the same rows. Each result carries the
// server's share (time the simulator spent answering) and the client's (everything else: the
// program, the driver, the network). Last, the window's thread while the server worker does the
// same: the longest it went without turning its event loop. Run: build/<preset>/bench/quenlor_bench
// --benchmark_filter=Simulated
#include "core/app/ProgramState.h"
#include "core/app/QueuedSinks.h"
#include "core/app/ServerWorker.h"
#include "core/deletion/DeletionRun.h"
#include "core/deletion/PreviewEffects.h"
#include "core/deletion/ProgressSink.h"
#include "core/listing/MainListing.h"
#include "core/login/ManualLogin.h"
#include "core/startup/Startup.h"
#include "platform/Services.h"
#include "support/FakeAutomation.h"
#include "support/FakeSystem.h"
#include "support/MessageQueue.h"
#include "support/SimulatedServer.h"

#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <memory>

namespace {

using namespace quenlor;

// The program's state for one measurement, logged in to the server as the login dialog would.
class Client {
public:
    explicit Client(test::SimulatedServer& server) : m_server(server) {
        auto fresh = std::make_unique<ProgramState>();
        fresh->connector = test::SimulatedServer::connector(0);
        fresh->automation = std::make_unique<test::FakeAutomation>();
        fresh->services = std::make_unique<NoServices>();
        auto system = std::make_unique<test::FakeSystem>();
        system->folder = m_folder.path();
        fresh->system = std::move(system);
        auto messages = std::make_unique<test::MessageQueue>();
        m_messages = messages.get();
        fresh->frmMsg = std::move(messages);
        fresh->SqlServer = server.address();
        fresh->SqlUser = server.user();
        fresh->SqlPassword = server.password();
        m_saved = installState(std::move(fresh));
    }
    ~Client() { installState(std::move(m_saved)); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // What Main does after the login, then what the main window does when it loads: the product
    // and account lists and the first listing.
    void startUp() {
        OpenConnectionsAndDetect();
        refresh();
    }

    // Start-up, then the listing's first `rows` rows ticked.
    void startUpTicking(int rows) {
        startUp();
        for (int row = 1; row <= rows; ++row)
            listing.toggleTick(row, 0);
    }

    void refresh() {
        listing.chooseProduct(listing.productEntries().value(0));
        listing.LoadDB();
    }

    MainListing listing;
    test::MessageQueue* messages() { return m_messages; }

private:
    test::SimulatedServer& m_server;
    QTemporaryDir m_folder;
    test::MessageQueue* m_messages = nullptr;
    std::unique_ptr<ProgramState> m_saved;
};

// Wall time and server time of one measured step.
class Split {
public:
    explicit Split(test::SimulatedServer& server)
        : m_server(server), m_serverBefore(server.engine().busyTime()) {
        m_wall.start();
    }
    void stop(benchmark::State& state) {
        const double wall = double(m_wall.nsecsElapsed()) / 1e6;
        const double server =
            std::chrono::duration<double, std::milli>(m_server.engine().busyTime() - m_serverBefore)
                .count();
        state.SetIterationTime(wall / 1000.0);
        m_wallTotal += wall;
        m_serverTotal += server;
    }
    static void report(benchmark::State& state, double wall, double server) {
        state.counters["server_ms"] =
            benchmark::Counter(server, benchmark::Counter::kAvgIterations);
        state.counters["client_ms"] =
            benchmark::Counter(wall - server, benchmark::Counter::kAvgIterations);
    }
    double wallTotal() const { return m_wallTotal; }
    double serverTotal() const { return m_serverTotal; }

private:
    test::SimulatedServer& m_server;
    std::chrono::nanoseconds m_serverBefore;
    QElapsedTimer m_wall;
    double m_wallTotal = 0;
    double m_serverTotal = 0;
};

test::SimulatedServer& largeServer() {
    static test::SimulatedServer server(QStringLiteral("large"));
    return server;
}

void BM_SimulatedStartupToFilledGrid(benchmark::State& state) {
    test::SimulatedServer& server = largeServer();
    double wall = 0, serverMs = 0;
    for (auto _ : state) {
        Client client(server);
        Split split(server);
        client.startUp();
        split.stop(state);
        wall += split.wallTotal();
        serverMs += split.serverTotal();
        // One row per account set.
        if (client.listing.grid().rowCount() != 999)
            state.SkipWithError("the grid does not list the 999 account sets");
    }
    Split::report(state, wall, serverMs);
}
BENCHMARK(BM_SimulatedStartupToFilledGrid)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);

void BM_SimulatedListingRefresh(benchmark::State& state) {
    test::SimulatedServer& server = largeServer();
    Client client(server);
    client.startUp();
    double wall = 0, serverMs = 0;
    for (auto _ : state) {
        Split split(server);
        client.refresh();
        split.stop(state);
        wall += split.wallTotal();
        serverMs += split.serverTotal();
    }
    Split::report(state, wall, serverMs);
}
BENCHMARK(BM_SimulatedListingRefresh)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);

// 100 account sets ticked with "delete databases": for each, its catalogue rows in one
// transaction and its ten databases dropped, then the grid reloaded once.
void BM_SimulatedRunOf100Deletions(benchmark::State& state) {
    double wall = 0, serverMs = 0;
    int statements = 0;
    for (auto _ : state) {
        state.PauseTiming();
        test::SimulatedServer server(QStringLiteral("large"));
        Client client(server);
        client.startUpTicking(100);
        client.messages()->answers = {MsgResult::Yes};
        SilentProgress progress;
        DeletionRun run(
            progress, [&](const ListedRow& row) { return client.listing.stillShows(row); },
            [&] { client.refresh(); });
        state.ResumeTiming();

        const int statementsBefore = server.engine().statementCount();
        Split split(server);
        run.cmdConfirm_Click(client.listing.confirmedSelection(), true);
        split.stop(state);
        statements += server.engine().statementCount() - statementsBefore;
        wall += split.wallTotal();
        serverMs += split.serverTotal();

        state.PauseTiming();
        const int left = server.engine().databaseNames().size();
        if (left != 10005 - 1000)
            state.SkipWithError("the run did not drop exactly 1,000 databases");
        if (client.listing.grid().rowCount() != 899)
            state.SkipWithError("the grid was not reloaded after the run");
        state.ResumeTiming();
    }
    Split::report(state, wall, serverMs);
    state.counters["statements"] =
        benchmark::Counter(double(statements), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_SimulatedRunOf100Deletions)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);

// The preview of the same 100 account sets: the dry run, the databases' sizes and the catalogue
// counts; then the real run of those rows, for its reads. Round trips are the statements the
// server received; the run's reads are its statements less the writes the preview recorded. The
// goal: the run's reads plus one count per catalogue statement (and the one query for the
// databases' sizes).
void BM_SimulatedPreviewOf100(benchmark::State& state) {
    double wall = 0, serverMs = 0;
    int preview = 0, runReads = 0, counts = 0;
    for (auto _ : state) {
        state.PauseTiming();
        test::SimulatedServer server(QStringLiteral("large"));
        Client client(server);
        client.startUpTicking(100);
        const ConfirmedSelection selection = client.listing.confirmedSelection();
        const int before = server.engine().statementCount();
        state.ResumeTiming();

        Split split(server);
        const RunPreview shown = PreviewRun(selection, true, false);
        split.stop(state);
        wall += split.wallTotal();
        serverMs += split.serverTotal();

        state.PauseTiming();
        const int after = server.engine().statementCount();
        preview += after - before;
        int writes = 0;
        for (const RowPreview& row : shown.rows) {
            counts += int(row.catalogue.size());
            for (const QString& statement : row.statements)
                writes += statement.endsWith(QStringLiteral(" TRANSACTION")) ? 0 : 1;
        }
        if (!shown.outcome || shown.rows.size() != 100)
            state.SkipWithError("the preview did not cover the 100 account sets");
        if (server.engine().databaseNames().size() != 10005)
            state.SkipWithError("the preview changed the server");
        client.messages()->answers = {MsgResult::Yes};
        SilentProgress progress;
        DeletionRun run(
            progress, [&](const ListedRow& row) { return client.listing.stillShows(row); }, [] {});
        run.cmdConfirm_Click(selection, true);
        runReads += server.engine().statementCount() - after - writes;
        state.ResumeTiming();
    }
    Split::report(state, wall, serverMs);
    const auto perIteration = [](int n) {
        return benchmark::Counter(double(n), benchmark::Counter::kAvgIterations);
    };
    state.counters["round_trips"] = perIteration(preview);
    state.counters["run_reads"] = perIteration(runReads);
    state.counters["counts"] = perIteration(counts);
}
BENCHMARK(BM_SimulatedPreviewOf100)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// --- The window's thread while the server worker works ---

// The longest interval, in milliseconds, between two turns of this thread's event loop (as the
// window's) from `begin` until the server worker is idle again; a 10 ms timer ticks meanwhile.
double longestStallMs(ServerWorker& worker, const std::function<void()>& begin) {
    QElapsedTimer clock;
    qint64 last = 0, longest = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longest = std::max(longest, clock.elapsed() - last);
        last = clock.elapsed();
    });
    clock.start();
    ticker.start(10);
    begin();
    QEventLoop loop;
    while (worker.busy())
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    return double(std::max(longest, clock.elapsed() - last));
}

// As the window works them: the login dialog's attempt, start-up to a filled grid, a refresh of
// the account list and listing, and a run of 100 account sets with each of its 1,000 drops held
// back 20 ms by the server; each read on the server worker and shown on this thread.
void BM_SimulatedWindowStalls(benchmark::State& state) {
    for (auto _ : state) {
        test::SimulatedServer server(QStringLiteral("large"));
        Client client(server);
        ServerWorker worker;
        TestConnectionAttempt attempt{
            {server.address(), "master", server.user(), server.password()}, nullptr, {}};
        state.counters["login_ms"] = longestStallMs(worker, [&] {
            worker.start([&] { attemptTestConnection(*quenlor::state().connector, attempt); });
        });
        const auto readChoice = [&](std::function<void()> first) {
            auto read = std::make_shared<ChoiceRead>(client.listing.choiceRequest(std::nullopt));
            worker.start(
                [read, first] {
                    if (first)
                        first();
                    MainListing::readChoice(*read);
                },
                [&, read] { (void)client.listing.takeChoice(std::move(*read)); });
        };
        state.counters["startup_ms"] =
            longestStallMs(worker, [&] { readChoice(OpenConnectionsAndDetect); });
        state.counters["refresh_ms"] = longestStallMs(worker, [&] { readChoice({}); });
        if (client.listing.grid().rowCount() != 999)
            state.SkipWithError("the grid does not list the 999 account sets");

        for (int row = 1; row <= 100; ++row)
            client.listing.toggleTick(row, 0);
        server.engine().addFault({QRegularExpression("^drop database "), sim::Fault::Kind::Delay,
                                  sim::Message(), -1, 20});
        client.messages()->answers = {MsgResult::Yes};
        SilentProgress progress;
        QueuedProgressSink queued(progress, worker);
        DeletionRun run(
            queued, [&](const ListedRow& row) { return client.listing.stillShows(row); }, [] {},
            [&](auto work, auto done) { return worker.start(std::move(work), std::move(done)); });
        state.counters["run_ms"] = longestStallMs(
            worker, [&] { run.cmdConfirm_Click(client.listing.confirmedSelection(), true); });
        if (server.engine().databaseNames().size() != 10005 - 1000)
            state.SkipWithError("the run did not drop exactly 1,000 databases");
    }
}
BENCHMARK(BM_SimulatedWindowStalls)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
