// The simulated server at scale, on the large scenario (999 account sets, 10,005 databases):
// the server time of each of the program's four listings, the time to generate the scenario, and
// the memory the process holds after 1,000 sessions came and went. The T+ listing needs a T+
// catalogue, which the large scenario lacks: it runs on the large scenario with the T+
// scenario's databases added. Run: build/<preset>/bench/quenlor_bench --benchmark_filter=Scale
#include "core/listing/MainListing.h"
#include "platform/Database.h"
#include "support/SimulatedServer.h"

#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <memory>
#include <string>
#include <tuple>

namespace {

using namespace quenlor;

sim::Scenario scenario(const QString& name) {
    sim::Scenario s;
    QString error;
    if (!sim::loadScenario(QDir(sim::scenarioFolder()).filePath(name + ".json"), &s, &error))
        throw std::runtime_error(error.toStdString());
    return s;
}

// The large scenario with the T+ scenario's databases, catalogue and rows beside its own.
sim::Scenario largeWithTplus() {
    sim::Scenario large = scenario(QStringLiteral("large"));
    const sim::Scenario tplus = scenario(QStringLiteral("tplus"));
    for (const sim::DatabaseDef& db : tplus.databases) {
        const bool known = std::any_of(large.databases.begin(), large.databases.end(),
                                       [&](const sim::DatabaseDef& d) {
                                           return d.name.compare(db.name, Qt::CaseInsensitive) == 0;
                                       });
        if (!known)
            large.databases << db;
    }
    for (auto it = tplus.schemas.begin(); it != tplus.schemas.end(); ++it)
        large.schemas.insert(it.key(), it.value());
    for (auto it = tplus.rows.begin(); it != tplus.rows.end(); ++it)
        large.rows.insert(it.key(), it.value());
    return large;
}

// A simulated server as quenlor-sim runs it: nothing of a closed session kept.
class Server {
public:
    explicit Server(const sim::Scenario& s) : m_data(sim::makeDataFolder()) {
        if (!m_data)
            throw std::runtime_error("no folder for the simulated server's data");
        m_engine = std::make_unique<sim::Engine>(s, m_data->path());
        m_tds = std::make_unique<sim::TdsServer>(m_engine->serverConfig());
        if (!m_tds->start())
            throw std::runtime_error("the simulated server cannot listen");
    }
    sim::Engine& engine() { return *m_engine; }
    // A connection through the program's own connector.
    std::unique_ptr<Database> connect() {
        return test::SimulatedServer::connector(0)->open(
            {QStringLiteral("127.0.0.1,%1").arg(m_tds->port()), QStringLiteral("master"),
             m_engine->server().user, m_engine->server().password});
    }

private:
    std::unique_ptr<QTemporaryDir> m_data;
    std::unique_ptr<sim::Engine> m_engine;
    std::unique_ptr<sim::TdsServer> m_tds;
};

Server& largeServer() {
    static Server server(largeWithTplus());
    return server;
}

double milliseconds(std::chrono::nanoseconds d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

enum class Listing { AccountSets, Years, TplusAccounts, Databases };

void BM_ScaleListing(benchmark::State& state, Listing listing, int expectedRows) {
    Server& server = largeServer();
    const std::unique_ptr<Database> conn = server.connect();
    const QString sql =
        listing == Listing::AccountSets ? MainListing::queryLoadDB_UF()
        : listing == Listing::Years
            ? MainListing::queryLoadDB_UF_Year(QStringLiteral("500"), UfCatalogue::Classic)
        : listing == Listing::TplusAccounts ? MainListing::queryLoadDB_TN()
                                            : MainListing::queryLoadDB_SQL();
    double serverMs = 0;
    for (auto _ : state) {
        const auto busy = server.engine().busyTime();
        QElapsedTimer wall;
        wall.start();
        const QueryResult result = conn->query(sql);
        state.SetIterationTime(double(wall.nsecsElapsed()) / 1e9);
        serverMs += milliseconds(server.engine().busyTime() - busy);
        if (result.rows.size() != expectedRows)
            state.SkipWithError("the listing does not have the rows the scenario gives");
    }
    state.counters["server_ms"] = benchmark::Counter(serverMs, benchmark::Counter::kAvgIterations);
}
// 999 account sets; account 500's ten years; the T+ scenario's four catalogue accounts and the
// account database outside the catalogue; every database but master, model, msdb and tempdb.
const bool kScaleListings = [] {
    const std::tuple<const char*, Listing, int> listings[] = {
        {"account_sets", Listing::AccountSets, 999},
        {"one_accounts_years", Listing::Years, 10},
        {"tplus_accounts", Listing::TplusAccounts, 5},
        {"databases", Listing::Databases, 10006}};
    for (const auto& [name, listing, rows] : listings)
        benchmark::RegisterBenchmark((std::string("BM_ScaleListing/") + name).c_str(),
                                     BM_ScaleListing, listing, rows)
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime()
            ->Iterations(5);
    return true;
}();

// Reading the scenario file and generating its account sets, databases, files and rows (the
// removal of the data files afterwards not counted).
void BM_ScaleGenerateLarge(benchmark::State& state) {
    double readMs = 0;
    for (auto _ : state) {
        const std::unique_ptr<QTemporaryDir> data = sim::makeDataFolder();
        QElapsedTimer wall;
        wall.start();
        const sim::Scenario s = scenario(QStringLiteral("large"));
        readMs += double(wall.nsecsElapsed()) / 1e6;
        const sim::Engine engine(s, data->path());
        state.SetIterationTime(double(wall.nsecsElapsed()) / 1e9);
        if (engine.databaseNames().size() != 10005)
            state.SkipWithError("the scenario does not have its 10,005 databases");
    }
    state.counters["read_ms"] = benchmark::Counter(readMs, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ScaleGenerateLarge)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// The resident memory of this process, in MiB, as /proc/self/status gives it.
double residentMiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return 0;
}

// 1,000 connections of the program opened and closed one after the other: what the process
// (server, driver and client together) holds before and after.
void BM_ScaleThousandSessions(benchmark::State& state) {
    Server server(scenario(QStringLiteral("large")));
    server.connect()->query(QStringLiteral("select 1")); // the driver loaded and warmed
    const double before = residentMiB();
    for (auto _ : state) {
        for (int i = 0; i < 1000; ++i)
            server.connect()->query(QStringLiteral("select @@spid"));
    }
    state.counters["rss_before_MiB"] = before;
    state.counters["rss_after_MiB"] = residentMiB();
}
BENCHMARK(BM_ScaleThousandSessions)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
