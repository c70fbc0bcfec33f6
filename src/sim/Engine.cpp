#include "sim/Engine.h"

#include "sim/SqlTranslator.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <cstdio>
#include <stdexcept>

namespace quenlor::sim {

namespace {

QString lower(const QString& s) {
    return s.toLower();
}

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

const QStringList& systemDatabases() {
    static const QStringList names = {QStringLiteral("master"), QStringLiteral("tempdb"),
                                      QStringLiteral("model"), QStringLiteral("msdb")};
    return names;
}

// sysdatabases.status bits of the flags that have one.
int statusBits(const QSet<QString>& flags) {
    static const QList<QPair<QString, int>> bits = {
        {QStringLiteral("IsOffline"), 512},     {QStringLiteral("IsSuspect"), 256},
        {QStringLiteral("IsReadOnly"), 1024},   {QStringLiteral("IsDboOnly"), 2048},
        {QStringLiteral("IsSingleUser"), 4096}, {QStringLiteral("IsInLoad"), 32},
        {QStringLiteral("IsInRecovery"), 192},  {QStringLiteral("IsEmergencyMode"), 32768}};
    int status = 0;
    for (const auto& [flag, bit] : bits) {
        if (flags.contains(flag))
            status |= bit;
    }
    return status;
}

QString engineType(const QString& sqlServerType) {
    const QString t = sqlServerType.toLower();
    if (t.contains(QLatin1String("char")) || t.contains(QLatin1String("text")) ||
        t.contains(QLatin1String("date")))
        return QStringLiteral("TEXT COLLATE tsql");
    if (t.contains(QLatin1String("int")) || t == QLatin1String("bit"))
        return QStringLiteral("INTEGER");
    return QStringLiteral("REAL");
}

QString quoted(const QString& name) {
    QString escaped = name;
    escaped.replace(u'"', QStringLiteral("\"\""));
    return u'"' + escaped + u'"';
}

QString logFileOf(const QString& file) {
    const QFileInfo info(file);
    const bool upper = info.suffix() == info.suffix().toUpper();
    return info.dir().filePath(info.completeBaseName() +
                               (upper ? QStringLiteral("_log.LDF") : QStringLiteral("_log.ldf")));
}

void touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error("cannot create " + path.toStdString());
}

QString text(sqlite3_value* v) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
    return p ? QString::fromUtf8(p, sqlite3_value_bytes(v)) : QString();
}

