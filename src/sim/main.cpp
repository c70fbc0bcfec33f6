// quenlor-sim: a simulated ERP SQL Server on 127.0.0.1, for trying Quenlor without a server.
#include "sim/Engine.h"
#include "sim/Scenario.h"
#include "sim/TdsServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>
#include <memory>
#include <stdexcept>

namespace {

QString scenarioPath(const QString& nameOrPath) {
    if (QFileInfo::exists(nameOrPath))
        return nameOrPath;
    return QDir(quenlor::sim::scenarioFolder()).filePath(nameOrPath + QStringLiteral(".json"));
}

void quit(int) {
    QCoreApplication::quit();
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quenlor-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A simulated ERP SQL Server speaking TDS 7.4 on 127.0.0.1."));
    parser.addHelpOption();
    const QCommandLineOption scenarioOption(
        QStringLiteral("scenario"),
        QStringLiteral("Scenario name (realistic, u8new, tplus, both, sql2000, large) or file."),
        QStringLiteral("name"), QStringLiteral("realistic"));
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("Port to listen on; 0 picks a free one."),
                                        QStringLiteral("port"), QStringLiteral("0"));
    const QCommandLineOption dataOption(
        QStringLiteral("data"),
        QStringLiteral("Folder for the data files; a new temporary one when not given."),
        QStringLiteral("folder"));
    const QCommandLineOption portFileOption(
        QStringLiteral("port-file"), QStringLiteral("Write the port to this file once listening."),
        QStringLiteral("file"));
    const QCommandLineOption winePathsOption(
        QStringLiteral("wine-paths"),
        QStringLiteral("Name the data files as a Windows program under Wine sees them (Z:\\...)."));
    parser.addOptions({scenarioOption, portOption, dataOption, portFileOption, winePathsOption});
    parser.process(app);

    quenlor::sim::Scenario scenario;
    QString error;
    const QString path = scenarioPath(parser.value(scenarioOption));
    if (!quenlor::sim::loadScenario(path, &scenario, &error)) {
        std::fprintf(stderr, "quenlor-sim: %s\n", qPrintable(error));
        return 2;
    }

    std::unique_ptr<QTemporaryDir> temporary;
    QString data = parser.value(dataOption);
    if (data.isEmpty() && (temporary = quenlor::sim::makeDataFolder()))
        data = temporary->path();
    if (data.isEmpty() || !QDir().mkpath(data)) {
        std::fprintf(stderr, "quenlor-sim: no usable data folder\n");
        return 2;
    }

    std::unique_ptr<quenlor::sim::Engine> engine;
    try {
        engine = std::make_unique<quenlor::sim::Engine>(
            scenario, QDir(data).absolutePath(),
            parser.isSet(winePathsOption) ? quenlor::sim::ReportedPaths::WineDriveZ
                                          : quenlor::sim::ReportedPaths::Native);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quenlor-sim: %s: %s\n", qPrintable(path), e.what());
        return 2;
    }
    quenlor::sim::TdsServer server(engine->serverConfig());
    if (!server.start(quint16(parser.value(portOption).toUInt()))) {
        std::fprintf(stderr, "quenlor-sim: cannot listen on 127.0.0.1:%s\n",
                     qPrintable(parser.value(portOption)));
        return 2;
    }
    if (parser.isSet(portFileOption)) {
        QFile file(parser.value(portFileOption));
        if (file.open(QIODevice::WriteOnly))
            file.write(QByteArray::number(server.port()) + '\n');
    }
    std::printf("quenlor-sim: %s on 127.0.0.1,%u (user %s), %lld databases, data in %s\n",
                qPrintable(QFileInfo(path).completeBaseName()), unsigned(server.port()),
                qPrintable(scenario.server.user),
                static_cast<long long>(engine->databaseNames().size()), qPrintable(data));
    std::fflush(stdout);

    std::signal(SIGINT, quit);
    std::signal(SIGTERM, quit);
    const int code = app.exec();
    server.stop();
    return code;
}
