#include "platform/odbc/OdbcDatabase.h"

#include "platform/odbc/OdbcApi.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace quenlor {

using odbc::Statement;
using odbc::throwDiagnostics;

struct OdbcDatabase::Handles {
    SQLHDBC dbc = SQL_NULL_HDBC;
    bool connected = false;

    Handles() = default;
    Handles(const Handles&) = delete;
    Handles& operator=(const Handles&) = delete;
    ~Handles() {
        if (connected)
            SQLDisconnect(dbc);
        if (dbc != SQL_NULL_HDBC)
            SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    }
};

namespace {

enum class ValueKind { Integer, Real, Text };

ValueKind kindOf(SQLSMALLINT sqlType) {
    switch (sqlType) {
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_TINYINT:
    case SQL_BIGINT:
    case SQL_BIT:
        return ValueKind::Integer;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
        return ValueKind::Real;
    default:
        // Decimals, dates, GUIDs, sql_variant and anything unknown: the driver's own text is
        // exact, which a conversion to double would not be.
        return ValueKind::Text;
    }
}

struct Column {
    QString name;
    ValueKind kind = ValueKind::Text;
};

void setAutocommit(SQLHDBC dbc, bool on) {
    const SQLULEN value = on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF;
    const SQLRETURN rc = SQLSetConnectAttrW(dbc, SQL_ATTR_AUTOCOMMIT,
                                            reinterpret_cast<SQLPOINTER>(value), SQL_IS_UINTEGER);
    if (!SQL_SUCCEEDED(rc))
        throwDiagnostics(SQL_HANDLE_DBC, dbc, "SQLSetConnectAttr(SQL_ATTR_AUTOCOMMIT)");
}

// Runs sql as one plain batch: no parameters and the default forward-only cursor, so the server
// sees exactly this text and nothing wraps it in a prepared or cursor call.
void executeDirect(const Statement& statement, const QString& sql, int queryTimeoutSeconds) {
    const SQLHSTMT stmt = statement.handle();
    SQLRETURN rc = SQLSetStmtAttrW(
        stmt, SQL_ATTR_QUERY_TIMEOUT,
        reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(queryTimeoutSeconds)), SQL_IS_UINTEGER);
    if (!SQL_SUCCEEDED(rc))
        throwDiagnostics(SQL_HANDLE_STMT, stmt, "SQLSetStmtAttr(SQL_ATTR_QUERY_TIMEOUT)");

    if (sql.size() > std::numeric_limits<SQLINTEGER>::max())
        throw DbError{QString(), 0, QStringLiteral("SQL 语句过长，无法执行。")};
    std::vector<SQLWCHAR> text = odbc::toWide(sql);
    rc = SQLExecDirectW(stmt, text.data(), static_cast<SQLINTEGER>(sql.size()));
    // SQL_NO_DATA: a searched UPDATE or DELETE that touched no row, which is not a failure.
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA)
        throwDiagnostics(SQL_HANDLE_STMT, stmt, "SQLExecDirect");
}

// Moves to the next result; false when there is none. A later part of a batch that failed
// reports its error here.
bool nextResult(SQLHSTMT stmt) {
    const SQLRETURN rc = SQLMoreResults(stmt);
    if (rc == SQL_NO_DATA)
        return false;
    if (!SQL_SUCCEEDED(rc))
        throwDiagnostics(SQL_HANDLE_STMT, stmt, "SQLMoreResults");
    return true;
}

void drainResults(SQLHSTMT stmt) {
    while (nextResult(stmt)) {
    }
}

SQLSMALLINT columnCount(SQLHSTMT stmt) {
    SQLSMALLINT count = 0;
    if (!SQL_SUCCEEDED(SQLNumResultCols(stmt, &count)))
        throwDiagnostics(SQL_HANDLE_STMT, stmt, "SQLNumResultCols");
    return count;
}

Column describeColumn(SQLHSTMT stmt, SQLUSMALLINT number) {
    std::vector<SQLWCHAR> name(256);
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT type = 0;
    SQLULEN size = 0;
    SQLSMALLINT digits = 0;
    SQLSMALLINT nullable = 0;
    SQLRETURN rc = SQLDescribeColW(stmt, number, name.data(), static_cast<SQLSMALLINT>(name.size()),
                                   &nameLength, &type, &size, &digits, &nullable);
    if (SQL_SUCCEEDED(rc) && nameLength >= static_cast<SQLSMALLINT>(name.size())) {
        name.resize(static_cast<size_t>(nameLength) + 1);
        rc = SQLDescribeColW(stmt, number, name.data(), static_cast<SQLSMALLINT>(name.size()),
                             &nameLength, &type, &size, &digits, &nullable);
    }
    if (!SQL_SUCCEEDED(rc))
        throwDiagnostics(SQL_HANDLE_STMT, stmt, "SQLDescribeCol");
    const auto stored =
        std::min<qsizetype>(std::max<SQLSMALLINT>(nameLength, 0), qsizetype(name.size()) - 1);
    return Column{odbc::fromWideText(name.data(), stored), kindOf(type)};
}

