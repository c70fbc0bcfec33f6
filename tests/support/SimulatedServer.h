#pragma once

#include "platform/Database.h"
#include "sim/Engine.h"
#include "sim/TdsServer.h"

#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace quenlor::test {

// A simulated SQL Server for one test: a scenario of src/sim/scenarios loaded into an engine,
// its data files in a temporary folder of its own, listening on a free loopback port.
class SimulatedServer {
public:
    // scenario: a file name without ".json" (realistic, u8new, tplus, both, sql2000, large).
    // Throws std::runtime_error when the scenario cannot be loaded or the port not had.
    explicit SimulatedServer(const QString& scenario,
                             sim::ReportedPaths paths = sim::ReportedPaths::Native);
    ~SimulatedServer();
    SimulatedServer(const SimulatedServer&) = delete;
    SimulatedServer& operator=(const SimulatedServer&) = delete;

    sim::Engine& engine() { return *m_engine; }
    sim::TdsServer& tds() { return *m_server; }

    // "127.0.0.1,port", as the program's server field takes it.
    [[nodiscard]] QString address() const;
    [[nodiscard]] QString user() const { return m_user; }
    [[nodiscard]] QString password() const { return m_password; }
    [[nodiscard]] ConnectionParams params(const QString& database = QStringLiteral("master")) const;
    // The folder the data files were created in.
    [[nodiscard]] QString dataFolder() const;

    // A connector to reach it through the real ODBC driver, with short time-outs so a fault
    // shows in seconds. queryTimeoutSeconds 0 keeps the program's own 300 s.
    static std::unique_ptr<DatabaseConnector> connector(int queryTimeoutSeconds = 30);

private:
    std::unique_ptr<QTemporaryDir> m_data;
    std::unique_ptr<sim::Engine> m_engine;
    std::unique_ptr<sim::TdsServer> m_server;
    QString m_user;
    QString m_password;
};

} // namespace quenlor::test
