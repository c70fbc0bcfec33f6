// The statements about databases and sessions: USE, ALTER DATABASE ... SINGLE_USER / MULTI_USER,
// DROP DATABASE and sp_dboption, logins and closed connections, and the one transaction the
// sessions share.

#include "sim/Engine.h"
#include "sim/EngineInternal.h"

#include <QFile>

namespace quenlor::sim {

using namespace detail;

namespace {

QString literal(const sql::Token& token) {
    QString inner = token.text.mid(1, token.text.size() - 2);
    return inner.replace(QStringLiteral("''"), QStringLiteral("'"));
}

} // namespace

QList<sql::Token> detail::significant(const QString& statement) {
    QList<sql::Token> out;
    for (const sql::Token& t : sql::tokenize(statement)) {
        if (t.kind != sql::TokenKind::Space && t.kind != sql::TokenKind::Comment)
            out << t;
    }
    return out;
}

// ---- sessions ----

ServerConfig Engine::serverConfig() {
    ServerConfig config;
    config.user = m_server.user;
    config.password = m_server.password;
    config.version = m_server.productVersion;
    config.handler = [this](const QString& sql, Session& session) { return batch(sql, session); };
    config.login = [this](Session& session) { return login(session); };
    config.transaction = [this](TransactionRequest request, bool beginsNew, Session& session) {
        return transaction(request, beginsNew, session);
    };
    config.closed = [this](const Session& session) { closed(session); };
    return config;
}

std::optional<Message> Engine::login(Session& session) {
    std::lock_guard lock(m_mutex);
    // Login names ignore case, as under the server's default collation; passwords do not.
    if (session.user.compare(m_server.user, Qt::CaseInsensitive) != 0 ||
        session.password != m_server.password)
        return message(18456, session.user);
    if (session.database.isEmpty())
        session.database = QStringLiteral("master");
    const DatabaseState* db = find(session.database);
    if (!db || db->flags.contains(QStringLiteral("IsOffline")))
        return message(4060, session.database);
    if (singleUserTaken(*db, session.id))
        return message(924, db->name);
    session.database = db->name;
    m_sessionDatabase.insert(session.id, db->name);
    return std::nullopt;
}

void Engine::closed(const Session& session) {
    std::lock_guard lock(m_mutex);
    m_sessionDatabase.remove(session.id);
    if (m_transactionOwner == session.id) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        m_transactionOwner = 0;
    }
}

std::optional<Message> Engine::beginTransaction(Session& session) {
    if (m_transactionOwner == session.id)
        return std::nullopt;
    if (m_transactionOwner != 0)
        return message(50001, QString::number(m_transactionOwner));
    exec(QStringLiteral("BEGIN"));
    m_transactionOwner = session.id;
    session.inTransaction = true;
    session.transactionDepth = 1;
    return std::nullopt;
}

std::optional<Message> Engine::endTransaction(bool commit, Session& session) {
    if (m_transactionOwner == session.id) {
        if (sqlite3_exec(m_db, commit ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr) !=
            SQLITE_OK)
            return message(50000, sqliteError(m_db));
        m_transactionOwner = 0;
    }
    session.inTransaction = false;
    session.transactionDepth = 0;
    return std::nullopt;
}

std::optional<Message> Engine::transaction(TransactionRequest request, bool beginsNew,
                                           Session& session) {
    std::lock_guard lock(m_mutex);
    // Nothing may escape into the network thread's event loop.
    try {
        if (request == TransactionRequest::Begin)
            return beginTransaction(session);
        if (std::optional<Message> failed =
                endTransaction(request == TransactionRequest::Commit, session))
            return failed;
        return beginsNew ? beginTransaction(session) : std::nullopt;
    } catch (const std::exception& e) {
        return message(50000, QString::fromUtf8(e.what()));
    }
}

void Engine::transactionStatement(TransactionRequest request, Session& session, Reply& reply) {
    if (request != TransactionRequest::Begin && m_transactionOwner != session.id) {
        reply.results << message(request == TransactionRequest::Commit ? 3902 : 3903);
        return;
    }
    // A BEGIN inside a transaction only nests it, and a COMMIT of a nested one unwinds a level.
    if (m_transactionOwner == session.id && request != TransactionRequest::Rollback &&
        (request == TransactionRequest::Begin || session.transactionDepth > 1)) {
        session.transactionDepth += request == TransactionRequest::Begin ? 1 : -1;
        return;
    }
    std::optional<Message> failed =
        request == TransactionRequest::Begin
            ? beginTransaction(session)
            : endTransaction(request == TransactionRequest::Commit, session);
    if (failed)
        reply.results << *failed;
    else
        reply.results << TransactionChange{request};
}