QVariant readInteger(SQLHSTMT stmt, SQLUSMALLINT number) {
    SQLBIGINT value = 0;
    SQLLEN indicator = 0;
    if (!SQL_SUCCEEDED(SQLGetData(stmt, number, SQL_C_SBIGINT, &value, sizeof value, &indicator)))
        throwDiagnostics(SQL_HANDLE_STMT, stmt, "SQLGetData");
    if (indicator == SQL_NULL_DATA)
        return {};
    return QVariant::fromValue(static_cast<qint64>(value));
}

QVariant readReal(SQLHSTMT stmt, SQLUSMALLINT number) {
    SQLDOUBLE value = 0;
    SQLLEN indicator = 0;
    if (!SQL_SUCCEEDED(SQLGetData(stmt, number, SQL_C_DOUBLE, &value, sizeof value, &indicator)))
        throwDiagnostics(SQL_HANDLE_STMT, stmt, "SQLGetData");
    if (indicator == SQL_NULL_DATA)
        return {};
    return QVariant::fromValue(static_cast<double>(value));
}

// Text of any length, read piece by piece: the driver fills the buffer (less the terminator) and
// reports 01004 until the last piece, whose length it then states.
QVariant readText(SQLHSTMT stmt, SQLUSMALLINT number) {
    constexpr qsizetype pieceUnits = 2048;
    constexpr auto bufferBytes = static_cast<SQLLEN>(pieceUnits * sizeof(SQLWCHAR));
    std::vector<SQLWCHAR> buffer(pieceUnits);
    QString text(QLatin1String(""));
    for (bool first = true;; first = false) {
        SQLLEN indicator = 0;
        const SQLRETURN rc =
            SQLGetData(stmt, number, SQL_C_WCHAR, buffer.data(), bufferBytes, &indicator);
        if (rc == SQL_NO_DATA) // everything was read by the previous call
            break;
        if (!SQL_SUCCEEDED(rc))
            throwDiagnostics(SQL_HANDLE_STMT, stmt, "SQLGetData");
        if (indicator == SQL_NULL_DATA) {
            if (first)
                return {};
            break;
        }
        const bool truncated =
            rc == SQL_SUCCESS_WITH_INFO &&
            (indicator == SQL_NO_TOTAL || indicator > bufferBytes - SQLLEN(sizeof(SQLWCHAR)) ||
             odbc::hasSqlState(SQL_HANDLE_STMT, stmt, "01004"));
        if (truncated) {
            text.append(odbc::fromWide(buffer.data(), pieceUnits - 1));
            continue;
        }
        qsizetype units = 0;
        if (indicator >= 0) {
            units = std::min<qsizetype>(indicator / SQLLEN(sizeof(SQLWCHAR)), pieceUnits - 1);
        } else {
            // No length although complete: the terminator marks the end.
            while (units < pieceUnits - 1 && buffer[size_t(units)] != 0)
                ++units;
        }
        text.append(odbc::fromWide(buffer.data(), units));
        break;
    }
    return text;
}

QueryResult readResult(SQLHSTMT stmt, SQLSMALLINT count) {
    QueryResult result;
    std::vector<Column> columns;
    columns.reserve(size_t(count));
    for (SQLSMALLINT i = 1; i <= count; ++i) {
        columns.push_back(describeColumn(stmt, SQLUSMALLINT(i)));
        result.columns << columns.back().name;
    }
    for (;;) {
        const SQLRETURN rc = SQLFetch(stmt);
        if (rc == SQL_NO_DATA)
            break;
        if (!SQL_SUCCEEDED(rc))
            throwDiagnostics(SQL_HANDLE_STMT, stmt, "SQLFetch");
        QList<QVariant> row;
        row.reserve(count);
        for (SQLSMALLINT i = 1; i <= count; ++i) {
            const auto number = SQLUSMALLINT(i);
            switch (columns[size_t(i - 1)].kind) {
            case ValueKind::Integer:
                row << readInteger(stmt, number);
                break;
            case ValueKind::Real:
                row << readReal(stmt, number);
                break;
            case ValueKind::Text:
                row << readText(stmt, number);
                break;
            }
        }
        result.rows << row;
    }
    return result;
}

} // namespace

OdbcDatabase::OdbcDatabase(std::unique_ptr<Handles> handles, int queryTimeoutSeconds)
    : m_handles(std::move(handles)), m_queryTimeoutSeconds(queryTimeoutSeconds) {}

OdbcDatabase::~OdbcDatabase() {
    // A connection closed in the middle of a transaction must not keep its work; some driver
    // managers also refuse to disconnect while one is open.
    if (m_inTransaction && m_handles->connected) {
        SQLEndTran(SQL_HANDLE_DBC, m_handles->dbc, SQL_ROLLBACK);
        SQLSetConnectAttrW(m_handles->dbc, SQL_ATTR_AUTOCOMMIT,
                           reinterpret_cast<SQLPOINTER>(SQLULEN(SQL_AUTOCOMMIT_ON)),
                           SQL_IS_UINTEGER);
    }
}

