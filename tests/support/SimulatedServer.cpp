#include "support/SimulatedServer.h"

#include "platform/odbc/OdbcConnector.h"
#include "sim/Scenario.h"

#include <QDir>

#include <stdexcept>

namespace quenlor::test {

SimulatedServer::SimulatedServer(const QString& scenario, sim::ReportedPaths paths) {
    sim::Scenario s;
    QString error;
    if (!sim::loadScenario(QDir(sim::scenarioFolder()).filePath(scenario + QStringLiteral(".json")),
                           &s, &error))
        throw std::runtime_error(error.toStdString());
    // The program finds an account's folder by the first "ZT" of a data file's path.
    for (int attempt = 0; attempt < 20; ++attempt) {
        m_data = std::make_unique<QTemporaryDir>(
            QDir::temp().filePath(QStringLiteral("quenlor-sim-XXXXXX")));
        if (m_data->isValid() && !m_data->path().contains(QLatin1String("zt"), Qt::CaseInsensitive))
            break;
        m_data.reset();
    }
    if (!m_data)
        throw std::runtime_error("no temporary data folder without \"zt\" in its path");
    m_engine = std::make_unique<sim::Engine>(s, m_data->path(), paths);
    m_server = std::make_unique<sim::TdsServer>(m_engine->serverConfig());
    if (!m_server->start())
        throw std::runtime_error("the simulated server cannot listen");
    m_user = s.server.user;
    m_password = s.server.password;
}

SimulatedServer::~SimulatedServer() {
    m_server->stop();
}

QString SimulatedServer::address() const {
    return QStringLiteral("127.0.0.1,%1").arg(m_server->port());
}

ConnectionParams SimulatedServer::params(const QString& database) const {
    return {address(), database, m_user, m_password};
}

QString SimulatedServer::dataFolder() const {
    return m_data->path();
}

std::unique_ptr<DatabaseConnector> SimulatedServer::connector(int queryTimeoutSeconds) {
    OdbcConnector::Options options = OdbcConnector::platformDefaults();
    options.loginTimeoutSeconds = 5;
    if (queryTimeoutSeconds > 0)
        options.queryTimeoutSeconds = queryTimeoutSeconds;
    return std::make_unique<OdbcConnector>(options);
}

} // namespace quenlor::test
