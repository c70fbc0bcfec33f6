// The functions and the collation the translated statements call: T-SQL's own functions under
// names of their own (tsql_left, tsql_db_name, ...), LIKE with the server's rules, and the
// comparison of texts. Those that ask about the server or the session ask the engine.

#include "sim/Engine.h"
#include "sim/EngineInternal.h"

#include <QDateTime>

#include <cstring>

namespace quenlor::sim {

using namespace detail;

namespace {

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

void tsqlCatalog(sqlite3_context* ctx, int, sqlite3_value** argv) {
    resultVariant(ctx, engineOf(ctx)->catalogColumn(text(argv[0]), text(argv[1])));
}

// The scenario's login is the server's administrator: every permission is its own.
void tsqlHasPermsByName(sqlite3_context* ctx, int, sqlite3_value**) {
    sqlite3_result_int(ctx, 1);
}

void tsqlIsSrvRoleMember(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const QString role = text(argv[0]).trimmed();
    sqlite3_result_int(ctx, role.compare(QLatin1String("sysadmin"), Qt::CaseInsensitive) == 0);
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

void tsqlTranCount(sqlite3_context* ctx, int, sqlite3_value**) {
    sqlite3_result_int(ctx, engineOf(ctx)->currentTransactionDepth());
}

// The bounds of the database names a LIKE pattern matches: NULL when it matches none.
void namesBound(sqlite3_context* ctx, sqlite3_value** argv, bool first) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const auto bounds = engineOf(ctx)->databaseNameBounds(text(argv[0]));
    if (!bounds)
        sqlite3_result_null(ctx);
    else
        resultText(ctx, first ? bounds->first : bounds->second);
}

void tsqlNamesFirst(sqlite3_context* ctx, int, sqlite3_value** argv) {
    namesBound(ctx, argv, true);
}

void tsqlNamesLast(sqlite3_context* ctx, int, sqlite3_value** argv) {
    namesBound(ctx, argv, false);
}

} // namespace

void detail::registerFunctions(sqlite3* db, Engine* engine) {
    sqlite3_create_collation_v2(db, "tsql", SQLITE_UTF8, nullptr, collate, nullptr);
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
        {"tsql_catalog", 2, tsqlCatalog},
        {"tsql_has_perms_by_name", 3, tsqlHasPermsByName},
        {"tsql_is_srvrolemember", 1, tsqlIsSrvRoleMember},
        {"tsql_version", 0, tsqlVersion},
        {"tsql_servername", 0, tsqlServerName},
        {"tsql_spid", 0, tsqlSpid},
        {"tsql_trancount", 0, tsqlTranCount},
        {"tsql_names_first", 1, tsqlNamesFirst},
        {"tsql_names_last", 1, tsqlNamesLast},
    };
    for (const Function& f : functions) {
        // The bounds of a constant pattern are worked out once per statement.
        const bool bounds = std::strncmp(f.name, "tsql_names_", 11) == 0;
        sqlite3_create_function_v2(db, f.name, f.args,
                                   SQLITE_UTF8 | (bounds ? SQLITE_DETERMINISTIC : 0), engine,
                                   f.call, nullptr, nullptr, nullptr);
    }
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
    // A listing asks for many properties of each database in turn.
    if (!m_propertyDatabase || m_propertyDatabase->name != database)
        m_propertyDatabase = find(database);
    const DatabaseState* db = m_propertyDatabase;
    if (!db)
        return QVariant();
    const QString p = property.trimmed();
    for (const QString& flag : databaseFlags()) {
        if (flag.compare(p, Qt::CaseInsensitive) == 0)
            return db->flags.contains(flag) ? 1 : 0;
    }
    if (p.compare(QLatin1String("Status"), Qt::CaseInsensitive) == 0)
        return db->flags.contains(QStringLiteral("IsOffline"))      ? QStringLiteral("OFFLINE")
               : db->flags.contains(QStringLiteral("IsInLoad"))     ? QStringLiteral("RESTORING")
               : db->flags.contains(QStringLiteral("IsInRecovery")) ? QStringLiteral("RECOVERING")
               : db->flags.contains(QStringLiteral("IsSuspect"))    ? QStringLiteral("SUSPECT")
                                                                    : QStringLiteral("ONLINE");
    if (p.compare(QLatin1String("UserAccess"), Qt::CaseInsensitive) == 0)
        return db->flags.contains(QStringLiteral("IsSingleUser")) ? QStringLiteral("SINGLE_USER")
                                                                  : QStringLiteral("MULTI_USER");
    if (p.compare(QLatin1String("Updateability"), Qt::CaseInsensitive) == 0)
        return db->flags.contains(QStringLiteral("IsReadOnly")) ? QStringLiteral("READ_ONLY")
                                                                : QStringLiteral("READ_WRITE");
    return QVariant();
}

QVariant Engine::catalogColumn(const QString& database, const QString& column) const {
    const DatabaseState* db = find(database);
    if (!db)
        return QVariant();
    if (column == QLatin1String("source_database_id")) {
        const DatabaseState* source = db->snapshotOf.isEmpty() ? nullptr : find(db->snapshotOf);
        return source ? QVariant(source->id) : QVariant();
    }
    if (column == QLatin1String("group_database_id") && !db->availabilityGroup.isEmpty())
        return QStringLiteral("{%1}").arg(db->availabilityGroup);
    return QVariant();
}

QString Engine::currentDatabase() const {
    return m_current ? m_current->database : QStringLiteral("master");
}

int Engine::currentSession() const {
    return m_current ? m_current->id : 0;
}

int Engine::currentTransactionDepth() const {
    return m_current ? m_current->transactionDepth : 0;
}

std::optional<std::pair<QString, QString>> Engine::databaseNameBounds(const QString& pattern) {
    return m_names.likeBounds(pattern);
}

} // namespace quenlor::sim