std::unique_ptr<OdbcDatabase> OdbcDatabase::connect(const QString& connectionString,
                                                    int loginTimeoutSeconds,
                                                    int queryTimeoutSeconds) {
    const SQLHENV env = odbc::environment();
    auto handles = std::make_unique<Handles>();
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &handles->dbc))) {
        handles->dbc = SQL_NULL_HDBC;
        throwDiagnostics(SQL_HANDLE_ENV, env, "SQLAllocHandle(SQL_HANDLE_DBC)");
    }
    const SQLHDBC dbc = handles->dbc;

    // Both before connecting: the login timeout only applies to a connection not yet made.
    SQLRETURN rc = SQLSetConnectAttrW(
        dbc, SQL_ATTR_LOGIN_TIMEOUT,
        reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(loginTimeoutSeconds)), SQL_IS_UINTEGER);
    if (!SQL_SUCCEEDED(rc))
        throwDiagnostics(SQL_HANDLE_DBC, dbc, "SQLSetConnectAttr(SQL_ATTR_LOGIN_TIMEOUT)");
    // Bounds waits for the server outside of statements too; drivers without it are fine.
    SQLSetConnectAttrW(dbc, SQL_ATTR_CONNECTION_TIMEOUT,
                       reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(loginTimeoutSeconds)),
                       SQL_IS_UINTEGER);

    if (connectionString.size() > std::numeric_limits<SQLSMALLINT>::max())
        throw DbError{QString(), 0, QStringLiteral("数据库连接字符串过长，无法连接。")};
    std::vector<SQLWCHAR> text = odbc::toWide(connectionString);
    SQLSMALLINT outLength = 0;
    rc = SQLDriverConnectW(dbc, nullptr, text.data(), SQLSMALLINT(connectionString.size()), nullptr,
                           0, &outLength, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc))
        throwDiagnostics(SQL_HANDLE_DBC, dbc, "SQLDriverConnect");
    handles->connected = true;

    return std::unique_ptr<OdbcDatabase>(new OdbcDatabase(std::move(handles), queryTimeoutSeconds));
}

bool OdbcDatabase::isOpen() const {
    if (!m_handles || !m_handles->connected)
        return false;
    // Asks the driver what it already knows about the link; no round trip to the server.
    SQLUINTEGER dead = SQL_CD_FALSE;
    const SQLRETURN rc = SQLGetConnectAttrW(m_handles->dbc, SQL_ATTR_CONNECTION_DEAD, &dead,
                                            SQL_IS_UINTEGER, nullptr);
    return !(SQL_SUCCEEDED(rc) && dead == SQL_CD_TRUE);
}

QueryResult OdbcDatabase::query(const QString& sql) {
    Statement statement(m_handles->dbc);
    const SQLHSTMT stmt = statement.handle();
    executeDirect(statement, sql, m_queryTimeoutSeconds);

    // Row counts of INSERT, UPDATE, SET … come first in many batches; the first result with
    // columns is the one asked for.
    QueryResult result;
    bool more = true;
    while (more) {
        const SQLSMALLINT count = columnCount(stmt);
        if (count > 0) {
            result = readResult(stmt, count);
            break;
        }
        more = nextResult(stmt);
    }
    if (more)
        drainResults(stmt);
    return result;
}

void OdbcDatabase::execute(const QString& sql) {
    Statement statement(m_handles->dbc);
    executeDirect(statement, sql, m_queryTimeoutSeconds);
    drainResults(statement.handle());
}

void OdbcDatabase::beginTrans() {
    if (m_inTransaction)
        throw DbError{QString(), 0, QStringLiteral("事务已经开始，不能再次开始事务。")};
    setAutocommit(m_handles->dbc, false);
    m_inTransaction = true;
}

void OdbcDatabase::commitTrans() {
    if (!m_inTransaction)
        throw DbError{QString(), 0, QStringLiteral("没有已开始的事务，无法提交事务。")};
    // A failed commit leaves the transaction open, so the caller can still roll it back.
    if (!SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, m_handles->dbc, SQL_COMMIT)))
        throwDiagnostics(SQL_HANDLE_DBC, m_handles->dbc, "SQLEndTran(SQL_COMMIT)");
    m_inTransaction = false;
    setAutocommit(m_handles->dbc, true);
}

void OdbcDatabase::rollbackTrans() {
    if (!m_inTransaction)
        throw DbError{QString(), 0, QStringLiteral("没有已开始的事务，无法回滚事务。")};
    if (!SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, m_handles->dbc, SQL_ROLLBACK)))
        throwDiagnostics(SQL_HANDLE_DBC, m_handles->dbc, "SQLEndTran(SQL_ROLLBACK)");
    m_inTransaction = false;
    setAutocommit(m_handles->dbc, true);
}

} // namespace quenlor
