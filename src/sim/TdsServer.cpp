#include "sim/TdsServer.h"

#include "sim/TdsProtocol.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QtEndian>

#include <condition_variable>
#include <deque>
#include <map>
#include <thread>
#include <utility>

namespace quenlor::sim {

namespace {

// What a client may have sent before it logged in: pre-login messages are a few dozen bytes,
// and LOGIN7 can carry at most 128 KB.
constexpr qsizetype kMaxPreLogin = 8 * 1024;
constexpr qsizetype kMaxLogin = 128 * 1024;
// The largest request of a logged-in session.
constexpr qsizetype kMaxRequest = 64 * 1024 * 1024;
// A session stops being read while this many requests wait for their answers or this many bytes
// of answers wait for the client, so a client that never reads holds up only itself.
constexpr int kMaxWaiting = 16;
constexpr qint64 kMaxUnsent = 4 * 1024 * 1024;
constexpr qint64 kReadChunk = 1024 * 1024;
// What a session remembers of the batches and transaction requests it sent.
constexpr qsizetype kKeptBatches = 128;
constexpr qsizetype kKeptBatchCharacters = 4096;

// Runs one session's requests in the order they came, on a thread of its own.
class Worker {
public:
    Worker() : m_thread([this] { loop(); }) {}
    // Finishes the requests already posted, then ends the thread.
    ~Worker() {
        {
            std::lock_guard lock(m_mutex);
            m_ending = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    void post(std::function<void()> job) {
        {
            std::lock_guard lock(m_mutex);
            m_jobs.push_back(std::move(job));
        }
        m_wake.notify_one();
    }

private:
    void loop() {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [this] { return m_ending || !m_jobs.empty(); });
                if (m_jobs.empty())
                    return;
                job = std::move(m_jobs.front());
                m_jobs.pop_front();
            }
            job();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_jobs;
    bool m_ending = false;
    std::thread m_thread; // last: starts once the members it uses exist
};

// The descriptors a connection's transactions get, and the ENVCHANGE that tells the client one
// began or ended. A BEGIN while one is open commits that one first, as the transaction manager's
// begin does.
struct Transactions {
    quint64 open = 0; // 0 when none
    quint64 last = 0;