void resultText(sqlite3_context* ctx, const QString& s) {
    const QByteArray utf8 = s.toUtf8();
    sqlite3_result_text(ctx, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

void resultVariant(sqlite3_context* ctx, const QVariant& v) {
    if (!v.isValid() || v.isNull())
        sqlite3_result_null(ctx);
    else if (v.typeId() == QMetaType::Int || v.typeId() == QMetaType::LongLong)
        sqlite3_result_int64(ctx, v.toLongLong());
    else
        resultText(ctx, v.toString());
}

Engine* engineOf(sqlite3_context* ctx) {
    return static_cast<Engine*>(sqlite3_user_data(ctx));
}

// ---- functions and collation the statements need ----

int collate(void*, int aLength, const void* a, int bLength, const void* b) {
    return sql::compareText(static_cast<const char*>(a), aLength, static_cast<const char*>(b),
                            bLength);
}

void like(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    // like(pattern, value[, escape]) is how "value LIKE pattern" arrives.
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const auto* pattern = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const int patternLength = sqlite3_value_bytes(argv[0]);
    const auto* value = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
    const int valueLength = sqlite3_value_bytes(argv[1]);
    bool matched = false;
    if (argc == 3) {
        const QString escape = text(argv[2]);
        matched = sql::likeMatch(QString::fromUtf8(value, valueLength),
                                 QString::fromUtf8(pattern, patternLength),
                                 escape.isEmpty() ? QChar() : escape.front());
    } else {
        matched = sql::likeMatchUtf8(value, valueLength, pattern, patternLength);
    }
    sqlite3_result_int(ctx, matched ? 1 : 0);
}

void leftOrRight(sqlite3_context* ctx, sqlite3_value** argv, bool left) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const QString s = text(argv[0]);
    const qsizetype n = sqlite3_value_int64(argv[1]);
    if (n < 0) {
        sqlite3_result_error(ctx, "Invalid length parameter passed to the LEFT or RIGHT function.",
                             -1);
        return;
    }
    resultText(ctx, left ? s.left(n) : s.right(n));
}

void tsqlLeft(sqlite3_context* ctx, int, sqlite3_value** argv) {
    leftOrRight(ctx, argv, true);
}

void tsqlRight(sqlite3_context* ctx, int, sqlite3_value** argv) {
    leftOrRight(ctx, argv, false);
}

void tsqlLen(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    QString s = text(argv[0]);
    while (s.endsWith(u' '))
        s.chop(1);
    sqlite3_result_int64(ctx, s.size());
}

void tsqlCharindex(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    sqlite3_result_int64(ctx, text(argv[1]).indexOf(text(argv[0]), 0, Qt::CaseInsensitive) + 1);
}

void tsqlGetdate(sqlite3_context* ctx, int, sqlite3_value**) {
    resultText(ctx,
               QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")));
}

void tsqlDbName(sqlite3_context* ctx, int, sqlite3_value**) {
    resultText(ctx, engineOf(ctx)->currentDatabase());
}

void tsqlServerProperty(sqlite3_context* ctx, int, sqlite3_value** argv) {
    resultVariant(ctx, engineOf(ctx)->serverProperty(text(argv[0])));
}

void tsqlDatabaseProperty(sqlite3_context* ctx, int, sqlite3_value** argv) {
    resultVariant(ctx, engineOf(ctx)->databaseProperty(text(argv[0]), text(argv[1])));
}

void tsqlVersion(sqlite3_context* ctx, int, sqlite3_value**) {
    const Engine* e = engineOf(ctx);
    resultText(ctx,
               QStringLiteral("Microsoft SQL Server %1 (%2) %3 (Quenlor simulated server)")
                   .arg(e->server().productVersion, e->server().productLevel, e->server().edition));
}

void tsqlServerName(sqlite3_context* ctx, int, sqlite3_value**) {
    resultText(ctx, QStringLiteral("QUENLOR-SIM"));
}

void tsqlSpid(sqlite3_context* ctx, int, sqlite3_value**) {
    sqlite3_result_int(ctx, engineOf(ctx)->currentSession());
}

QString sqliteError(sqlite3* db) {
    return QString::fromUtf8(sqlite3_errmsg(db));
}

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

// The current row of a statement: NULL, a 64-bit integer, a double or text.
QList<QVariant> rowOf(sqlite3_stmt* statement) {
    const int columns = sqlite3_column_count(statement);
    QList<QVariant> row;
    row.reserve(columns);
    for (int c = 0; c < columns; ++c) {
        switch (sqlite3_column_type(statement, c)) {
        case SQLITE_NULL:
            row << QVariant();
            break;
        case SQLITE_INTEGER:
            row << qint64(sqlite3_column_int64(statement, c));
            break;
        case SQLITE_FLOAT:
            row << sqlite3_column_double(statement, c);
            break;
        default:
            row << QString::fromUtf8(
                reinterpret_cast<const char*>(sqlite3_column_text(statement, c)),
                sqlite3_column_bytes(statement, c));
        }
    }
    return row;
}

struct Statement {
    sqlite3_stmt* handle = nullptr;
    ~Statement() { sqlite3_finalize(handle); }
};

} // namespace

// ---- set-up ----

Engine::Engine(const Scenario& scenario, const QString& dataFolder, ReportedPaths reportedPaths)
    : m_server(scenario.server), m_reportedPaths(reportedPaths) {
    m_major = m_server.productVersion.section(u'.', 0, 0).toInt();
    m_english = !m_server.language.startsWith(QLatin1String("zh"));
    try {
        load(scenario, dataFolder);
    } catch (...) {
        // No destructor runs for an object whose constructor failed.
        release();
        throw;
    }
}

void Engine::release() {
    for (sqlite3_stmt* s : std::as_const(m_insertStatements))
        sqlite3_finalize(s);
    m_insertStatements.clear();
    sqlite3_close_v2(m_db);
    m_db = nullptr;
}

void Engine::load(const Scenario& scenario, const QString& dataFolder) {
    open();

    for (const QString& name : systemDatabases()) {
        const bool listed = std::any_of(
            scenario.databases.begin(), scenario.databases.end(),
            [&](const DatabaseDef& d) { return d.name.compare(name, Qt::CaseInsensitive) == 0; });
        if (!listed)
            addDatabase(DatabaseDef{name,
                                    QStringLiteral("MSSQL/DATA/") + name + QStringLiteral(".mdf"),
                                    QString(),
                                    {},
                                    0},
                        dataFolder);
    }
    for (const DatabaseDef& def : scenario.databases) {
        if (find(def.name))
            throw std::runtime_error("database listed twice: " + def.name.toStdString());
        addDatabase(def, dataFolder);
        if (!def.schema.isEmpty())
            createCatalogue(m_databases[lower(def.name)].schema,
                            scenario.schemas.value(def.schema));
    }

    exec(QStringLiteral("BEGIN"));
    for (auto db = scenario.rows.begin(); db != scenario.rows.end(); ++db) {
        const DatabaseState* state = find(db.key());
        if (!state || state->schema.isEmpty())
            throw std::runtime_error("rows for a database without tables: " +
                                     db.key().toStdString());
        for (auto t = db.value().begin(); t != db.value().end(); ++t) {
            for (const Row& row : t.value())
                insertRow(state->schema, t.key(), row);
        }
    }
    if (scenario.generate.accounts > 0)
        generate(scenario.generate, dataFolder);
    exec(QStringLiteral("COMMIT"));
    for (sqlite3_stmt* s : std::as_const(m_insertStatements))
        sqlite3_finalize(s);
    m_insertStatements.clear();
}

Engine::~Engine() {
    release();
}

void Engine::open() {
    if (sqlite3_open(":memory:", &m_db) != SQLITE_OK)
        throw std::runtime_error("cannot open the embedded database");
    sqlite3_limit(m_db, SQLITE_LIMIT_ATTACHED, 125);
    sqlite3_create_collation_v2(m_db, "tsql", SQLITE_UTF8, nullptr, collate, nullptr);
    struct Function {
        const char* name;
        int args;
        void (*call)(sqlite3_context*, int, sqlite3_value**);
    };
    const Function functions[] = {
        {"like", 2, like},
        {"like", 3, like},
        {"tsql_left", 2, tsqlLeft},
        {"tsql_right", 2, tsqlRight},
        {"tsql_len", 1, tsqlLen},
        {"tsql_charindex", 2, tsqlCharindex},
        {"tsql_getdate", 0, tsqlGetdate},
        {"tsql_db_name", 0, tsqlDbName},
        {"tsql_serverproperty", 1, tsqlServerProperty},
        {"tsql_databaseproperty", 2, tsqlDatabaseProperty},
        {"tsql_databasepropertyex", 2, tsqlDatabaseProperty},
        {"tsql_version", 0, tsqlVersion},
        {"tsql_servername", 0, tsqlServerName},
        {"tsql_spid", 0, tsqlSpid},
    };
    for (const Function& f : functions)
        sqlite3_create_function_v2(m_db, f.name, f.args, SQLITE_UTF8, this, f.call, nullptr,
                                   nullptr, nullptr);

    exec(QStringLiteral("PRAGMA foreign_keys = ON"));
    exec(QStringLiteral(
        "CREATE TABLE main.sysdatabases (name TEXT COLLATE tsql PRIMARY KEY, dbid INTEGER, "
        "sid TEXT, mode INTEGER DEFAULT 0, status INTEGER DEFAULT 0, status2 INTEGER DEFAULT 0, "
        "crdate TEXT, reserved TEXT, category INTEGER DEFAULT 0, cmptlevel INTEGER, "
        "filename TEXT COLLATE tsql, version INTEGER)"));
    exec(QStringLiteral(
        "CREATE TEMP VIEW sys_databases AS SELECT name, dbid AS database_id, crdate AS "
        "create_date, cmptlevel AS compatibility_level, CASE WHEN status & 512 THEN 6 ELSE 0 END "
        "AS state, CASE WHEN status & 4096 THEN 1 ELSE 0 END AS user_access, CASE WHEN status & "
        "1024 THEN 1 ELSE 0 END AS is_read_only FROM main.sysdatabases"));
    createCatalogue(QStringLiteral("main"), SchemaDef{});
}

void Engine::exec(const QString& engineSql) {
    char* error = nullptr;
    if (sqlite3_exec(m_db, engineSql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string text = error ? error : "unknown error";
        sqlite3_free(error);
        throw std::runtime_error(text + " in: " + engineSql.toStdString());
    }
}

void Engine::addDatabase(const DatabaseDef& def, const QString& dataFolder) {
    DatabaseState db;
    db.name = def.name;
    db.id = systemDatabases().indexOf(lower(def.name)) + 1;
    if (db.id <= 0)
        db.id = m_nextDbId++;
    const QString relative =
        def.file.isEmpty() ? QStringLiteral("Data/") + def.name + QStringLiteral(".mdf") : def.file;
    db.file = QDir(dataFolder).filePath(relative);
    db.logFile = logFileOf(db.file);
    touch(db.file);
    touch(db.logFile);
    db.flags = QSet<QString>(def.flags.begin(), def.flags.end());
    db.otherUsers = def.otherUsers;
    if (lower(def.name) == QLatin1String("master"))
        db.schema = QStringLiteral("main");
    else if (!def.schema.isEmpty())
        db.schema = def.name;

    Statement s;
    sqlite3_prepare_v2(m_db,
                       "INSERT INTO main.sysdatabases (name, dbid, crdate, cmptlevel, filename, "
                       "status, version) VALUES (?, ?, ?, ?, ?, ?, ?)",
                       -1, &s.handle, nullptr);
    const QByteArray name = db.name.toUtf8();
    QString reported = QDir::toNativeSeparators(db.file);
    if (m_reportedPaths == ReportedPaths::WineDriveZ)
        reported = QStringLiteral("Z:") + reported.replace(u'/', u'\\');
    const QByteArray file = reported.toUtf8();
    sqlite3_bind_text(s.handle, 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int(s.handle, 2, db.id);
    sqlite3_bind_text(s.handle, 3, "2020-01-01 08:00:00.000", -1, SQLITE_STATIC);
    sqlite3_bind_int(s.handle, 4, m_major * 10);
    sqlite3_bind_text(s.handle, 5, file.constData(), int(file.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int(s.handle, 6, statusBits(db.flags));
    sqlite3_bind_int(s.handle, 7, 600 + m_major);
    if (sqlite3_step(s.handle) != SQLITE_DONE)
        throw std::runtime_error("cannot register " + def.name.toStdString() + ": " +
                                 sqliteError(m_db).toStdString());
    m_databases.insert(lower(db.name), db);
}

void Engine::createCatalogue(const QString& schema, const SchemaDef& def) {
    if (schema != QLatin1String("main")) {
        if (m_tables.size() >= 124)
            throw std::runtime_error("too many catalogue databases");
        exec(QStringLiteral("ATTACH DATABASE ':memory:' AS ") + quoted(schema));
    }
    const QString s = quoted(schema) + u'.';
    exec(QStringLiteral("CREATE TABLE ") + s +
         QStringLiteral("sysobjects (id INTEGER PRIMARY KEY, name TEXT COLLATE tsql, xtype TEXT "
                        "COLLATE tsql, type TEXT COLLATE tsql, uid INTEGER DEFAULT 1, parent_obj "
                        "INTEGER DEFAULT 0, crdate TEXT)"));
    exec(QStringLiteral("CREATE TABLE ") + s +
         QStringLiteral("syscolumns (id INTEGER, name TEXT COLLATE tsql, colid INTEGER, colorder "
                        "INTEGER, type TEXT COLLATE tsql, isnullable INTEGER)"));
    exec(QStringLiteral("CREATE TABLE ") + s +
         QStringLiteral("sysreferences (constid INTEGER, fkeyid INTEGER, rkeyid INTEGER, keycnt "
                        "INTEGER, fkey1 INTEGER, fkey2 INTEGER, fkey3 INTEGER, fkey4 INTEGER, "
                        "rkey1 INTEGER, rkey2 INTEGER, rkey3 INTEGER, rkey4 INTEGER)"));
    QSet<QString>& tables = m_tables[lower(schema)];
    tables << QStringLiteral("sysobjects") << QStringLiteral("syscolumns")
           << QStringLiteral("sysreferences");
    if (schema == QLatin1String("main"))
        tables << QStringLiteral("sysdatabases");

    QHash<QString, int> ids;
    for (const TableDef& table : def.tables) {
        QStringList columns;
        for (const ColumnDef& c : table.columns)
            columns << quoted(c.name) + u' ' + engineType(c.type) +
                           (c.notNull ? QStringLiteral(" NOT NULL") : QString());
        if (!table.primaryKey.isEmpty()) {
            QStringList key;
            for (const QString& k : table.primaryKey)
                key << quoted(k);
            columns << QStringLiteral("PRIMARY KEY (") + key.join(u',') + u')';
        }
        for (const ForeignKeyDef& fk : table.foreignKeys) {
            QStringList from, to;
            for (const QString& c : fk.columns)
                from << quoted(c);
            for (const QString& c : fk.refColumns)
                to << quoted(c);
            columns << QStringLiteral("CONSTRAINT ") + quoted(fk.name) +
                           QStringLiteral(" FOREIGN KEY (") + from.join(u',') +
                           QStringLiteral(") REFERENCES ") + quoted(fk.references) + u'(' +
                           to.join(u',') + u')';
        }
        exec(QStringLiteral("CREATE TABLE ") + s + quoted(table.name) + QStringLiteral(" (") +
             columns.join(QStringLiteral(", ")) + u')');
        tables << lower(table.name);

        const int id = m_nextId;
        m_nextId += 16;
        ids.insert(lower(table.name), id);
        exec(QStringLiteral("INSERT INTO %1sysobjects (id, name, xtype, type, crdate) VALUES "
                            "(%2, '%3', 'U', 'U', '2020-01-01')")
                 .arg(s)
                 .arg(id)
                 .arg(QString(table.name).replace(u'\'', QStringLiteral("''"))));
        for (qsizetype i = 0; i < table.columns.size(); ++i) {
            const ColumnDef& c = table.columns[i];
            exec(QStringLiteral("INSERT INTO %1syscolumns (id, name, colid, colorder, type, "
                                "isnullable) VALUES (%2, '%3', %4, %4, '%5', %6)")
                     .arg(s)
                     .arg(id)
                     .arg(QString(c.name).replace(u'\'', QStringLiteral("''")))
                     .arg(i + 1)
                     .arg(c.type)
                     .arg(c.notNull ? 0 : 1));
        }
        for (const ForeignKeyDef& fk : table.foreignKeys) {
            const int refId = ids.value(lower(fk.references));
            if (refId == 0)
                throw std::runtime_error("foreign key to a table not defined before it: " +
                                         fk.name.toStdString());
            const TableDef* referenced = nullptr;
            for (const TableDef& t : def.tables) {
                if (lower(t.name) == lower(fk.references))
                    referenced = &t;
            }
            auto order = [](const TableDef& t, const QString& column) {
                for (qsizetype i = 0; i < t.columns.size(); ++i) {
                    if (lower(t.columns[i].name) == lower(column))
                        return int(i + 1);
                }
                return 0;
            };
            const int constId = m_nextId;
            m_nextId += 16;
            exec(QStringLiteral("INSERT INTO %1sysobjects (id, name, xtype, type, parent_obj, "
                                "crdate) VALUES (%2, '%3', 'F', 'F', %4, '2020-01-01')")
                     .arg(s)
                     .arg(constId)
                     .arg(fk.name)
                     .arg(id));
            QList<int> f(4, 0), r(4, 0);
            for (qsizetype k = 0; k < fk.columns.size() && k < 4; ++k) {
                f[k] = order(table, fk.columns[k]);
                r[k] = order(*referenced, fk.refColumns.value(k));
            }
            exec(QStringLiteral("INSERT INTO %1sysreferences VALUES (%2, %3, %4, %5, %6, %7, %8, "
                                "%9, %10, %11, %12, %13)")
                     .arg(s)
                     .arg(constId)
                     .arg(id)
                     .arg(refId)
                     .arg(fk.columns.size())
                     .arg(f[0])
                     .arg(f[1])
                     .arg(f[2])
                     .arg(f[3])
                     .arg(r[0])
                     .arg(r[1])
                     .arg(r[2])
                     .arg(r[3]));
        }
    }
}

void Engine::insertRow(const QString& schema, const QString& table, const Row& row) {
    const QStringList columns = row.keys();
    const QString key = schema + u'\n' + table + u'\n' + columns.join(u',');
    sqlite3_stmt* statement = m_insertStatements.value(key);
    if (!statement) {
        QStringList names, marks;
        for (const QString& c : columns) {
            names << quoted(c);
            marks << QStringLiteral("?");
        }
        const QString sql =
            QStringLiteral("INSERT INTO %1.%2 (%3) VALUES (%4)")
                .arg(quoted(schema), quoted(table), names.join(u','), marks.join(u','));
        if (sqlite3_prepare_v2(m_db, sql.toUtf8().constData(), -1, &statement, nullptr) !=
            SQLITE_OK)
            throw std::runtime_error(sqliteError(m_db).toStdString() + " in: " + sql.toStdString());
        m_insertStatements.insert(key, statement);
    }
    sqlite3_reset(statement);
    int i = 1;
    for (const QString& c : columns) {
        const QVariant v = row.value(c);
        if (!v.isValid() || v.isNull()) {
            sqlite3_bind_null(statement, i);
        } else if (v.typeId() == QMetaType::Double) {
            sqlite3_bind_double(statement, i, v.toDouble());
        } else if (v.typeId() == QMetaType::QString) {
            const QByteArray utf8 = v.toString().toUtf8();
            sqlite3_bind_text(statement, i, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        } else {
            sqlite3_bind_int64(statement, i, v.toLongLong());
        }
        ++i;
    }
    if (sqlite3_step(statement) != SQLITE_DONE)
        throw std::runtime_error("row for " + schema.toStdString() + ".." + table.toStdString() +
                                 ": " + sqliteError(m_db).toStdString());
}

void Engine::generate(const GenerateDef& def, const QString& dataFolder) {
    const DatabaseState* catalogue = find(def.database);
    if (!catalogue || catalogue->schema.isEmpty())
        throw std::runtime_error("generated account sets need a catalogue database");
    const QString schema = catalogue->schema;
    for (int a = 1; a <= def.accounts; ++a) {
        const QString code = QStringLiteral("%1").arg(a, 3, 10, QLatin1Char('0'));
        insertRow(schema, QStringLiteral("UA_Account"),
                  {{QStringLiteral("cAcc_Id"), code},
                   {QStringLiteral("cAcc_Name"), QStringLiteral("第%1号演示账套").arg(code)},
                   {QStringLiteral("iYear"), def.firstYear}});
        insertRow(schema, QStringLiteral("UA_HoldAuth"),
                  {{QStringLiteral("cAcc_Id"), code},
                   {QStringLiteral("iYear"), def.firstYear + def.years - 1},
                   {QStringLiteral("cUser_Id"), QStringLiteral("demo")},
                   {QStringLiteral("cAuth_Id"), QStringLiteral("GL")}});
        insertRow(schema, QStringLiteral("UA_Task"),
                  {{QStringLiteral("cTaskId"), QStringLiteral("T%1").arg(code)},
                   {QStringLiteral("cAcc_Id"), code},
                   {QStringLiteral("iYear"), def.firstYear + def.years - 1},
                   {QStringLiteral("cUser_Id"), QStringLiteral("demo")}});
        for (int y = 0; y < def.years; ++y) {
            const int year = def.firstYear + y;
            addDatabase(DatabaseDef{QStringLiteral("UFDATA_%1_%2").arg(code).arg(year),
                                    QStringLiteral("U8SOFT/ZT%1/%2/UFDATA.MDF").arg(code).arg(year),
                                    QString(),
                                    {},
                                    0},
                        dataFolder);
            for (int month = 1; month <= 12; ++month) {
                const QDate first(year, month, 1);
                insertRow(
                    schema, QStringLiteral("UA_Period"),
                    {{QStringLiteral("cAcc_Id"), code},
                     {QStringLiteral("iYear"), year},
                     {QStringLiteral("iId"), month},
                     {QStringLiteral("dBegin"), first.toString(Qt::ISODate)},
                     {QStringLiteral("dEnd"), first.addMonths(1).addDays(-1).toString(Qt::ISODate)},
                     {QStringLiteral("bIsDelete"), 0}});
            }
        }
    }
}

// ---- inspection ----

QList<QVariantList> Engine::rows(const QString& engineSql) {
    std::lock_guard lock(m_mutex);
    Statement s;
    if (sqlite3_prepare_v2(m_db, engineSql.toUtf8().constData(), -1, &s.handle, nullptr) !=
        SQLITE_OK)
        throw std::runtime_error(sqliteError(m_db).toStdString() +
                                 " in: " + engineSql.toStdString());
    QList<QVariantList> result;
    while (sqlite3_step(s.handle) == SQLITE_ROW)
        result << rowOf(s.handle);
    return result;
}

QVariant Engine::value(const QString& engineSql) {
    const QList<QVariantList> r = rows(engineSql);
    return r.isEmpty() || r.first().isEmpty() ? QVariant() : r.first().first();
}

std::optional<DatabaseState> Engine::database(const QString& name) const {
    std::lock_guard lock(m_mutex);
    if (const DatabaseState* db = find(name))
        return *db;
    return std::nullopt;
}

QStringList Engine::databaseNames() const {
    std::lock_guard lock(m_mutex);
    QStringList names;
    for (const DatabaseState& db : m_databases)
        names << db.name;
    names.sort(Qt::CaseInsensitive);
    return names;
}

void Engine::setOtherUsers(const QString& name, int count) {
    std::lock_guard lock(m_mutex);
    if (DatabaseState* db = find(name))
        db->otherUsers = count;
}

void Engine::addFault(const Fault& fault) {
    std::lock_guard lock(m_mutex);
    m_faults << fault;
}

void Engine::clearFaults() {
    std::lock_guard lock(m_mutex);
    m_faults.clear();
}

std::chrono::nanoseconds Engine::busyTime() const {
    std::lock_guard lock(m_mutex);
    return m_busy;
}

int Engine::statementCount() const {
    std::lock_guard lock(m_mutex);
    return m_statements;
}

DatabaseState* Engine::find(const QString& name) {
    QString key = lower(name);
    while (key.endsWith(u' '))
        key.chop(1);
    const auto it = m_databases.find(key);
    return it == m_databases.end() ? nullptr : &it.value();
}

const DatabaseState* Engine::find(const QString& name) const {
    return const_cast<Engine*>(this)->find(name);
}

bool Engine::singleUserTaken(const DatabaseState& db, int sessionId) const {
    return db.flags.contains(QStringLiteral("IsSingleUser")) &&
           db.otherUsers + sessionsIn(db.name, sessionId) > 0;
}

int Engine::sessionsIn(const QString& name, int exceptSession) const {
    int count = 0;
    for (auto it = m_sessionDatabase.begin(); it != m_sessionDatabase.end(); ++it) {
        if (it.key() != exceptSession && it.value().compare(name, Qt::CaseInsensitive) == 0)
            ++count;
    }
    return count;
}

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

QVariant Engine::serverProperty(const QString& name) const {
    const QString n = lower(name.trimmed());
    if (n == QLatin1String("productversion"))
        return m_server.productVersion;
    if (n == QLatin1String("productlevel"))
        return m_server.productLevel;
    if (n == QLatin1String("edition"))
        return m_server.edition;
    if (n == QLatin1String("servername") || n == QLatin1String("machinename"))
        return QStringLiteral("QUENLOR-SIM");
    if (n == QLatin1String("collation"))
        return QStringLiteral("Chinese_PRC_CI_AS");
    return QVariant();
}

QVariant Engine::databaseProperty(const QString& database, const QString& property) const {
    const DatabaseState* db = find(database);
    if (!db)
        return QVariant();
    const QString p = property.trimmed();
    for (const QString& flag : databaseFlags()) {
        if (flag.compare(p, Qt::CaseInsensitive) == 0)
            return db->flags.contains(flag) ? 1 : 0;
    }
    if (p.compare(QLatin1String("Status"), Qt::CaseInsensitive) == 0)
        return db->flags.contains(QStringLiteral("IsOffline"))   ? QStringLiteral("OFFLINE")
               : db->flags.contains(QStringLiteral("IsSuspect")) ? QStringLiteral("SUSPECT")
                                                                 : QStringLiteral("ONLINE");
    if (p.compare(QLatin1String("UserAccess"), Qt::CaseInsensitive) == 0)
        return db->flags.contains(QStringLiteral("IsSingleUser")) ? QStringLiteral("SINGLE_USER")
                                                                  : QStringLiteral("MULTI_USER");
    if (p.compare(QLatin1String("Updateability"), Qt::CaseInsensitive) == 0)
        return db->flags.contains(QStringLiteral("IsReadOnly")) ? QStringLiteral("READ_ONLY")
                                                                : QStringLiteral("READ_WRITE");
    return QVariant();
}

QString Engine::currentDatabase() const {
    return m_current ? m_current->database : QStringLiteral("master");
}

int Engine::currentSession() const {
    return m_current ? m_current->id : 0;
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

// ---- sessions ----

ServerConfig Engine::serverConfig() {
    ServerConfig config;
    config.user = m_server.user;
    config.password = m_server.password;
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
    if (session.user != m_server.user || session.password != m_server.password)
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

// ---- batches ----

Reply Engine::batch(const QString& sql, Session& session) {
    std::lock_guard lock(m_mutex);
    QElapsedTimer timer;
    timer.start();
    m_current = &session;
    Reply reply;
    for (const QString& statement : sql::splitStatements(sql)) {
        ++m_statements;
        bool faulted = false;
        for (qsizetype i = 0; i < m_faults.size(); ++i) {
            Fault& fault = m_faults[i];
            if (!fault.statement.match(statement).hasMatch())
                continue;
            if (fault.times > 0 && --fault.times == 0)
                m_faults.removeAt(i);
            const Fault::Kind kind = fault.kind;
            const Message error = fault.error;
            if (kind == Fault::Kind::Hang)
                reply.neverAnswer = true;
            else if (kind == Fault::Kind::Disconnect)
                reply.disconnect = true;
            else
                reply.results << error;
            faulted = true;
            break;
        }
        if (reply.neverAnswer || reply.disconnect)
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

bool Engine::run(const QString& statement, Session& session, Reply& reply) {
    const QStringList words = sql::leadingWords(statement, 3);
    const QString first = words.value(0);
    const QString second = words.value(1);
    // All sessions share one engine transaction: while one session holds it, another's change
    // would be undone by its rollback, so changes from elsewhere are refused rather than lost.
    if (m_transactionOwner != 0 && m_transactionOwner != session.id &&
        first != QLatin1String("SELECT") && first != QLatin1String("USE") &&
        first != QLatin1String("SET")) {
        reply.results << message(50001, QString::number(m_transactionOwner));
        return false;
    }
    if (first == QLatin1String("SELECT") || first == QLatin1String("INSERT") ||
        first == QLatin1String("UPDATE") || first == QLatin1String("DELETE")) {
        query(statement, first, session, reply);
    } else if (first == QLatin1String("USE")) {
        use(statement, session, reply);
    } else if (first == QLatin1String("SET")) {
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
        if (!options.contains(second))
            reply.results << message(195, second);
    } else if (first == QLatin1String("ALTER") && second == QLatin1String("DATABASE")) {
        alterDatabase(statement, session, reply);
    } else if (first == QLatin1String("DROP") && second == QLatin1String("DATABASE")) {
        dropDatabase(statement, session, reply);
    } else if (first == QLatin1String("EXEC") || first == QLatin1String("EXECUTE") ||
               first.startsWith(QLatin1String("SP_"))) {
        procedure(statement, session, reply);
    } else if (first == QLatin1String("BEGIN") &&
               (second == QLatin1String("TRAN") || second == QLatin1String("TRANSACTION"))) {
        transactionStatement(TransactionRequest::Begin, session, reply);
    } else if (first == QLatin1String("COMMIT")) {
        transactionStatement(TransactionRequest::Commit, session, reply);
    } else if (first == QLatin1String("ROLLBACK")) {
        transactionStatement(TransactionRequest::Rollback, session, reply);
    } else {
        const QList<sql::Token> tokens = sql::tokenize(statement);
        QString near = first;
        for (const sql::Token& t : tokens) {
            if (t.kind != sql::TokenKind::Space && t.kind != sql::TokenKind::Comment) {
                near = t.text;
                break;
            }
        }
        reply.results << message(102, near);
        return false;
    }
    return true;
}

void Engine::transactionStatement(TransactionRequest request, Session& session, Reply& reply) {
    if (request != TransactionRequest::Begin && m_transactionOwner != session.id) {
        reply.results << message(request == TransactionRequest::Commit ? 3902 : 3903);
        return;
    }
    std::optional<Message> failed =
        request == TransactionRequest::Begin
            ? beginTransaction(session)
            : endTransaction(request == TransactionRequest::Commit, session);
    if (failed)
        reply.results << *failed;
}

void Engine::query(const QString& statement, const QString& verb, Session& session, Reply& reply) {
    m_pendingError.clear();
    m_targetDatabase.clear();
    const sql::TableResolver resolve =
        [&](const QString& database, const QString& owner,
            const QString& object) -> std::optional<sql::TableTarget> {
        const QString dbName = database.isEmpty() ? session.database : database;
        if (owner.compare(QLatin1String("sys"), Qt::CaseInsensitive) == 0 &&
            object.compare(QLatin1String("databases"), Qt::CaseInsensitive) == 0) {
            if (m_major < 9)
                return std::nullopt;
            if (m_targetDatabase.isEmpty())
                m_targetDatabase = QStringLiteral("master");
            return sql::TableTarget{QStringLiteral("temp"), QStringLiteral("sys_databases")};
        }
        if (object.compare(QLatin1String("sysdatabases"), Qt::CaseInsensitive) == 0) {
            if (m_targetDatabase.isEmpty())
                m_targetDatabase = QStringLiteral("master");
            return sql::TableTarget{QStringLiteral("main"), QStringLiteral("sysdatabases")};
        }
        const DatabaseState* db = find(dbName);
        if (!db)
            return std::nullopt;
        if (db->flags.contains(QStringLiteral("IsOffline"))) {
            m_pendingError = db->name;
            return std::nullopt;
        }
        if (db->schema.isEmpty() || !m_tables.value(lower(db->schema)).contains(lower(object)))
            return std::nullopt;
        if (m_targetDatabase.isEmpty())
            m_targetDatabase = db->name;
        return sql::TableTarget{db->schema, object};
    };

    const sql::Translation translation = sql::translate(statement, resolve);
    if (!m_pendingError.isEmpty()) {
        reply.results << message(942, m_pendingError);
        return;
    }
    if (!translation.invalidObject.isEmpty()) {
        reply.results << message(208, translation.invalidObject);
        return;
    }
    if (!translation.syntaxNear.isEmpty()) {
        reply.results << message(102, translation.syntaxNear);
        return;
    }
    if (verb != QLatin1String("SELECT")) {
        const DatabaseState* target = find(m_targetDatabase);
        if (target && target->flags.contains(QStringLiteral("IsReadOnly"))) {
            reply.results << message(3906, target->name);
            return;
        }
    }

    const QByteArray utf8 = translation.sql.toUtf8();
    if (qEnvironmentVariableIsSet("QUENLOR_SIM_TRACE"))
        std::fprintf(stderr, "quenlor-sim: %s\n", utf8.constData());
    Statement s;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(m_db, utf8.constData(), int(utf8.size()), &s.handle, &tail) !=
        SQLITE_OK) {
        const QString error = sqliteError(m_db);
        if (error.startsWith(QLatin1String("no such table")))
            reply.results << message(208, serverObjectName(afterColon(error)));
        else if (error.startsWith(QLatin1String("no such column")))
            reply.results << message(207, afterColon(error).section(u'.', -1));
        else if (error.startsWith(QLatin1String("no such function")))
            reply.results << message(195, afterColon(error));
        else if (error.startsWith(QLatin1String("ambiguous column name")))
            reply.results << message(209, afterColon(error).section(u'.', -1));
        else if (error.contains(QLatin1String("syntax error")))
            reply.results << message(102, between(error, u'"', u'"'));
        else
            reply.results << message(50000, error);
        return;
    }
    if (tail && QString::fromUtf8(tail).trimmed().size() > 0) {
        reply.results << message(102, QString::fromUtf8(tail).trimmed().section(u' ', 0, 0));
        return;
    }

    const int columnCount = sqlite3_column_count(s.handle);
    QList<QList<QVariant>> rows;
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(s.handle)) == SQLITE_ROW) {
        QList<QVariant> row = rowOf(s.handle);
        // Every digit a REAL holds, never an exponent: 8800000.5, not 8.8e+06.
        for (QVariant& v : row) {
            if (v.typeId() == QMetaType::Double)
                v = QString::number(v.toDouble(), 'g', 15);
        }
        rows << row;
    }
    if (rc != SQLITE_DONE) {
        const QString error = sqliteError(m_db);
        if (error.contains(QLatin1String("FOREIGN KEY")))
            reply.results << message(547, verb, m_targetDatabase);
        else if (error.contains(QLatin1String("UNIQUE")))
            reply.results << message(2627, afterColon(error).section(u'.', 0, 0));
        else
            reply.results << message(50000, error);
        return;
    }

    if (columnCount == 0) {
        reply.results << RowCount{sqlite3_changes(m_db)};
        return;
    }
    ResultSet set;
    for (int c = 0; c < columnCount; ++c) {
        // A column is INT when every value fits one; anything else travels as text.
        const char* declared = sqlite3_column_decltype(s.handle, c);
        // A column with neither a declared type nor a value is text.
        const bool textDeclared = declared && QByteArray(declared).toUpper().contains("TEXT");
        bool integers = !textDeclared;
        bool anyValue = declared != nullptr;
        for (const QList<QVariant>& row : rows) {
            const QVariant& v = row[c];
            if (v.isNull())
                continue;
            anyValue = true;
            if (v.typeId() != QMetaType::LongLong || v.toLongLong() > INT32_MAX ||
                v.toLongLong() < INT32_MIN) {
                integers = false;
                break;
            }
        }
        integers = integers && anyValue;
        set.columns << Column{QString::fromUtf8(sqlite3_column_name(s.handle, c)),
                              integers ? ColumnType::Int : ColumnType::NVarChar};
        if (!integers) {
            for (QList<QVariant>& row : rows) {
                if (!row[c].isNull() && row[c].typeId() != QMetaType::QString)
                    row[c] = row[c].toString();
            }
        } else {
            for (QList<QVariant>& row : rows) {
                if (!row[c].isNull())
                    row[c] = int(row[c].toLongLong());
            }
        }
    }
    set.rows = std::move(rows);
    reply.results << set;
}

namespace {

// The significant tokens of a statement.
QList<sql::Token> significant(const QString& statement) {
    QList<sql::Token> out;
    for (const sql::Token& t : sql::tokenize(statement)) {
        if (t.kind != sql::TokenKind::Space && t.kind != sql::TokenKind::Comment)
            out << t;
    }
    return out;
}

bool isWord(const QList<sql::Token>& tokens, qsizetype i, const char* word) {
    return i < tokens.size() && tokens[i].kind == sql::TokenKind::Word &&
           tokens[i].text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

bool isName(const QList<sql::Token>& tokens, qsizetype i) {
    return i < tokens.size() &&
           (tokens[i].kind == sql::TokenKind::Word || tokens[i].kind == sql::TokenKind::QuotedName);
}

QString literal(const sql::Token& token) {
    QString inner = token.text.mid(1, token.text.size() - 2);
    return inner.replace(QStringLiteral("''"), QStringLiteral("'"));
}

} // namespace

void Engine::use(const QString& statement, Session& session, Reply& reply) {
    const QList<sql::Token> tokens = significant(statement);
    if (!isName(tokens, 1) || tokens.size() != 2) {
        reply.results << message(102, tokens.value(1).text);
        return;
    }
    const QString name = sql::unquoteName(tokens[1]);
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

void Engine::alterDatabase(const QString& statement, Session& session, Reply& reply) {
    const QList<sql::Token> tokens = significant(statement);
    if (!isName(tokens, 2) || !isWord(tokens, 3, "SET") || tokens.size() < 5) {
        reply.results << message(102, tokens.value(std::min<qsizetype>(3, tokens.size() - 1)).text);
        return;
    }
    const QString name = sql::unquoteName(tokens[2]);
    if (isWord(tokens, 4, "SINGLE_USER")) {
        const bool immediate = isWord(tokens, 5, "WITH") && isWord(tokens, 6, "ROLLBACK") &&
                               isWord(tokens, 7, "IMMEDIATE") && tokens.size() == 8;
        if (tokens.size() != 5 && !immediate) {
            reply.results << message(102, tokens[5].text);
            return;
        }
        switchSingleUser(name, true, immediate, session, reply, false);
    } else if (isWord(tokens, 4, "MULTI_USER") && tokens.size() == 5) {
        switchSingleUser(name, false, false, session, reply, false);
    } else {
        reply.results << message(50000, statement);
    }
}

void Engine::dropDatabase(const QString& statement, Session& session, Reply& reply) {
    const QList<sql::Token> tokens = significant(statement);
    if (!isName(tokens, 2) || tokens.size() != 3) {
        reply.results << message(102, tokens.value(std::min<qsizetype>(3, tokens.size() - 1)).text);
        return;
    }
    const QString name = sql::unquoteName(tokens[2]);
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
    m_databases.remove(lower(db->name));
}

void Engine::procedure(const QString& statement, Session& session, Reply& reply) {
    const QList<sql::Token> tokens = significant(statement);
    qsizetype at = isWord(tokens, 0, "EXEC") || isWord(tokens, 0, "EXECUTE") ? 1 : 0;
    if (!isName(tokens, at)) {
        reply.results << message(102, tokens.value(at).text);
        return;
    }
    const QString name = sql::unquoteName(tokens[at]);
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
