#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <variant>

class QObject;
class QThread;

namespace quenlor::sim {

class ServerCore;

enum class ColumnType { NVarChar, Int };

struct Column {
    QString name;
    ColumnType type = ColumnType::NVarChar;
};

// Values are a QString for NVARCHAR, an int for INT, a null QVariant for NULL.
struct ResultSet {
    QList<Column> columns;
    QList<QList<QVariant>> rows;
};

// What an INSERT, UPDATE or DELETE reports.
struct RowCount {
    qint64 rows = 0;
};

// Severity above 10 travels as an error, 10 and below as an informational message.
struct Message {
    int number = 0;
    int state = 1;
    int severity = 16;
    QString text;
};

enum class TransactionRequest { Begin, Commit, Rollback };

// A batch's statement began the session's transaction, or committed or rolled it back: the
// client learns it where it happened in the batch.
struct TransactionChange {
    TransactionRequest request = TransactionRequest::Begin;
};

using Result = std::variant<RowCount, ResultSet, Message, TransactionChange>;

// The answer to one batch. `neverAnswer` keeps the server silent until the client cancels.
struct Reply {
    Reply() = default;
    Reply(QList<Result> r, bool silent = false) : results(std::move(r)), neverAnswer(silent) {}
    QList<Result> results;
    bool neverAnswer = false;
    bool disconnect = false; // close the caller's connection instead of answering
    QList<int> killSessions; // other sessions the batch ended (ROLLBACK IMMEDIATE)
};

// One transaction-manager request. The driver ends a transaction with "and begin the next" while
// autocommit stays off, and rolls that empty one back when autocommit is switched on again.
struct TransactionStep {
    TransactionRequest request = TransactionRequest::Begin;
    bool beginsNew = false;
    bool operator==(const TransactionStep&) const = default;
};

// What the server knows about one client connection.
struct Session {
    int id = 0;
    QString user;
    QString password; // as decoded from LOGIN7
    QString database;
    bool loggedIn = false;
    QStringList batches; // the latest ones only, each cut to a few thousand characters
    QList<TransactionStep> transactions;
    bool inTransaction = false;
    int transactionDepth = 0;       // @@TRANCOUNT: BEGIN TRAN nests, COMMIT unwinds one level
    quint64 requestTransaction = 0; // the transaction the client's latest batch said it is in
    int attentions = 0;
    // Set when the client's ATTENTION arrives or it goes away; a running statement stops at its
    // next step when it sees it.
    std::shared_ptr<std::atomic_bool> cancel = std::make_shared<std::atomic_bool>(false);
    [[nodiscard]] bool cancelled() const { return cancel && cancel->load(); }
};

// Given a batch's text and its session, the results to send back. Runs on the session's own
// thread: handlers of different sessions run at the same time.
using BatchHandler = std::function<Reply(const QString& sql, Session& session)>;

// Decides a login whose user, password and database the session holds; nullopt accepts it.
using LoginHandler = std::function<std::optional<Message>(Session& session)>;
// Carries out a transaction request; a message refuses it.
using TransactionHandler = std::function<std::optional<Message>(TransactionRequest request,
                                                                bool beginsNew, Session& session)>;
using CloseHandler = std::function<void(const Session& session)>;

struct ServerConfig {
    QString user = QStringLiteral("sa");
    QString password;
    QString serverName = QStringLiteral("QUENLOR-SIM");
    QString version = QStringLiteral("15.0.2000"); // announced at pre-login and login
    BatchHandler handler;
    LoginHandler login;             // when empty, user and password above decide
    TransactionHandler transaction; // when empty, every request is granted
    CloseHandler closed;
    bool keepClosedSessions = false; // sessions() goes on listing closed sessions, for tests
};

// A SQL Server stand-in speaking TDS 7.4 on 127.0.0.1: one network thread reads and writes every
// connection, and each session's requests run in order on a thread of the session's own.
class TdsServer {
public:
    explicit TdsServer(ServerConfig config);
    ~TdsServer();
    TdsServer(const TdsServer&) = delete;
    TdsServer& operator=(const TdsServer&) = delete;

    // Listens on 127.0.0.1:port (0 picks a free one); false when the port cannot be had.
    [[nodiscard]] bool start(quint16 port = 0);
    void stop();
    [[nodiscard]] quint16 port() const { return m_port; }

    // A snapshot of the open sessions (and the closed ones when kept), oldest first.
    [[nodiscard]] QList<Session> sessions() const;

    // Called by the sessions' threads.
    void publish(const Session& session);
    void forget(int sessionId);
    [[nodiscard]] const ServerConfig& config() const { return m_config; }

private:
    ServerConfig m_config;
    quint16 m_port = 0;
    std::unique_ptr<QThread> m_thread;
    std::unique_ptr<QObject> m_anchor;  // lives on m_thread, so work can be sent there
    std::unique_ptr<ServerCore> m_core; // created and destroyed on m_thread
    mutable std::mutex m_mutex;
    QList<Session> m_sessions;
};

} // namespace quenlor::sim
