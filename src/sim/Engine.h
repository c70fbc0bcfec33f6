#pragma once

#include "sim/NameIndex.h"
#include "sim/Scenario.h"
#include "sim/TdsServer.h"

#include <QHash>
#include <QList>
#include <QRegularExpression>
#include <QSet>
#include <QString>
#include <QVariant>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>

struct sqlite3;
struct sqlite3_stmt;

namespace quenlor::sim {

namespace sql {
struct TableTarget;
}

// One database of the simulated server.
struct DatabaseState {
    QString name;
    int id = 0;
    QString file;    // full path of the primary data file
    QString logFile; // full path of the log file
    QSet<QString> flags;
    int otherUsers = 0; // connections other programs hold in it
    QString schema;     // the engine schema holding its tables; empty for a database without any
    QString snapshotOf; // the database this one is a snapshot of; empty for an ordinary one
    QString availabilityGroup; // the availability group it is joined to; empty for none
};

// A way to make a statement fail, for the roads a real server takes only now and then.
struct Fault {
    // Delay runs the statement after delayMs, as a long DROP DATABASE takes its time; other
    // sessions are served meanwhile, and a cancel ends the wait without running it.
    enum class Kind { Error, Hang, Disconnect, Delay };
    QRegularExpression statement;
    Kind kind = Kind::Error;
    Message error;
    int times = -1; // how many statements it catches; -1 for every one
    int delayMs = 0;
};

// How the server names its data files to clients: as this system names them, or as a Windows
// program under Wine sees them (drive Z:, backslashes), so the Windows program can be driven
// against the simulator and find the files it is told about.
enum class ReportedPaths { Native, WineDriveZ };

// The simulated server's state and the meaning of every statement it accepts. The tables live
// in an embedded SQLite database (master as its main schema, each catalogue database attached
// as its own schema); databases, their files and flags are kept here. All calls are serialised.
class Engine {
public:
    // Creates the data files below dataFolder. Throws std::runtime_error when the scenario
    // cannot be set up.
    Engine(const Scenario& scenario, const QString& dataFolder,
           ReportedPaths reportedPaths = ReportedPaths::Native);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // A server configuration whose sessions are answered by this engine.
    ServerConfig serverConfig();

    std::optional<Message> login(Session& session);
    Reply batch(const QString& sql, Session& session);
    std::optional<Message> transaction(TransactionRequest request, bool beginsNew,
                                       Session& session);
    void closed(const Session& session);

    // Runs a statement of the engine's own dialect on the tables as they are, for checks.
    QList<QVariantList> rows(const QString& engineSql);
    // The same for one value; a null QVariant when there is no row.
    QVariant value(const QString& engineSql);
    std::optional<DatabaseState> database(const QString& name) const;
    QStringList databaseNames() const;
    void setOtherUsers(const QString& name, int count);
    // Changes a database's flags, snapshot source or availability group as a scenario sets them.
    void changeDatabase(const QString& name, const std::function<void(DatabaseState&)>& change);
    void addFault(const Fault& fault);
    // How many statements a Delay fault holds back right now.
    [[nodiscard]] int delayedStatements() const { return m_delayed; }
    void clearFaults();

    // Time spent answering batches, and how many statements arrived.
    std::chrono::nanoseconds busyTime() const;
    int statementCount() const;
    const ServerDef& server() const { return m_server; }
    int majorVersion() const { return m_major; }

private:
    // What one query learns while it is translated, for the steps after it.
    struct Context;

    void load(const Scenario& scenario, const QString& dataFolder);
    void release();
    void open();
    void addDatabase(const DatabaseDef& def, const QString& dataFolder);
    void createCatalogue(const QString& schema, const SchemaDef& def);
    void insertRow(const QString& schema, const QString& table, const Row& row);
    void insertValues(const QString& schema, const QString& table, const QStringList& columns,
                      const QVariantList& values);
    void generate(const GenerateDef& def, const QString& dataFolder);
    void exec(const QString& engineSql);
    void syncStatus(const DatabaseState& db);
    // Fills sysprocesses with the sessions and other programs' connections as they are now.
    void refreshProcesses();
    // Why DROP DATABASE must refuse a database that snapshots, replication or an availability
    // group depend on.
    std::optional<Message> dropBlocked(const DatabaseState& db) const;

