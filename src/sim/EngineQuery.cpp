// Batches and the statements in them: faults, the classification of each statement, and the
// queries (SELECT, INSERT, UPDATE, DELETE) translated for the embedded engine, whose failures
// become the server's own error numbers and texts.

#include "sim/Engine.h"
#include "sim/EngineInternal.h"

#include <QElapsedTimer>

#include <cstdio>
#include <cstring>
#include <thread>

namespace quenlor::sim {

using namespace detail;

namespace {

// ---- the server's messages ----

struct MessageText {
    int number;
    int severity;
    const char16_t* english;
    const char16_t* chinese;
};

// clang-format off
const MessageText kMessages[] = {
    {102, 15, u"Incorrect syntax near '%1'.", u"'%1' 附近有语法错误。"},
    {103, 15, u"The identifier that starts with '%1' is too long. Maximum length is 128.", u"以 '%1' 开头的 标识符 太长。最大长度为 128。"},
    {195, 15, u"'%1' is not a recognized built-in function name.", u"'%1' 不是可以识别的 内置函数名称。"},
    {207, 16, u"Invalid column name '%1'.", u"列名 '%1' 无效。"},
    {208, 16, u"Invalid object name '%1'.", u"对象名 '%1' 无效。"},
    {209, 16, u"Ambiguous column name '%1'.", u"列名 '%1' 不明确。"},
    {226, 16, u"ALTER DATABASE statement not allowed within multi-statement transaction.", u"不允许在多语句事务内使用 ALTER DATABASE 语句。"},
    {547, 16, u"The %1 statement conflicted with a REFERENCE constraint. The conflict occurred in database \"%2\".", u"%1 语句与 REFERENCE 约束冲突。该冲突发生于数据库 \"%2\"。"},
    {574, 16, u"DROP DATABASE statement cannot be used inside a user transaction.", u"在用户事务内不能使用 DROP DATABASE 语句。"},
    {924, 14, u"Database '%1' is already open and can only have one user at a time.", u"数据库 '%1' 已打开，并且一次只能有一个用户。"},
    {911, 16, u"Database '%1' does not exist. Make sure that the name is entered correctly.", u"数据库 '%1' 不存在。请确保正确地输入了该名称。"},
    {942, 14, u"Database '%1' cannot be opened because it is offline.", u"数据库 '%1' 无法打开，因为它处于脱机状态。"},
    {2627, 14, u"Violation of a PRIMARY KEY or UNIQUE constraint. Cannot insert duplicate key in object '%1'.", u"违反了 PRIMARY KEY 或 UNIQUE 约束。不能在对象 '%1' 中插入重复键。"},
    {2812, 16, u"Could not find stored procedure '%1'.", u"找不到存储过程 '%1'。"},
    {3701, 11, u"Cannot drop the database '%1', because it does not exist or you do not have permission.", u"无法对 数据库'%1' 执行 删除，因为它不存在，或者您没有所需的权限。"},
    {3702, 16, u"Cannot drop database \"%1\" because it is currently in use.", u"无法删除数据库 \"%1\"，因为该数据库当前正在使用。"},
    {3709, 16, u"Cannot drop the database while the database snapshot \"%1\" refers to it. Drop that database first.", u"数据库快照 \"%1\" 引用了该数据库，因此无法删除该数据库。请先删除快照数据库。"},
    {3724, 16, u"Cannot drop the database '%1' because it is being used for replication.", u"无法对 数据库 '%1' 执行 删除，因为正将其用于复制。"},
    {3752, 16, u"The database '%1' is currently joined to an availability group.  Before you can drop the database, you need to remove it from the availability group.", u"数据库 '%1' 当前已联接到某一可用性组。必须先将该数据库从可用性组中删除，然后才能删除该数据库。"},
    {3708, 16, u"Cannot drop the database '%1' because it is a system database.", u"无法删除 数据库 '%1'，因为它是系统 数据库。"},
    {3902, 16, u"The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.", u"COMMIT TRANSACTION 请求没有对应的 BEGIN TRANSACTION。"},
    {3903, 16, u"The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION.", u"ROLLBACK TRANSACTION 请求没有对应的 BEGIN TRANSACTION。"},
    {3906, 16, u"Failed to update database \"%1\" because the database is read-only.", u"无法更新数据库 \"%1\"，因为数据库是只读的。"},
    {4060, 11, u"Cannot open database \"%1\" requested by the login. The login failed.", u"无法打开登录所请求的数据库 \"%1\"。登录失败。"},
    {5011, 14, u"User does not have permission to alter database '%1', the database does not exist, or the database is not in a state that allows access checks.", u"用户没有更改数据库 '%1' 的权限，该数据库不存在，或数据库未处于允许访问检查的状态。"},
    {5064, 16, u"Changes to the state or options of database '%1' cannot be made at this time. The database is in single-user mode, and a user is currently connected to it.", u"此时无法更改数据库 '%1' 的状态或选项。数据库处于单用户模式，当前某个用户已与其连接。"},
    {5069, 16, u"ALTER DATABASE statement failed.", u"ALTER DATABASE 语句失败。"},
    {5070, 16, u"Database state cannot be changed while other users are using the database '%1'", u"其他用户正使用数据库 '%1'，此时无法更改数据库状态"},
    {18456, 14, u"Login failed for user '%1'.", u"用户 '%1' 登录失败。"},
    // Not SQL Server's own: what the stand-in says when it meets something it does not model.
    {50000, 16, u"The simulated server cannot run this statement: %1", u"模拟服务器无法执行此语句：%1"},
    {50001, 16, u"The simulated server runs one transaction at a time; session %1 holds it.", u"模拟服务器同一时间只能有一个事务，会话 %1 正在使用。"},
};
// clang-format on

// The quoted part of an engine error such as: near "x": syntax error.
QString between(const QString& text, QChar open, QChar close) {
    const qsizetype a = text.indexOf(open);
    const qsizetype b = a < 0 ? -1 : text.indexOf(close, a + 1);
    return b < 0 ? QString() : text.mid(a + 1, b - a - 1);
}

QString afterColon(const QString& text) {
    const qsizetype at = text.indexOf(QLatin1String(": "));
    return at < 0 ? text : text.mid(at + 2).trimmed();
}

// "ufsystem.UA_Foo" as the server would name it: "ufsystem..UA_Foo".
QString serverObjectName(const QString& engineName) {
    const qsizetype dot = engineName.indexOf(u'.');
    if (dot < 0)
        return engineName;
    const QString schema = engineName.left(dot);
    return (schema == QLatin1String("main") ? QStringLiteral("master") : schema) +
           QStringLiteral("..") + engineName.mid(dot + 1);
}

// A failure to prepare a translated statement as the server reports it.
Message prepareError(const Engine& engine, const QString& error) {
    if (error.startsWith(QLatin1String("no such table")))
        return engine.message(208, serverObjectName(afterColon(error)));
    if (error.startsWith(QLatin1String("no such column")))
        return engine.message(207, afterColon(error).section(u'.', -1));
    if (error.startsWith(QLatin1String("no such function")))
        return engine.message(195, afterColon(error));
    if (error.startsWith(QLatin1String("ambiguous column name")))
        return engine.message(209, afterColon(error).section(u'.', -1));
    if (error.contains(QLatin1String("syntax error")))
        return engine.message(102, between(error, u'"', u'"'));
    return engine.message(50000, error);
}

// A failure while a statement runs as the server reports it; verb and database name the
// statement and the database of its first table.
Message executeError(const Engine& engine, const QString& verb, const QString& database,
                     const QString& error) {
    if (error.contains(QLatin1String("FOREIGN KEY")))
        return engine.message(547, verb, database);
    if (error.contains(QLatin1String("UNIQUE")))
        return engine.message(2627, afterColon(error).section(u'.', 0, 0));
    return engine.message(50000, error);
}

// A column is INT when every value fits one; anything else travels as text.
bool integerColumn(sqlite3_stmt* statement, int column, const QList<QVariantList>& rows) {
    const char* declared = sqlite3_column_decltype(statement, column);
    if (declared && QByteArray(declared).toUpper().contains("TEXT"))
        return false;
    // A column with neither a declared type nor a value is text.
    bool anyValue = declared != nullptr;
    for (const QVariantList& row : rows) {
        const QVariant& v = row[column];
        if (v.isNull())
            continue;
        anyValue = true;
        if (v.typeId() != QMetaType::LongLong || v.toLongLong() > INT32_MAX ||
            v.toLongLong() < INT32_MIN)
            return false;
    }
    return anyValue;
}

// The rows a statement gave, with its column names and each column typed INT or NVARCHAR.
ResultSet resultSet(sqlite3_stmt* statement, QList<QVariantList> rows) {
    ResultSet set;
    const int columnCount = sqlite3_column_count(statement);
    for (int c = 0; c < columnCount; ++c) {
        const bool integers = integerColumn(statement, c, rows);
        set.columns << Column{QString::fromUtf8(sqlite3_column_name(statement, c)),
                              integers ? ColumnType::Int : ColumnType::NVarChar};
        for (QVariantList& row : rows) {
            if (row[c].isNull())
                continue;
            if (integers)
                row[c] = int(row[c].toLongLong());
            else if (row[c].typeId() != QMetaType::QString)
                row[c] = row[c].toString();
        }
    }
    set.rows = std::move(rows);
    return set;
}

} // namespace

Message Engine::message(int number, const QString& a, const QString& b) const {
    for (const MessageText& m : kMessages) {
        if (m.number != number)
            continue;
        QString text = QString::fromUtf16(m_english ? m.english : m.chinese);
        text.replace(QLatin1String("%1"), a);
        text.replace(QLatin1String("%2"), b);
        return Message{number, 1, m.severity, text};
    }
    return Message{number, 1, 16, QStringLiteral("Error %1").arg(number)};
}

// What one query learns on its way through translation, for the steps that follow.
struct Engine::Context {
    Context(const QString& verb, const Session& session) : verb(verb), session(session) {}