    QByteArray change(TransactionRequest request) {
        QByteArray out;
        if (open != 0)
            out += tds::transactionChange(
                request == TransactionRequest::Begin ? TransactionRequest::Commit : request, open);
        open = request == TransactionRequest::Begin ? ++last : 0;
        return open != 0 ? out + tds::transactionChange(TransactionRequest::Begin, open) : out;
    }
};

struct Connection {
    // The network thread's.
    QTcpSocket* socket = nullptr;
    QByteArray input;
    QByteArray message;
    quint8 messageType = 0;
    int waiting = 0;                  // requests handed to the worker and not answered yet
    bool closing = false;             // what still arrives is not answered
    std::atomic_bool admitted{false}; // logged in: larger requests are accepted
    // The worker's.
    Session session;
    int packetSize = 4096;
    Transactions transactions;
    Worker worker; // last: its thread ends before the rest goes
};

// Turns a handler's results into one token stream: every statement closes with a DONE that says
// more follows, except the very last, which must not.
QByteArray encodeReply(const Reply& reply, const QString& serverName, Transactions& transactions) {
    QByteArray out;
    qsizetype lastDone = -1;
    for (const Result& result : reply.results) {
        if (const auto* change = std::get_if<TransactionChange>(&result)) {
            out += transactions.change(change->request);
        } else if (const auto* count = std::get_if<RowCount>(&result)) {
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

template <typename List, typename Item> void keepLatest(List& list, Item item) {
    list << std::move(item);
    if (list.size() > kKeptBatches)
        list.remove(0, list.size() - kKeptBatches);
}

} // namespace

class ServerCore {
public:
    explicit ServerCore(TdsServer& owner) : m_owner(owner) {
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] { accept(); });
    }

    ~ServerCore() {
        // The sockets go first, silently: their last signals must not reach a half-destroyed core.
        // Running statements are told to stop; each worker ends with its thread.
        for (auto* list : {&m_connections, &m_closing}) {
            for (auto& [id, c] : *list) {
                if (c->socket) {
                    QObject::disconnect(c->socket, nullptr, nullptr, nullptr);
                    delete c->socket;
                }
                c->session.cancel->store(true);
            }
        }
        m_connections.clear();
        m_closing.clear();
    }
    ServerCore(const ServerCore&) = delete;
    ServerCore& operator=(const ServerCore&) = delete;

    bool listen(quint16 port) { return m_server.listen(QHostAddress::LocalHost, port); }
    quint16 port() const { return m_server.serverPort(); }

private:
    using Connections = std::map<int, std::unique_ptr<Connection>>;

    void accept() {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            const int id = ++m_sessionCount;
            auto connection = std::make_unique<Connection>();
            connection->socket = socket;
            connection->session.id = id;
            m_owner.publish(connection->session);
            m_connections[id] = std::move(connection);
            // What the client sends is taken in bounded pieces; the rest waits in its socket.
            socket->setReadBufferSize(kReadChunk);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, id] { read(id); });
            QObject::connect(socket, &QTcpSocket::bytesWritten, socket, [this, id] { read(id); });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, [this, id] { drop(id); });
        }
    }

    Connection* find(int id) {
        const auto it = m_connections.find(id);
        return it == m_connections.end() ? nullptr : it->second.get();
    }

    // The connection leaves the list at once; it goes when its worker has finished with it.
    void drop(int id) {
        const auto it = m_connections.find(id);
        if (it == m_connections.end())
            return;
        Connection* c = it->second.get();
        m_closing[id] = std::move(it->second);
        m_connections.erase(it);
        c->socket->deleteLater();
        c->socket = nullptr;
        c->session.cancel->store(true);
        c->worker.post([this, c, id] {
            if (config().closed && c->session.loggedIn)
                config().closed(c->session);
            if (!config().keepClosedSessions)
                m_owner.forget(id);
            onNetworkThread([this, id] { m_closing.erase(id); });
        });
    }

    template <typename F> void onNetworkThread(F f) {
        QMetaObject::invokeMethod(&m_server, std::move(f), Qt::QueuedConnection);
    }

    qsizetype limit(const Connection& c) const {
        if (c.admitted)
            return kMaxRequest;
        return c.messageType == tds::PreLogin ? kMaxPreLogin : kMaxLogin;
    }

    void read(int id) {
        Connection* c = find(id);
        if (!c)
            return;
        if (c->closing) {
            c->socket->readAll();
            return;
        }
        for (;;) {
            if (c->waiting >= kMaxWaiting || c->socket->bytesToWrite() > kMaxUnsent)
                return; // read again once answers have gone out
            if (c->input.size() < kReadChunk)
                c->input += c->socket->read(kReadChunk - c->input.size());
            if (c->input.size() < 8)
                return;
            const quint16 length = qFromBigEndian<quint16>(c->input.constData() + 2);
            if (length < 8) {
                c->socket->abort();
                return;
            }
            if (c->input.size() < length)
                return;
            const auto type = quint8(c->input[0]);
            const bool last = (quint8(c->input[1]) & 0x01) != 0;
            if (c->message.isEmpty())
                c->messageType = type;
            if (c->message.size() + length - 8 > limit(*c)) {
                c->socket->abort();
                return;
            }
            c->message += c->input.mid(8, length - 8);
            c->input.remove(0, length);
            if (last)
                dispatch(*c, c->messageType, std::exchange(c->message, QByteArray()));
        }
    }

    // Hands a whole message to the session's worker. An ATTENTION also tells the statement
    // running or waiting there to stop.
    void dispatch(Connection& c, quint8 type, const QByteArray& body) {
        if (type == tds::Attention)
            c.session.cancel->store(true);
        ++c.waiting;
        Connection* p = &c;
        c.worker.post([this, p, type, body] { handle(*p, type, body); });
    }

    // From the worker: the answer to one request (nothing when it stays silent); then the
    // connection is read on, closed when asked.
    void answer(Connection& c, const QByteArray& body, bool close = false) {
        m_owner.publish(c.session);
        const QByteArray bytes =
            body.isEmpty() ? QByteArray()
                           : tds::packets(tds::TabularResult, body, c.packetSize, c.session.id);
        onNetworkThread([this, id = c.session.id, bytes, close] {
            Connection* n = find(id);
            if (!n)
                return;
            --n->waiting;
            n->socket->write(bytes);
            if (close) {
                n->closing = true;
                n->socket->disconnectFromHost();
                return;
            }
            read(id);
        });
    }

    void refuse(Connection& c, const QString& text) {
        answer(c, tds::message(refusal(text), config().serverName) + tds::done(tds::DoneError));
    }

    const ServerConfig& config() const { return m_owner.config(); }

    void handle(Connection& c, quint8 type, const QByteArray& body) {
        switch (type) {
        case tds::PreLogin:
            answer(c, tds::preLoginResponse(config().version));
            return;
        case tds::Login7:
            login(c, body);
            return;
        case tds::SqlBatch:
            batch(c, body);
            return;
        case tds::TransactionManager:
            transaction(c, body);
            return;
        case tds::Attention:
            // Whatever was running has stopped; the client reads up to this DONE.
            c.session.cancel->store(false);
            ++c.session.attentions;
            answer(c, tds::done(tds::DoneAttention));
            return;
        default:
            refuse(c, QStringLiteral("The simulator does not handle TDS packet type 0x%1.")
                          .arg(type, 2, 16, QLatin1Char('0')));
            return;
        }
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
            // The server closes a connection whose login it refused.
            answer(c, tds::message(*failed, config().serverName) + tds::done(tds::DoneError), true);
            return;
        }
        c.session.loggedIn = true;
        c.admitted = true;
        if (login->packetSize >= 512 && login->packetSize <= 32767)
            c.packetSize = int(login->packetSize);
        answer(c, tds::loginSuccess(c.session.database, quint32(c.packetSize), config().version));
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
        keepLatest(c.session.batches, text->left(kKeptBatchCharacters));
        c.session.requestTransaction = tds::headerTransaction(body);
        // A batch the client cancelled before it started does not run.
        const QString database = c.session.database;
        const Reply reply = config().handler && !c.session.cancelled()
                                ? config().handler(*text, c.session)
                                : Reply({}, true);
        if (!reply.killSessions.isEmpty()) {
            onNetworkThread([this, ids = reply.killSessions] {
                for (int id : ids) {
                    if (Connection* other = find(id))
                        other->socket->abort();
                }
            });
        }
        if (reply.disconnect) {
            answer(c, {});
            onNetworkThread([this, id = c.session.id] {
                if (Connection* n = find(id)) {
                    n->closing = true;
                    n->socket->abort();
                }
            });
            return;
        }
        // A cancelled batch, or one scripted to stay silent, is answered by the ATTENTION's DONE.
        if (reply.neverAnswer || c.session.cancelled())
            answer(c, {});
        else if (c.session.database != database)
            answer(c, tds::databaseChange(c.session.database, database) +
                          encodeReply(reply, config().serverName, c.transactions));
        else
            answer(c, encodeReply(reply, config().serverName, c.transactions));
    }

    void transaction(Connection& c, const QByteArray& body) {
        bool beginNew = false;
        const std::optional<TransactionRequest> request = tds::transactionRequest(body, &beginNew);
        if (!request || !c.session.loggedIn) {
            refuse(c, QStringLiteral("The transaction request is not supported."));
            return;
        }
        keepLatest(c.session.transactions, TransactionStep{*request, beginNew});
        if (config().transaction) {
            if (const std::optional<Message> refused =
                    config().transaction(*request, beginNew, c.session)) {
                answer(c, tds::message(*refused, config().serverName) + tds::done(tds::DoneError));
                return;
            }
        }
        QByteArray out = c.transactions.change(*request);
        if (*request != TransactionRequest::Begin && beginNew)
            out += c.transactions.change(TransactionRequest::Begin);
        c.session.inTransaction = c.transactions.open != 0;
        answer(c, out + tds::done(tds::DoneFinal));
    }

    TdsServer& m_owner;
    QTcpServer m_server;
    Connections m_connections;
    Connections m_closing; // gone from the network, their workers still finishing
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

void TdsServer::forget(int sessionId) {
    std::lock_guard lock(m_mutex);
    m_sessions.removeIf([sessionId](const Session& s) { return s.id == sessionId; });
}

} // namespace quenlor::sim