    // The error that keeps a statement from running, found without running it: a syntax
    // error, or a SET option the server does not know.
    std::optional<Message> parseError(const QString& statement, const Session& session) const;
    void run(const QString& statement, Session& session, Reply& reply);
    void query(const QString& statement, const QString& verb, Session& session, Reply& reply);
    // The steps of query(). resolveTable() answers the translator for each table a statement
    // names; the others each give the error that ends the statement, if there is one.
    std::optional<sql::TableTarget> resolveTable(Context& context, const QString& database,
                                                 const QString& owner, const QString& object) const;
    std::optional<Message> translate(const QString& statement, Context& context) const;
    std::optional<Message> refuseReadOnly(const Context& context) const;
    std::optional<Message> prepare(const Context& context, sqlite3_stmt** statement) const;
    std::optional<Message> execute(const Context& context, sqlite3_stmt* statement,
                                   QList<QVariantList>& rows) const;
    void use(const QString& statement, Session& session, Reply& reply);
    void alterDatabase(const QString& statement, Session& session, Reply& reply);
    void dropDatabase(const QString& statement, Session& session, Reply& reply);
    void procedure(const QString& statement, Session& session, Reply& reply);
    bool switchSingleUser(const QString& name, bool on, bool rollbackOthers, Session& session,
                          Reply& reply, bool legacy);
    void transactionStatement(TransactionRequest request, Session& session, Reply& reply);
    std::optional<Message> beginTransaction(Session& session);
    std::optional<Message> endTransaction(bool commit, Session& session);

    DatabaseState* find(const QString& name);
    const DatabaseState* find(const QString& name) const;
    int sessionsIn(const QString& name, int exceptSession) const;
    // A single-user database someone else is already in.
    bool singleUserTaken(const DatabaseState& db, int sessionId) const;

public:
    // Message texts in the server's language, by number.
    Message message(int number, const QString& a = QString(), const QString& b = QString()) const;
    // Registered with the engine; public only for its C callbacks.
    QVariant serverProperty(const QString& name) const;
    QVariant databaseProperty(const QString& database, const QString& property) const;
    // The sys.databases columns the engine keeps outside sysdatabases: source_database_id and
    // group_database_id.
    QVariant catalogColumn(const QString& database, const QString& column) const;
    QString currentDatabase() const;
    int currentSession() const;
    int currentTransactionDepth() const;
    // The first and the last database name a LIKE pattern matches.
    std::optional<std::pair<QString, QString>> databaseNameBounds(const QString& pattern);

private:
    // Waits `ms` with the engine free for other sessions; the session's cancel ends the wait.
    void waitUnlocked(std::unique_lock<std::recursive_mutex>& lock, int ms, Session& session);

    mutable std::recursive_mutex m_mutex;
    ServerDef m_server;
    ReportedPaths m_reportedPaths = ReportedPaths::Native;
    int m_major = 0;
    bool m_english = false;
    sqlite3* m_db = nullptr;
    QHash<QString, DatabaseState> m_databases; // by lower-case name
    NameIndex m_names;                         // the same names, for LIKE
    // The database whose properties were last asked for; reset when databases come or go.
    mutable const DatabaseState* m_propertyDatabase = nullptr;
    QHash<QString, QSet<QString>> m_tables;           // schema (lower) -> table names (lower)
    QHash<QString, sqlite3_stmt*> m_insertStatements; // loader's prepared inserts
    QSet<QString> m_folders;                          // loader's data folders made
    QHash<int, QString> m_sessionDatabase;            // live session -> its current database
    int m_transactionOwner = 0;
    int m_nextId = 2000000;
    int m_nextDbId = 5;
    QList<Fault> m_faults;
    std::chrono::nanoseconds m_busy{0};
    int m_statements = 0;
    std::atomic<int> m_delayed{0};
    Session* m_current = nullptr; // the session whose batch is running, for the functions
};

} // namespace quenlor::sim