// ---- database statements ----

void Engine::use(const QString& statement, Session& session, Reply& reply) {
    const QString name = sql::unquoteName(significant(statement)[1]);
    const DatabaseState* db = find(name);
    if (!db) {
        reply.results << message(911, name);
        return;
    }
    if (db->flags.contains(QStringLiteral("IsOffline"))) {
        reply.results << message(942, db->name);
        return;
    }
    if (singleUserTaken(*db, session.id)) {
        reply.results << message(924, db->name);
        return;
    }
    session.database = db->name;
    m_sessionDatabase.insert(session.id, db->name);
}

bool Engine::switchSingleUser(const QString& name, bool on, bool rollbackOthers, Session& session,
                              Reply& reply, bool legacy) {
    DatabaseState* db = find(name);
    // An offline database takes no option changes; only a drop or bringing it online.
    if (!db || db->flags.contains(QStringLiteral("IsOffline"))) {
        reply.results << message(5011, db ? db->name : name) << message(5069);
        return false;
    }
    if (session.inTransaction || m_transactionOwner == session.id) {
        reply.results << message(226);
        return false;
    }
    const int others = db->otherUsers + sessionsIn(db->name, session.id);
    if (on) {
        if (db->flags.contains(QStringLiteral("IsSingleUser")) && others > 0) {
            reply.results << message(5064, db->name) << message(5069);
            return false;
        }
        if (others > 0 && !rollbackOthers) {
            reply.results << message(legacy ? 5070 : 5064, db->name) << message(5069);
            return false;
        }
        // ROLLBACK IMMEDIATE ends every other connection in the database.
        db->otherUsers = 0;
        for (auto it = m_sessionDatabase.begin(); it != m_sessionDatabase.end(); ++it) {
            if (it.key() != session.id && it.value().compare(db->name, Qt::CaseInsensitive) == 0)
                reply.killSessions << it.key();
        }
        for (int killed : std::as_const(reply.killSessions))
            m_sessionDatabase.remove(killed);
        db->flags.insert(QStringLiteral("IsSingleUser"));
    } else {
        db->flags.remove(QStringLiteral("IsSingleUser"));
    }
    syncStatus(*db);
    return true;
}

void Engine::syncStatus(const DatabaseState& db) {
    Statement s;
    sqlite3_prepare_v2(m_db, "UPDATE main.sysdatabases SET status = ? WHERE name = ?", -1,
                       &s.handle, nullptr);
    const QByteArray name = db.name.toUtf8();
    sqlite3_bind_int(s.handle, 1, statusBits(db.flags));
    sqlite3_bind_text(s.handle, 2, name.constData(), int(name.size()), SQLITE_TRANSIENT);
    sqlite3_step(s.handle);
}

void Engine::alterDatabase(const QString& statement, Session& session, Reply& reply) {
    const QList<sql::Token> tokens = significant(statement);
    const QString name = sql::unquoteName(tokens[2]);
    if (isWord(tokens, 4, "SINGLE_USER")) {
        // The batch's check let through nothing else than WITH ROLLBACK IMMEDIATE after it.
        switchSingleUser(name, true, tokens.size() > 5, session, reply, false);
    } else if (isWord(tokens, 4, "MULTI_USER") && tokens.size() == 5) {
        switchSingleUser(name, false, false, session, reply, false);
    } else {
        reply.results << message(50000, statement);
    }
}

