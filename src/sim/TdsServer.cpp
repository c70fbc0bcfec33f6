#include "sim/TdsServer.h"

#include "sim/TdsProtocol.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QtEndian>

#include <map>
#include <utility>

namespace quenlor::sim {

namespace {

struct Connection {
    QTcpSocket* socket = nullptr;
    QByteArray input;
    QByteArray message;
    quint8 messageType = 0;
    Session session;
    int packetSize = 4096;
    quint64 transaction = 0; // descriptor of the open transaction, 0 when none
    quint64 nextTransaction = 0;
    bool closing = false; // what still arrives is not answered
};

// Turns a handler's results into one token stream: every statement closes with a DONE that says
// more follows, except the very last, which must not.
QByteArray encodeReply(const Reply& reply, const QString& serverName) {
    QByteArray out;
    qsizetype lastDone = -1;
    for (const Result& result : reply.results) {
        if (const auto* count = std::get_if<RowCount>(&result)) {
            lastDone = out.size();
            out += tds::done(tds::DoneCount | tds::DoneMore, 0, quint64(count->rows));
        } else if (const auto* set = std::get_if<ResultSet>(&result)) {
            out += tds::resultSet(*set);
            lastDone = out.size() - 13;
        } else if (const auto* msg = std::get_if<Message>(&result)) {
            out += tds::message(*msg, serverName);
            if (msg->severity > 10) {
                lastDone = out.size();
                out += tds::done(tds::DoneError | tds::DoneMore);
            }
        }
    }
    if (lastDone >= 0 && lastDone + 13 == out.size())
        out[lastDone + 1] = char(quint8(out[lastDone + 1]) & ~tds::DoneMore);
    else
        out += tds::done(tds::DoneFinal);
    return out;
}

Message refusal(const QString& text) {
    return Message{4002, 1, 16, text};
}

} // namespace

class ServerCore {
public:
    explicit ServerCore(TdsServer& owner) : m_owner(owner) {
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] { accept(); });
    }

    ~ServerCore() {
        // The sockets go first, silently: their last signals must not reach a half-destroyed core.
        for (auto& [socket, connection] : m_connections) {
            QObject::disconnect(socket, nullptr, nullptr, nullptr);
            delete socket;
        }
        m_connections.clear();
    }
    ServerCore(const ServerCore&) = delete;
    ServerCore& operator=(const ServerCore&) = delete;

    bool listen(quint16 port) { return m_server.listen(QHostAddress::LocalHost, port); }
    quint16 port() const { return m_server.serverPort(); }

