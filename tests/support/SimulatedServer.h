#pragma once

#include "platform/odbc/OdbcConnector.h"
#include "sim/Engine.h"
#include "sim/Scenario.h"
#include "sim/TdsServer.h"

#include <QDir>
#include <QTemporaryDir>

#include <memory>
#include <stdexcept>

namespace quenlor::test {

// A simulated SQL Server: a scenario of src/sim/scenarios (a file name without ".json":
// realistic, u8new, tplus, both, sql2000, large) loaded into an engine, its data files in a
// temporary folder of its own, listening on a free loopback port. Throws std::runtime_error
// when the scenario cannot be loaded or the port not had.
class SimulatedServer {
public:
    explicit SimulatedServer(const QString& scenario,
                             sim::ReportedPaths paths = sim::ReportedPaths::Native) {
        sim::Scenario s;
        QString error;
        if (!sim::loadScenario(QDir(sim::scenarioFolder()).filePath(scenario + ".json"), &s,
                               &error))
            throw std::runtime_error(error.toStdString());
        m_data = sim::makeDataFolder();
        if (!m_data)
            throw std::runtime_error("no folder for the simulated server's data");
        m_engine = std::make_unique<sim::Engine>(s, m_data->path(), paths);
        sim::ServerConfig config = m_engine->serverConfig();
        config.keepClosedSessions = true; // checks read what every session sent
        m_server = std::make_unique<sim::TdsServer>(config);
        if (!m_server->start())
            throw std::runtime_error("the simulated server cannot listen");
    }

    sim::Engine& engine() { return *m_engine; }
    sim::TdsServer& tds() { return *m_server; }
    // "127.0.0.1,port", as the program's server field takes it.
    [[nodiscard]] QString address() const {
        return QStringLiteral("127.0.0.1,%1").arg(m_server->port());
    }
    [[nodiscard]] QString user() const { return m_engine->server().user; }
    [[nodiscard]] QString password() const { return m_engine->server().password; }
    // A path below the folder the data files were created in.
    QString dataPath(const QString& relative) const {
        return QDir(m_data->path()).filePath(relative);
    }

    // A connector to reach it through the real ODBC driver, with short time-outs so a fault
    // shows in seconds. queryTimeoutSeconds 0 keeps the program's own 300 s.
    static std::unique_ptr<DatabaseConnector> connector(int queryTimeoutSeconds = 30) {
        OdbcConnector::Options options = OdbcConnector::platformDefaults();
        options.loginTimeoutSeconds = 5;
        if (queryTimeoutSeconds > 0)
            options.queryTimeoutSeconds = queryTimeoutSeconds;
        return std::make_unique<OdbcConnector>(options);
    }

private:
    std::unique_ptr<QTemporaryDir> m_data;
    std::unique_ptr<sim::Engine> m_engine;
    std::unique_ptr<sim::TdsServer> m_server;
};

} // namespace quenlor::test