    const QString& verb; // SELECT, INSERT, UPDATE or DELETE
    const Session& session;
    QString offlineDatabase; // a database the statement names that cannot be opened
    QString targetDatabase;  // the database of the first table the statement names
    QByteArray engineSql;    // the statement in the engine's dialect, once translated
    bool processes = false;  // the statement reads sysprocesses
};

// ---- batches ----

namespace {

enum class Kind {
    Query,
    Use,
    Set,
    AlterDatabase,
    DropDatabase,
    Procedure,
    Begin,
    Commit,
    Rollback
};

// What a statement is, by its first words; nullopt for one the server cannot parse.
std::optional<Kind> kindOf(const QString& statement) {
    const QStringList words = sql::leadingWords(statement, 2);
    const QString first = words.value(0);
    const QString second = words.value(1);
    if (first == QLatin1String("SELECT") || first == QLatin1String("INSERT") ||
        first == QLatin1String("UPDATE") || first == QLatin1String("DELETE"))
        return Kind::Query;
    if (first == QLatin1String("USE"))
        return Kind::Use;
    if (first == QLatin1String("SET"))
        return Kind::Set;
    if (first == QLatin1String("ALTER") && second == QLatin1String("DATABASE"))
        return Kind::AlterDatabase;
    if (first == QLatin1String("DROP") && second == QLatin1String("DATABASE"))
        return Kind::DropDatabase;
    if (first == QLatin1String("EXEC") || first == QLatin1String("EXECUTE") ||
        first.startsWith(QLatin1String("SP_")))
        return Kind::Procedure;
    if (first == QLatin1String("BEGIN") &&
        (second == QLatin1String("TRAN") || second == QLatin1String("TRANSACTION")))
        return Kind::Begin;
    if (first == QLatin1String("COMMIT"))
        return Kind::Commit;
    if (first == QLatin1String("ROLLBACK"))
        return Kind::Rollback;
    return std::nullopt;
}

} // namespace

void Engine::waitUnlocked(std::unique_lock<std::recursive_mutex>& lock, int ms, Session& session) {
    lock.unlock();
    ++m_delayed;
    QElapsedTimer waited;
    waited.start();
    while (!waited.hasExpired(ms) && !session.cancelled())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    --m_delayed;
    lock.lock();
    m_current = &session;
}

Reply Engine::batch(const QString& sql, Session& session) {
    std::unique_lock lock(m_mutex);
    QElapsedTimer timer;
    timer.start();
    m_current = &session;
    Reply reply;
    // The whole batch is parsed before any of it runs: a name too long or a syntax error
    // anywhere in it, and none of it runs.
    const QStringList statements = sql::splitStatements(sql);
    std::optional<Message> refused;
    if (const QString overlong = sql::overlongName(sql); !overlong.isEmpty())
        refused = message(103, overlong);
    for (qsizetype i = 0; !refused && i < statements.size(); ++i)
        refused = parseError(statements[i], session);
    if (refused)
        reply.results << *refused;
    for (const QString& statement : refused ? QStringList() : statements) {
        if (session.cancelled())
            break;
        ++m_statements;
        bool faulted = false;
        for (qsizetype i = 0; i < m_faults.size(); ++i) {
            Fault& fault = m_faults[i];
            if (!fault.statement.match(statement).hasMatch())
                continue;
            // Taken before a spent fault is removed, which frees it.
            const Fault::Kind kind = fault.kind;
            const Message error = fault.error;
            const int delayMs = fault.delayMs;
            if (fault.times > 0 && --fault.times == 0)
                m_faults.removeAt(i);
            if (kind == Fault::Kind::Delay) {
                waitUnlocked(lock, delayMs, session);
                break;
            }
            if (kind == Fault::Kind::Hang)
                reply.neverAnswer = true;
            else if (kind == Fault::Kind::Disconnect)
                reply.disconnect = true;
            else
                reply.results << error;
            faulted = true;
            break;
        }
        if (reply.neverAnswer || reply.disconnect || session.cancelled())
            break;
        if (faulted)
            continue;
        try {
            run(statement, session, reply);
        } catch (const std::exception& e) {
            reply.results << message(50000, QString::fromUtf8(e.what()));
        }
    }
    m_current = nullptr;
    m_busy += std::chrono::nanoseconds(timer.nsecsElapsed());
    return reply;
}

std::optional<Message> Engine::parseError(const QString& statement, const Session& session) const {
    const QList<sql::Token> tokens = significant(statement);
    const auto near = [&](qsizetype i) {
        return message(102, tokens.value(std::min(i, tokens.size() - 1)).text);
    };
    const std::optional<Kind> kind = kindOf(statement);
    if (!kind)
        return near(0);
    switch (*kind) {
    case Kind::Query: {
        // Prepared against tables that need not exist: the engine parses a statement before it
        // looks for its tables, and the tables may be another database's by the time it runs.
        const sql::Translation translation =
            sql::translate(statement, [](const QString&, const QString&, const QString& object) {
                return sql::TableTarget{QStringLiteral("parse"), object};
            });
        if (!translation.syntaxNear.isEmpty())
            return message(102, translation.syntaxNear);
        Context context(tokens.first().text, session);
        context.engineSql = translation.sql.toUtf8();
        Statement prepared;
        std::optional<Message> failed = prepare(context, &prepared.handle);
        return failed && failed->number == 102 ? failed : std::nullopt;
    }
    case Kind::Use:
        return isName(tokens, 1) && tokens.size() == 2 ? std::nullopt : std::optional(near(1));
    case Kind::Set: {
        static const QStringList options = {QStringLiteral("TEXTSIZE"),
                                            QStringLiteral("NOCOUNT"),
                                            QStringLiteral("ANSI_NULLS"),
                                            QStringLiteral("ANSI_WARNINGS"),
                                            QStringLiteral("ANSI_PADDING"),
                                            QStringLiteral("ANSI_NULL_DFLT_ON"),
                                            QStringLiteral("QUOTED_IDENTIFIER"),
                                            QStringLiteral("CONCAT_NULL_YIELDS_NULL"),
                                            QStringLiteral("ARITHABORT"),
                                            QStringLiteral("XACT_ABORT"),
                                            QStringLiteral("LOCK_TIMEOUT"),
                                            QStringLiteral("DATEFORMAT"),
                                            QStringLiteral("IMPLICIT_TRANSACTIONS"),
                                            QStringLiteral("LANGUAGE"),
                                            QStringLiteral("CURSOR_CLOSE_ON_COMMIT"),
                                            QStringLiteral("TRANSACTION")};
        const QString option = tokens.value(1).text.toUpper();
        return options.contains(option) ? std::nullopt : std::optional(message(195, option));
    }
    case Kind::AlterDatabase:
        if (!isName(tokens, 2) || !isWord(tokens, 3, "SET") || tokens.size() < 5)
            return near(3);
        // SINGLE_USER alone, or WITH ROLLBACK IMMEDIATE after it.
        if (isWord(tokens, 4, "SINGLE_USER") && tokens.size() != 5 &&
            !(isWord(tokens, 5, "WITH") && isWord(tokens, 6, "ROLLBACK") &&
              isWord(tokens, 7, "IMMEDIATE") && tokens.size() == 8))
            return near(5);
        return std::nullopt;
    case Kind::DropDatabase:
        return isName(tokens, 2) && tokens.size() == 3 ? std::nullopt : std::optional(near(3));
    case Kind::Procedure: {
        const qsizetype at = isWord(tokens, 0, "EXEC") || isWord(tokens, 0, "EXECUTE") ? 1 : 0;
        return isName(tokens, at) ? std::nullopt : std::optional(near(at));
    }
    case Kind::Begin:
    case Kind::Commit:
    case Kind::Rollback:
        break;
    }
    return std::nullopt;
}

void Engine::run(const QString& statement, Session& session, Reply& reply) {
    const Kind kind = *kindOf(statement);
    const QString first = sql::leadingWords(statement, 1).value(0);
    // All sessions share one engine transaction: while one session holds it, another's change
    // would be undone by its rollback, so changes from elsewhere are refused rather than lost.
    if (m_transactionOwner != 0 && m_transactionOwner != session.id && kind != Kind::Use &&
        kind != Kind::Set && first != QLatin1String("SELECT")) {
        reply.results << message(50001, QString::number(m_transactionOwner));
        return;
    }
    switch (kind) {
    case Kind::Query:
        query(statement, first, session, reply);
        break;
    case Kind::Use:
        use(statement, session, reply);
        break;
    case Kind::Set: // every option the batch's check lets through changes nothing here
        break;
    case Kind::AlterDatabase:
        alterDatabase(statement, session, reply);
        break;
    case Kind::DropDatabase:
        dropDatabase(statement, session, reply);
        break;
    case Kind::Procedure:
        procedure(statement, session, reply);
        break;
    case Kind::Begin:
        transactionStatement(TransactionRequest::Begin, session, reply);
        break;
    case Kind::Commit:
        transactionStatement(TransactionRequest::Commit, session, reply);
        break;
    case Kind::Rollback:
        transactionStatement(TransactionRequest::Rollback, session, reply);
        break;
    }
}

// ---- queries ----

void Engine::query(const QString& statement, const QString& verb, Session& session, Reply& reply) {
    Context context(verb, session);
    Statement prepared;
    QList<QVariantList> rows;
    // Each step either does its work or gives the error that ends the statement.
    std::optional<Message> failed = translate(statement, context);
    if (!failed && context.processes)
        refreshProcesses();
    if (!failed)
        failed = refuseReadOnly(context);
    if (!failed)
        failed = prepare(context, &prepared.handle);
    if (!failed)
        failed = execute(context, prepared.handle, rows);
    if (failed)
        reply.results << *failed;
    else if (sqlite3_column_count(prepared.handle) == 0)
        reply.results << RowCount{sqlite3_changes(m_db)};
    else
        reply.results << resultSet(prepared.handle, std::move(rows));
}

std::optional<sql::TableTarget> Engine::resolveTable(Context& context, const QString& database,
                                                     const QString& owner,
                                                     const QString& object) const {
    // The first table named decides which database a refused change is reported against.
    const auto target = [&](const QString& name) {
        if (context.targetDatabase.isEmpty())
            context.targetDatabase = name;
    };
    // The sys views came with SQL Server 2005; they read master's tables.
    for (const auto& [view, table] :
         {std::pair{"databases", "sys_databases"}, std::pair{"master_files", "sys_master_files"}}) {
        if (owner.compare(QLatin1String("sys"), Qt::CaseInsensitive) != 0 ||
            object.compare(QLatin1String(view), Qt::CaseInsensitive) != 0)
            continue;
        if (m_major < 9)
            return std::nullopt;
        target(QStringLiteral("master"));
        return sql::TableTarget{QStringLiteral("temp"), QString::fromLatin1(table)};
    }
    // master's own tables, whatever database the statement names them in.
    for (const char* table : {"sysdatabases", "sysaltfiles", "sysprocesses"}) {
        if (object.compare(QLatin1String(table), Qt::CaseInsensitive) == 0) {
            target(QStringLiteral("master"));
            context.processes = context.processes || std::strcmp(table, "sysprocesses") == 0;
            return sql::TableTarget{QStringLiteral("main"), QString::fromLatin1(table)};
        }
    }
    const DatabaseState* db = find(database.isEmpty() ? context.session.database : database);
    if (!db)
        return std::nullopt;
    if (db->flags.contains(QStringLiteral("IsOffline"))) {
        context.offlineDatabase = db->name;
        return std::nullopt;
    }
    if (db->schema.isEmpty() || !m_tables.value(lower(db->schema)).contains(lower(object)))
        return std::nullopt;
    target(db->name);
    const bool nameColumn = sqlite3_table_column_metadata(
                                m_db, db->schema.toUtf8().constData(), object.toUtf8().constData(),
                                "name", nullptr, nullptr, nullptr, nullptr, nullptr) == SQLITE_OK;
    return sql::TableTarget{db->schema, object, nameColumn};
}

std::optional<Message> Engine::translate(const QString& statement, Context& context) const {
    const sql::Translation translation = sql::translate(
        statement, [&](const QString& database, const QString& owner, const QString& object) {
            return resolveTable(context, database, owner, object);
        });
    if (!context.offlineDatabase.isEmpty())
        return message(942, context.offlineDatabase);
    if (!translation.invalidObject.isEmpty())
        return message(208, translation.invalidObject);
    if (!translation.syntaxNear.isEmpty())
        return message(102, translation.syntaxNear);
    context.engineSql = translation.sql.toUtf8();
    return std::nullopt;
}

std::optional<Message> Engine::refuseReadOnly(const Context& context) const {
    if (context.verb == QLatin1String("SELECT"))
        return std::nullopt;
    const DatabaseState* target = find(context.targetDatabase);
    if (target && target->flags.contains(QStringLiteral("IsReadOnly")))
        return message(3906, target->name);
    return std::nullopt;
}

std::optional<Message> Engine::prepare(const Context& context, sqlite3_stmt** statement) const {
    const QByteArray& utf8 = context.engineSql;
    if (qEnvironmentVariableIsSet("QUENLOR_SIM_TRACE"))
        std::fprintf(stderr, "quenlor-sim: %s\n", utf8.constData());
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(m_db, utf8.constData(), int(utf8.size()), statement, &tail) !=
        SQLITE_OK) {
        // A statement that ends too early is wrong near its last word.
        if (sqliteError(m_db) == QLatin1String("incomplete input"))
            return message(102, QString::fromUtf8(utf8)
                                    .remove(QLatin1String(" COLLATE tsql"))
                                    .trimmed()
                                    .section(u' ', -1));
        return prepareError(*this, sqliteError(m_db));
    }
    // The engine prepares one statement; anything after it is text the translation left over.
    const QString rest = tail ? QString::fromUtf8(tail).trimmed() : QString();
    if (!rest.isEmpty())
        return message(102, rest.section(u' ', 0, 0));
    return std::nullopt;
}

std::optional<Message> Engine::execute(const Context& context, sqlite3_stmt* statement,
                                       QList<QVariantList>& rows) const {
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        QVariantList row = rowOf(statement);
        // Every digit a REAL holds, never an exponent: 8800000.5, not 8.8e+06.
        for (QVariant& v : row) {
            if (v.typeId() == QMetaType::Double)
                v = QString::number(v.toDouble(), 'g', 15);
        }
        rows << row;
    }
    if (rc == SQLITE_DONE)
        return std::nullopt;
    return executeError(*this, context.verb, context.targetDatabase, sqliteError(m_db));
}

} // namespace quenlor::sim
