// The simulator's protocol through the program's real path (OdbcConnector, the FreeTDS driver, TCP
// on 127.0.0.1) and through a raw socket: the reply shapes and logins the end-to-end runs never
// produce, and packets no driver sends.

#include "sim/TdsServer.h"
#include "platform/odbc/OdbcConnector.h"
#include "sim/EngineFixture.h"

#include <QTcpSocket>
#include <QtEndian>

#include <tuple>

namespace quenlor::sim::test {
namespace {

// A reply the server is scripted to give, sent as the batch named like the row, and what the
// program reads from it: the columns and rows of its query, or the number of the error thrown.
struct Exchange {
    const char* name;
    QList<Result> reply;
    const char* read;
};

const QList<Exchange>& exchanges() {
    static const QList<Exchange> rows = {
        // The rows after it show that the connection goes on.
        {"RefusedStatement", {Message{2812, 1, 16, u"Could not find 'x'."_s}}, "#2812"},
        {"TextsIntegersNullsAndEmptyTexts",
         {ResultSet{{Column{u"name"_s}, Column{u"选择"_s, ColumnType::Int}, Column{u"备注"_s}},
                    {{u"账套_测试"_s, 6, QVariant()},
                     {u"UFDATA_001_2024"_s, QVariant(), u""_s},
                     {u"master"_s, -2147483647 - 1, u"系统"_s}}}},
         "name,选择,备注: '账套_测试',6,NULL; 'UFDATA_001_2024',NULL,''; "
         "'master',-2147483648,'系统'"},
        {"ResultAfterCountsAndAMessage",
         {RowCount{3}, Message{0, 1, 0, u"note"_s}, RowCount{0},
          ResultSet{{Column{u"x"_s}}, {{u"after"_s}}}},
         "x: 'after'"},
        {"ErrorAfterAResult",
         {ResultSet{{Column{u"x"_s}}, {{u"first"_s}}}, Message{3702, 1, 16, u"无法删除"_s}},
         "#3702"},
        {"ErrorAfterARowCount", {RowCount{1}, Message{3702, 1, 16, u"In use."_s}}, "#3702"},
    };
    return rows;
}

Reply script(const QString& sql, Session&) {
    for (const Exchange& row : exchanges()) {
        if (sql == QLatin1String(row.name))
            return Reply(row.reply);
    }
    return Reply({Message{50000, 1, 16, u"unscripted: "_s + sql}});
}

struct Simulator {
    explicit Simulator(const QString& password = u"Secret#1"_s) {
        ServerConfig config;
        config.password = password;
        config.handler = script;
        server = std::make_unique<TdsServer>(config);
        EXPECT_TRUE(server->start());
    }
    std::unique_ptr<Database> open(const QString& password = u"Secret#1"_s) const {
        OdbcConnector::Options options = OdbcConnector::platformDefaults();
        options.loginTimeoutSeconds = 5;
        return OdbcConnector(options).open(
            {u"127.0.0.1,%1"_s.arg(server->port()), u"master"_s, u"sa"_s, password});
    }
    std::unique_ptr<TdsServer> server;
};

TEST(TdsServer, RepliesReachTheProgramAsItReadsThem) {
    Simulator sim;
    std::unique_ptr<Database> db = sim.open();
    ASSERT_TRUE(db);
    for (const Exchange& row : exchanges()) {
        SCOPED_TRACE(row.name);
        const QString sql = QString::fromLatin1(row.name);
        QString read;
        try {
            const QueryResult result = db->query(sql);
            read = result.columns.join(u',') + u": "_s + shownRows(result.rows);
        } catch (const DbError& e) {
            read = u'#' + QString::number(e.number);
            // The server's text arrives whole.
            if (const auto* m = std::get_if<Message>(&row.reply.last())) {
                EXPECT_TRUE(e.description.endsWith(m->text)) << e.description.toStdString();
            }
        }
        EXPECT_EQ(read, QString::fromUtf8(row.read));
    }
}

TEST(TdsServer, LoginsArriveWithThePasswordIntactAndAWrongOneIsRefused) {
    // name, the server's password, the one the program sends
    const char* const rows[][3] = {
        {"RightPassword", "Secret#1", "Secret#1"}, {"WrongPassword", "Secret#1", "Secret#2"},
        {"ClosingBrace", "pa}ss", "pa}ss"},        {"Semicolon", "pa;ss", "pa;ss"},
        {"ChineseAndBrace", "口令}x", "口令}x"},   {"EqualsAndSemicolon", "a=b;c", "a=b;c"},
    };
    for (const auto& [name, serverPassword, sent] : rows) {
        SCOPED_TRACE(name);
        Simulator sim(QString::fromUtf8(serverPassword));
        const bool right = QByteArray(serverPassword) == sent;
        int refused = 0;
        try {
            const std::unique_ptr<Database> db = sim.open(QString::fromUtf8(sent));
            EXPECT_TRUE(db && db->isOpen());
        } catch (const DbError& e) {
            refused = e.number;
        }
        EXPECT_EQ(refused, right ? 0 : 18456);
        const QList<Session> sessions = sim.server->sessions();
        ASSERT_EQ(sessions.size(), 1);
        EXPECT_EQ(sessions[0].password, QString::fromUtf8(sent));
        EXPECT_EQ(sessions[0].loggedIn, right);
    }
}

TEST(TdsServer, PacketsNoDriverSendsAreRefusedOrEndTheConnection) {
    // name, type, length as the header gives it (8 is the header alone), and whether the server
    // answers with an error or ends the connection
    const std::tuple<const char*, quint8, quint8, bool> packets[] = {
        {"UnknownType", 0x07, 8, true},
        {"BatchBeforeLogin", 0x01, 8, true},
        {"TransactionRequestBeforeLogin", 0x0E, 8, true},
        {"LengthShorterThanTheHeader", 0x01, 4, false},
    };
    for (const auto& [name, type, length, refused] : packets) {
        SCOPED_TRACE(name);
        Simulator sim;
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, sim.server->port());
        ASSERT_TRUE(socket.waitForConnected(3000));
        const char header[8] = {char(type), 0x01, 0x00, char(length), 0x00, 0x00, 0x01, 0x00};
        socket.write(header, 8);
        QByteArray reply;
        while (
            (reply.size() < 8 || reply.size() < qFromBigEndian<quint16>(reply.constData() + 2)) &&
            socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(3000))
            reply += socket.readAll();
        if (!refused) {
            EXPECT_TRUE(reply.isEmpty());
            EXPECT_TRUE(socket.state() == QAbstractSocket::UnconnectedState ||
                        socket.waitForDisconnected(3000));
            continue;
        }
        ASSERT_GE(reply.size(), 21) << "the server stayed silent";
        EXPECT_EQ(quint8(reply[0]), 0x04);
        EXPECT_EQ(quint8(reply[8]), 0xAA) << "not an ERROR token";
        // The closing DONE carries the error flag.
        EXPECT_EQ(quint8(reply[reply.size() - 13]), 0xFD);
        EXPECT_EQ(quint8(reply[reply.size() - 12]) & 0x02, 0x02);
    }
}

} // namespace
} // namespace quenlor::sim::test
