// Batches and the statements in them: faults, the classification of each statement, and the
// queries (SELECT, INSERT, UPDATE, DELETE) translated for the embedded engine, whose failures
// become the server's own error numbers and texts.

#include "sim/Engine.h"
#include "sim/EngineInternal.h"

#include <QElapsedTimer>

#include <cstdio>

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

} // namespace quenlor::sim
