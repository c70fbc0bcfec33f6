// FreeTDS through the program's own connector, against loopback ports only: one where nothing
// listens and one that accepts the connection but never answers.

#include "platform/odbc/OdbcConnector.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTcpServer>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <thread>

using namespace quenlor;

namespace {

struct Attempt {
    bool hung = false;
    std::optional<DbError> error; // empty when the connection was made
    qint64 elapsedMs = 0;
};

// Opens on a thread of its own, so that a connection that never gives up fails the test
// instead of hanging it. A hung thread is left behind; the process ending takes it away.
Attempt attemptOpen(const OdbcConnector& connector, const ConnectionParams& params,
                    std::chrono::seconds limit = std::chrono::seconds(20)) {
    auto done = std::make_shared<std::promise<Attempt>>();
    std::future<Attempt> result = done->get_future();
    std::thread([done, connector = OdbcConnector(connector), params]() mutable {
        Attempt attempt;
        QElapsedTimer timer;
        timer.start();
        try {
            std::unique_ptr<Database> db = connector.open(params);
        } catch (const DbError& e) {
            attempt.error = e;
        }
        attempt.elapsedMs = timer.elapsed();
        done->set_value(attempt);
    }).detach();
    if (result.wait_for(limit) != std::future_status::ready) {
        Attempt hung;
        hung.hung = true;
        return hung;
    }
    return result.get();
}

// A loopback port with nothing listening on it.
quint16 closedPort() {
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = server.serverPort();
    server.close();
    return port;
}

OdbcConnector connectorWithLoginTimeout(int seconds) {
    OdbcConnector::Options options = OdbcConnector::platformDefaults();
    options.loginTimeoutSeconds = seconds;
    return OdbcConnector(options);
}

ConnectionParams paramsFor(quint16 port) {
    return {QStringLiteral("127.0.0.1,%1").arg(port), QStringLiteral("master"),
            QStringLiteral("sa"), QStringLiteral("pw")};
}

const QString unableToConnect =
    QStringLiteral("Unable to connect: Adaptive Server is unavailable or does not exist");

} // namespace

TEST(FreeTds, PlatformDefaults) {
    const OdbcConnector::Options options = OdbcConnector::platformDefaults();
    EXPECT_EQ(options.loginTimeoutSeconds, 15);
    EXPECT_EQ(options.queryTimeoutSeconds, 300);
    EXPECT_EQ(options.braces, BraceRule::NoEscape);
    const QFileInfo driver(options.driver);
    EXPECT_TRUE(driver.isAbsolute()) << options.driver.toStdString();
    EXPECT_TRUE(driver.isFile()) << "FreeTDS (libtdsodbc.so) not found: '"
                                 << options.driver.toStdString() << "'";
    EXPECT_TRUE(options.extra.contains(QStringLiteral("TDS_Version=7.4;")));
    EXPECT_TRUE(options.extra.contains(QStringLiteral("ClientCharset=UTF-8;")));

    // The default connector is built from the same defaults.
    EXPECT_EQ(OdbcConnector().options().driver, options.driver);
}

TEST(FreeTds, ClosedPortFailsAtOnceWithTheDriversMessage) {
    const quint16 port = closedPort();
    ASSERT_NE(port, 0);
    const Attempt attempt = attemptOpen(connectorWithLoginTimeout(15), paramsFor(port));
    ASSERT_FALSE(attempt.hung);
    ASSERT_TRUE(attempt.error.has_value()) << "connected to a closed port";
    EXPECT_LT(attempt.elapsedMs, 1000);
    EXPECT_EQ(attempt.error->number, 20009);
    EXPECT_EQ(attempt.error->sqlState, QStringLiteral("08S01"));
    EXPECT_TRUE(attempt.error->description.contains(QStringLiteral("[FreeTDS]")))
        << attempt.error->description.toStdString();
    EXPECT_TRUE(attempt.error->description.contains(unableToConnect))
        << attempt.error->description.toStdString();
    // Every record, each on its own line: FreeTDS's second one must not be dropped.
    const QStringList records = attempt.error->description.split(QLatin1Char('\n'));
    ASSERT_EQ(records.size(), 2) << attempt.error->description.toStdString();
    EXPECT_TRUE(records[1].endsWith(QStringLiteral("Unable to connect to data source")));
}

TEST(FreeTds, SilentServerFailsAfterTheLoginTimeout) {
    // The kernel completes the TCP handshake for a listening socket; nobody ever reads or answers.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    const Attempt attempt =
        attemptOpen(connectorWithLoginTimeout(2), paramsFor(silent.serverPort()));
    ASSERT_FALSE(attempt.hung) << "the login timeout was not applied";
    ASSERT_TRUE(attempt.error.has_value());
    EXPECT_GE(attempt.elapsedMs, 1500);
    EXPECT_LE(attempt.elapsedMs, 6000);
    EXPECT_EQ(attempt.error->sqlState, QStringLiteral("HYT00"));
    EXPECT_TRUE(attempt.error->description.contains(QStringLiteral("Timeout expired")))
        << attempt.error->description.toStdString();
}

TEST(FreeTds, ValueCarryingAnotherItemDoesNotRedirectTheConnection) {
    // FreeTDS obeys a Port item after SERVER. Were any value's ";" to end it early, the login
    // would go to the silent listener and time out instead of failing at once on the closed port.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    const QString redirect = QStringLiteral("x;Port=%1;").arg(silent.serverPort());
    const quint16 port = closedPort();
    ASSERT_NE(port, 0);
    const OdbcConnector connector = connectorWithLoginTimeout(2);

    for (int item = 0; item < 3; ++item) {
        ConnectionParams params = paramsFor(port);
        QString& target = item == 0 ? params.database : item == 1 ? params.user : params.password;
        target = redirect;
        const Attempt attempt = attemptOpen(connector, params);
        ASSERT_FALSE(attempt.hung);
        ASSERT_TRUE(attempt.error.has_value());
        EXPECT_EQ(attempt.error->number, 20009)
            << "item " << item << ": " << attempt.error->description.toStdString();
        EXPECT_LT(attempt.elapsedMs, 1000) << "item " << item;
    }
}