private:
    void accept() {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            auto connection = std::make_unique<Connection>();
            connection->socket = socket;
            connection->session.id = ++m_sessionCount;
            Connection* c = connection.get();
            m_connections[socket] = std::move(connection);
            m_owner.publish(c->session);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, c] { read(*c); });
            QObject::connect(socket, &QTcpSocket::disconnected, socket,
                             [this, socket] { drop(socket); });
        }
    }

    void drop(QTcpSocket* socket) {
        const auto it = m_connections.find(socket);
        if (it == m_connections.end())
            return;
        if (config().closed && it->second->session.loggedIn)
            config().closed(it->second->session);
        socket->deleteLater();
        m_connections.erase(it);
    }

    void read(Connection& c) {
        c.input += c.socket->readAll();
        if (c.closing)
            return;
        while (c.input.size() >= 8) {
            const quint16 length = qFromBigEndian<quint16>(c.input.constData() + 2);
            if (length < 8) {
                c.socket->abort();
                return;
            }
            if (c.input.size() < length)
                return;
            const auto type = quint8(c.input[0]);
            const bool last = (quint8(c.input[1]) & 0x01) != 0;
            if (c.message.isEmpty())
                c.messageType = type;
            c.message += c.input.mid(8, length - 8);
            c.input.remove(0, length);
            if (last) {
                const QByteArray body = std::exchange(c.message, QByteArray());
                handle(c, c.messageType, body);
                if (c.closing)
                    return;
            }
        }
    }

    void send(Connection& c, const QByteArray& body) {
        c.socket->write(tds::packets(tds::TabularResult, body, c.packetSize));
    }

    void refuse(Connection& c, const QString& text) {
        send(c, tds::message(refusal(text), config().serverName) + tds::done(tds::DoneError));
    }

    const ServerConfig& config() const { return m_owner.config(); }

    void handle(Connection& c, quint8 type, const QByteArray& body) {
        switch (type) {
        case tds::PreLogin:
            send(c, tds::preLoginResponse());
            return;
        case tds::Login7:
            login(c, body);
            break;
        case tds::SqlBatch:
            batch(c, body);
            break;
        case tds::TransactionManager:
            transaction(c, body);
            break;
        case tds::Attention:
            ++c.session.attentions;
            send(c, tds::done(tds::DoneAttention));
            break;
        default:
            refuse(c, QStringLiteral("The simulator does not handle TDS packet type 0x%1.")
                          .arg(type, 2, 16, QLatin1Char('0')));
            return;
        }
        m_owner.publish(c.session);
    }

    void login(Connection& c, const QByteArray& body) {
        const std::optional<tds::Login> login = tds::parseLogin7(body);
        if (!login) {
            refuse(c, QStringLiteral("The LOGIN7 message is malformed."));
            return;
        }
        c.session.user = login->user;
        c.session.password = login->password;
        c.session.database = login->database.isEmpty() ? QStringLiteral("master") : login->database;
        std::optional<Message> failed;
        if (config().login)
            failed = config().login(c.session);
        else if (login->user != config().user || login->password != config().password)
            failed = Message{18456, 1, 14,
                             QStringLiteral("Login failed for user '%1'.").arg(login->user)};
        if (failed) {
            send(c, tds::message(*failed, config().serverName) + tds::done(tds::DoneError));
            return;
        }
        c.session.loggedIn = true;
        if (login->packetSize >= 512 && login->packetSize <= 32767)
            c.packetSize = int(login->packetSize);
        send(c, tds::loginSuccess(c.session.database, quint32(c.packetSize)));
    }

    void batch(Connection& c, const QByteArray& body) {
        if (!c.session.loggedIn) {
            refuse(c, QStringLiteral("A batch arrived before a successful login."));
            return;
        }
        const std::optional<QString> text = tds::batchText(body);
        if (!text) {
            refuse(c, QStringLiteral("The SQL batch's headers are malformed."));
            return;
        }
        c.session.batches << *text;
        const Reply reply = config().handler ? config().handler(*text, c.session) : Reply{};
        for (int id : reply.killSessions)
            kill(id);
        if (reply.disconnect) {
            // Later, from the event loop: the connection must outlive this call.
            QTcpSocket* s = c.socket;
            QMetaObject::invokeMethod(
                s, [s] { s->abort(); }, Qt::QueuedConnection);
            c.closing = true;
            return;
        }
        // Silence until the client's ATTENTION, which is answered on its own.
        if (reply.neverAnswer)
            return;
        send(c, encodeReply(reply, config().serverName));
    }

    // Ends another session's connection, as the server does to make room for a single user.
    void kill(int sessionId) {
        for (auto& [socket, connection] : m_connections) {
            if (connection->session.id == sessionId) {
                QTcpSocket* s = socket;
                QMetaObject::invokeMethod(
                    s, [s] { s->abort(); }, Qt::QueuedConnection);
                return;
            }
        }
    }

    void transaction(Connection& c, const QByteArray& body) {
        bool beginNew = false;
        const std::optional<TransactionRequest> request = tds::transactionRequest(body, &beginNew);
        if (!request || !c.session.loggedIn) {
            refuse(c, QStringLiteral("The transaction request is not supported."));
            return;
        }
        c.session.transactions << TransactionStep{*request, beginNew};
        if (config().transaction) {
            if (const std::optional<Message> refused =
                    config().transaction(*request, beginNew, c.session)) {
                send(c, tds::message(*refused, config().serverName) + tds::done(tds::DoneError));
                return;
            }
        }
        QByteArray out;
        if (*request == TransactionRequest::Begin) {
            if (c.transaction != 0) {
                out += tds::transactionChange(TransactionRequest::Commit, c.transaction);
            }
            c.transaction = ++c.nextTransaction;
            out += tds::transactionChange(TransactionRequest::Begin, c.transaction);
        } else {
            if (c.transaction != 0)
                out += tds::transactionChange(*request, c.transaction);
            c.transaction = 0;
            if (beginNew) {
                c.transaction = ++c.nextTransaction;
                out += tds::transactionChange(TransactionRequest::Begin, c.transaction);
            }
        }
        c.session.inTransaction = c.transaction != 0;
        send(c, out + tds::done(tds::DoneFinal));
    }

    TdsServer& m_owner;
    QTcpServer m_server;
    std::map<QTcpSocket*, std::unique_ptr<Connection>> m_connections;
    int m_sessionCount = 0;
};

TdsServer::TdsServer(ServerConfig config) : m_config(std::move(config)) {}

TdsServer::~TdsServer() {
    stop();
}

bool TdsServer::start(quint16 port) {
    if (m_thread)
        return false;
    m_thread = std::make_unique<QThread>();
    m_anchor = std::make_unique<QObject>();
    m_anchor->moveToThread(m_thread.get());
    m_thread->start();
    bool listening = false;
    QMetaObject::invokeMethod(
        m_anchor.get(),
        [this, port, &listening] {
            m_core = std::make_unique<ServerCore>(*this);
            listening = m_core->listen(port);
            m_port = listening ? m_core->port() : 0;
        },
        Qt::BlockingQueuedConnection);
    if (!listening)
        stop();
    return listening;
}

void TdsServer::stop() {
    if (!m_thread)
        return;
    // Sockets and the listener belong to the network thread and must end there.
    QMetaObject::invokeMethod(
        m_anchor.get(), [this] { m_core.reset(); }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    m_anchor.reset();
    m_thread.reset();
    m_port = 0;
}

QList<Session> TdsServer::sessions() const {
    std::lock_guard lock(m_mutex);
    return m_sessions;
}

void TdsServer::publish(const Session& session) {
    std::lock_guard lock(m_mutex);
    for (Session& known : m_sessions) {
        if (known.id == session.id) {
            known = session;
            return;
        }
    }
    m_sessions << session;
}

} // namespace quenlor::sim