void Engine::dropDatabase(const QString& statement, Session& session, Reply& reply) {
    const QString name = sql::unquoteName(significant(statement)[2]);
    if (session.inTransaction || m_transactionOwner == session.id) {
        reply.results << message(574);
        return;
    }
    DatabaseState* db = find(name);
    if (!db) {
        reply.results << message(3701, name);
        return;
    }
    if (systemDatabases().contains(lower(db->name))) {
        reply.results << message(3708, db->name);
        return;
    }
    if (std::optional<Message> blocked = dropBlocked(*db)) {
        reply.results << *blocked;
        return;
    }
    if (db->otherUsers + sessionsIn(db->name, 0) > 0) {
        reply.results << message(3702, db->name);
        return;
    }
    // An offline database's files stay on disk; the server removes the files of any other.
    if (!db->flags.contains(QStringLiteral("IsOffline"))) {
        QFile::remove(db->file);
        QFile::remove(db->logFile);
    }
    if (!db->schema.isEmpty()) {
        exec(QStringLiteral("DETACH DATABASE ") + quoted(db->schema));
        m_tables.remove(lower(db->schema));
    }
    Statement s;
    sqlite3_prepare_v2(m_db, "DELETE FROM main.sysdatabases WHERE name = ?", -1, &s.handle,
                       nullptr);
    const QByteArray utf8 = db->name.toUtf8();
    sqlite3_bind_text(s.handle, 1, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    sqlite3_step(s.handle);
    exec(QStringLiteral("DELETE FROM main.sysaltfiles WHERE dbid = %1").arg(db->id));
    m_names.remove(db->name);
    m_propertyDatabase = nullptr;
    m_databases.remove(lower(db->name));
}

std::optional<Message> Engine::dropBlocked(const DatabaseState& db) const {
    for (const DatabaseState& other : m_databases) {
        if (other.snapshotOf.compare(db.name, Qt::CaseInsensitive) == 0)
            return message(3709, other.name);
    }
    if (!db.availabilityGroup.isEmpty())
        return message(3752, db.name);
    if (db.flags.contains(QStringLiteral("IsPublished")) ||
        db.flags.contains(QStringLiteral("IsMergePublished")))
        return message(3724, db.name);
    return std::nullopt;
}

void Engine::procedure(const QString& statement, Session& session, Reply& reply) {
    const QList<sql::Token> tokens = significant(statement);
    qsizetype at = isWord(tokens, 0, "EXEC") || isWord(tokens, 0, "EXECUTE") ? 1 : 0;
    // A procedure's name may come with its database and owner: msdb.dbo.name or msdb..name.
    QString name = sql::unquoteName(tokens[at]);
    QString full = name;
    while (at + 1 < tokens.size() && tokens[at + 1].text == QLatin1String(".")) {
        ++at;
        full += u'.';
        if (at + 1 < tokens.size() && tokens[at + 1].kind != sql::TokenKind::Symbol) {
            name = sql::unquoteName(tokens[++at]);
            full += name;
        }
    }
    // msdb forgets a database's backups and restores; no history is kept here, so there is
    // nothing more to do than to check the call.
    if (full.compare(QLatin1String("msdb.dbo.sp_delete_database_backuphistory"),
                     Qt::CaseInsensitive) == 0 ||
        full.compare(QLatin1String("msdb..sp_delete_database_backuphistory"),
                     Qt::CaseInsensitive) == 0) {
        const bool named =
            tokens.size() == at + 2 ||
            (tokens.size() == at + 4 && tokens[at + 1].kind == sql::TokenKind::Variable &&
             tokens[at + 2].text == QLatin1String("="));
        if (!named || tokens.last().kind != sql::TokenKind::String)
            reply.results << message(50000, statement);
        return;
    }
    // sp_dboption went away with SQL Server 2012.
    if (name.compare(QLatin1String("sp_dboption"), Qt::CaseInsensitive) != 0 || m_major > 10) {
        reply.results << message(2812, name);
        return;
    }
    QStringList args;
    for (qsizetype i = at + 1; i < tokens.size(); ++i) {
        if (tokens[i].kind == sql::TokenKind::String)
            args << literal(tokens[i]);
        else if (tokens[i].kind != sql::TokenKind::Symbol || tokens[i].text != QLatin1String(","))
            args << tokens[i].text;
    }
    if (args.size() != 3) {
        reply.results << message(50000, statement);
        return;
    }
    QString database = args[0];
    while (database.endsWith(u' '))
        database.chop(1);
    const QString option = args[1].trimmed().toLower();
    const bool on = args[2].trimmed().compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
    if (option == QLatin1String("single user")) {
        switchSingleUser(database, on, false, session, reply, true);
    } else {
        reply.results << message(50000, statement);
    }
}

} // namespace quenlor::sim
