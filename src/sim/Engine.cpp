// The simulated server's set-up: the embedded database, the databases of a scenario with their
// files, catalogue tables and rows, generated account sets, and what tests inspect afterwards.

#include "sim/Engine.h"
#include "sim/EngineInternal.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <stdexcept>

namespace quenlor::sim {

using namespace detail;

namespace {

QString engineType(const QString& sqlServerType) {
    const QString t = sqlServerType.toLower();
    if (t.contains(QLatin1String("char")) || t.contains(QLatin1String("text")) ||
        t.contains(QLatin1String("date")))
        return QStringLiteral("TEXT COLLATE tsql");
    if (t.contains(QLatin1String("int")) || t == QLatin1String("bit"))
        return QStringLiteral("INTEGER");
    return QStringLiteral("REAL");
}

QString logFileOf(const QString& file) {
    const QFileInfo info(file);
    const bool upper = info.suffix() == info.suffix().toUpper();
    return info.dir().filePath(info.completeBaseName() +
                               (upper ? QStringLiteral("_log.LDF") : QStringLiteral("_log.ldf")));
}

// Creates an empty file; folders lists the folders already made, so that each is made once.
void touch(const QString& path, QSet<QString>& folders) {
    const QString folder = QFileInfo(path).absolutePath();
    if (!folders.contains(folder)) {
        QDir().mkpath(folder);
        folders.insert(folder);
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error("cannot create " + path.toStdString());
}

} // namespace

const QStringList& detail::systemDatabases() {
    static const QStringList names = {QStringLiteral("master"), QStringLiteral("tempdb"),
                                      QStringLiteral("model"), QStringLiteral("msdb")};
    return names;
}

int detail::statusBits(const QSet<QString>& flags) {
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

QString detail::quoted(const QString& name) {
    QString escaped = name;
    escaped.replace(u'"', QStringLiteral("\"\""));
    return u'"' + escaped + u'"';
}

QList<QVariant> detail::rowOf(sqlite3_stmt* statement) {
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

// ---- set-up ----

Engine::Engine(const Scenario& scenario, const QString& dataFolder, ReportedPaths reportedPaths)
    : m_server(scenario.server), m_reportedPaths(reportedPaths) {
    m_major = m_server.productVersion.section(u'.', 0, 0).toInt();
    for (const auto& [pattern, ms] : m_server.delays)
        m_faults << Fault{QRegularExpression(pattern, QRegularExpression::CaseInsensitiveOption),
                          Fault::Kind::Delay,
                          {},
                          -1,
                          ms};
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
                                    0,
                                    8,
                                    2,
                                    {},
                                    {}},
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
    m_folders.clear();
}

Engine::~Engine() {
    release();
}

void Engine::open() {
    if (sqlite3_open(":memory:", &m_db) != SQLITE_OK)
        throw std::runtime_error("cannot open the embedded database");
    sqlite3_limit(m_db, SQLITE_LIMIT_ATTACHED, 125);
    registerFunctions(m_db, this);
    // A statement whose client sent ATTENTION stops within a thousand steps.
    sqlite3_progress_handler(
        m_db, 1000,
        [](void* engine) {
            const Session* s = static_cast<Engine*>(engine)->m_current;
            return s && s->cancelled() ? 1 : 0;
        },
        this);

    exec(QStringLiteral("PRAGMA foreign_keys = ON"));
    exec(QStringLiteral(
        "CREATE TABLE main.sysdatabases (name TEXT COLLATE tsql PRIMARY KEY, dbid INTEGER, "
        "sid TEXT, mode INTEGER DEFAULT 0, status INTEGER DEFAULT 0, status2 INTEGER DEFAULT 0, "
        "crdate TEXT, reserved TEXT, category INTEGER DEFAULT 0, cmptlevel INTEGER, "
        "filename TEXT COLLATE tsql, version INTEGER)"));
    // Availability groups came with SQL Server 2012, and with them group_database_id.
    exec(QStringLiteral(
             "CREATE TEMP VIEW sys_databases AS SELECT name, dbid AS database_id, crdate AS "
             "create_date, cmptlevel AS compatibility_level, CASE WHEN status & 512 THEN 6 ELSE 0 "
             "END AS state, CASE WHEN status & 4096 THEN 1 ELSE 0 END AS user_access, CASE WHEN "
             "status & 1024 THEN 1 ELSE 0 END AS is_read_only, tsql_catalog(name, "
             "'source_database_id') AS source_database_id%1 FROM main.sysdatabases")
             .arg(m_major >= 11
                      ? QStringLiteral(
                            ", tsql_catalog(name, 'group_database_id') AS group_database_id")
                      : QString()));
    exec(QStringLiteral("CREATE TABLE main.sysprocesses (spid INTEGER, dbid INTEGER, status TEXT, "
                        "loginame TEXT, program_name TEXT)"));
    // Sizes in 8 KB pages; the log's file group is 0.
    exec(QStringLiteral("CREATE TABLE main.sysaltfiles (fileid INTEGER, dbid INTEGER, name TEXT "
                        "COLLATE tsql, filename TEXT COLLATE tsql, size INTEGER, groupid "
                        "INTEGER)"));
    exec(QStringLiteral("CREATE TEMP VIEW sys_master_files AS SELECT dbid AS database_id, fileid "
                        "AS file_id, CASE groupid WHEN 0 THEN 1 ELSE 0 END AS type, name, "
                        "filename AS physical_name, size FROM main.sysaltfiles"));
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
    touch(db.file, m_folders);
    touch(db.logFile, m_folders);
    db.flags = QSet<QString>(def.flags.begin(), def.flags.end());
    db.otherUsers = def.otherUsers;
    db.snapshotOf = def.snapshotOf;
    db.availabilityGroup = def.availabilityGroup;
    if (lower(def.name) == QLatin1String("master"))
        db.schema = QStringLiteral("main");
    else if (!def.schema.isEmpty())
        db.schema = def.name;

    const auto reportedPath = [this](const QString& file) {
        QString path = QDir::toNativeSeparators(file);
        if (m_reportedPaths == ReportedPaths::WineDriveZ)
            path = QStringLiteral("Z:") + path.replace(u'/', u'\\');
        return path;
    };
    const QString reported = reportedPath(db.file);
    static const QStringList columns = {QStringLiteral("name"),     QStringLiteral("dbid"),
                                        QStringLiteral("crdate"),   QStringLiteral("cmptlevel"),
                                        QStringLiteral("filename"), QStringLiteral("status"),
                                        QStringLiteral("version")};
    insertValues(QStringLiteral("main"), QStringLiteral("sysdatabases"), columns,
                 {db.name, db.id, QStringLiteral("2020-01-01 08:00:00.000"), m_major * 10, reported,
                  statusBits(db.flags), 600 + m_major});
    static const QStringList fileColumns = {QStringLiteral("fileid"), QStringLiteral("dbid"),
                                            QStringLiteral("name"),   QStringLiteral("filename"),
                                            QStringLiteral("size"),   QStringLiteral("groupid")};
    insertValues(QStringLiteral("main"), QStringLiteral("sysaltfiles"), fileColumns,
                 {1, db.id, db.name, reported, def.dataMb * 128, 1});
    insertValues(
        QStringLiteral("main"), QStringLiteral("sysaltfiles"), fileColumns,
        {2, db.id, db.name + QStringLiteral("_log"), reportedPath(db.logFile), def.logMb * 128, 0});
    m_databases.insert(lower(db.name), db);
    m_names.add(db.name);
    m_propertyDatabase = nullptr;
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
    insertValues(schema, table, row.keys(), row.values());
}

void Engine::insertValues(const QString& schema, const QString& table, const QStringList& columns,
                          const QVariantList& values) {
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
    for (const QVariant& v : values) {
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
    // Rows by column position: about 130,000 of them for the largest scenario.
    static const QStringList account = {QStringLiteral("cAcc_Id"), QStringLiteral("cAcc_Name"),
                                        QStringLiteral("iYear")};
    static const QStringList holdAuth = {QStringLiteral("cAcc_Id"), QStringLiteral("iYear"),
                                         QStringLiteral("cUser_Id"), QStringLiteral("cAuth_Id")};
    static const QStringList task = {QStringLiteral("cTaskId"), QStringLiteral("cAcc_Id"),
                                     QStringLiteral("iYear"), QStringLiteral("cUser_Id")};
    static const QStringList period = {QStringLiteral("cAcc_Id"), QStringLiteral("iYear"),
                                       QStringLiteral("iId"),     QStringLiteral("dBegin"),
                                       QStringLiteral("dEnd"),    QStringLiteral("bIsDelete")};
    const int lastYear = def.firstYear + def.years - 1;
    for (int a = 1; a <= def.accounts; ++a) {
        const QString code = QStringLiteral("%1").arg(a, 3, 10, QLatin1Char('0'));
        insertValues(schema, QStringLiteral("UA_Account"), account,
                     {code, QStringLiteral("第%1号演示账套").arg(code), def.firstYear});
        insertValues(schema, QStringLiteral("UA_HoldAuth"), holdAuth,
                     {code, lastYear, QStringLiteral("demo"), QStringLiteral("GL")});
        insertValues(schema, QStringLiteral("UA_Task"), task,
                     {QStringLiteral("T%1").arg(code), code, lastYear, QStringLiteral("demo")});
        for (int y = 0; y < def.years; ++y) {
            const int year = def.firstYear + y;
            addDatabase(DatabaseDef{QStringLiteral("UFDATA_%1_%2").arg(code).arg(year),
                                    QStringLiteral("U8SOFT/ZT%1/%2/UFDATA.MDF").arg(code).arg(year),
                                    QString(),
                                    {},
                                    0,
                                    8,
                                    2,
                                    {},
                                    {}},
                        dataFolder);
            for (int month = 1; month <= 12; ++month) {
                const QDate first(year, month, 1);
                insertValues(schema, QStringLiteral("UA_Period"), period,
                             {code, year, month, first.toString(Qt::ISODate),
                              first.addMonths(1).addDays(-1).toString(Qt::ISODate), 0});
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

void Engine::changeDatabase(const QString& name,
                            const std::function<void(DatabaseState&)>& change) {
    std::lock_guard lock(m_mutex);
    if (DatabaseState* db = find(name)) {
        change(*db);
        syncStatus(*db);
    }
}

void Engine::refreshProcesses() {
    exec(QStringLiteral("DELETE FROM main.sysprocesses"));
    const QString insert =
        QStringLiteral("INSERT INTO main.sysprocesses VALUES (%1, %2, '%3', '%4', '%5')");
    for (auto it = m_sessionDatabase.begin(); it != m_sessionDatabase.end(); ++it) {
        if (const DatabaseState* db = find(it.value()))
            exec(insert.arg(it.key()).arg(db->id).arg(QStringLiteral("runnable"), m_server.user,
                                                      QStringLiteral("Quenlor")));
    }
    // Other programs' connections, numbered above any session of this server.
    int spid = 30000;
    for (const DatabaseState& db : std::as_const(m_databases)) {
        for (int i = 0; i < db.otherUsers; ++i)
            exec(insert.arg(++spid).arg(db.id).arg(QStringLiteral("sleeping"),
                                                   QStringLiteral("erp"),
                                                   QStringLiteral("other program")));
    }
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

} // namespace quenlor::sim
