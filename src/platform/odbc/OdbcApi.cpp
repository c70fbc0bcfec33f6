#include "platform/odbc/OdbcApi.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace quenlor::odbc {

namespace {

QString noRecordMessage(const char* call) {
    return QStringLiteral("ODBC 调用 %1 失败，驱动程序没有给出错误信息。")
        .arg(QString::fromLatin1(call));
}

struct DiagRecord {
    QString sqlState;
    SQLINTEGER nativeError = 0;
    QString message;
};

// Reads record `number`; false when there is none.
bool readRecord(SQLSMALLINT handleType, SQLHANDLE handle, SQLSMALLINT number, DiagRecord& out) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    std::vector<SQLWCHAR> text(1024);
    SQLSMALLINT length = 0;
    SQLRETURN rc = SQLGetDiagRecW(handleType, handle, number, state, &native, text.data(),
                                  static_cast<SQLSMALLINT>(text.size()), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(text.size())) {
        // A message longer than the buffer: read it again whole rather than lose its end.
        text.resize(static_cast<size_t>(length) + 1);
        rc = SQLGetDiagRecW(handleType, handle, number, state, &native, text.data(),
                            static_cast<SQLSMALLINT>(text.size()), &length);
    }
    if (!SQL_SUCCEEDED(rc))
        return false;
    out.sqlState = fromWideText(state, 5);
    out.nativeError = native;
    const auto stored = std::min<qsizetype>(length, static_cast<qsizetype>(text.size()) - 1);
    out.message = fromWideText(text.data(), std::max<qsizetype>(stored, 0));
    return true;
}

// A driver manager never holds this many; the bound only guards against one that loops.
constexpr SQLSMALLINT maxRecords = 512;

} // namespace

SQLHENV environment() {
    // Deliberately never freed: connections kept in static objects may outlive any owner we
    // could give it, and the process ending releases it anyway.
    static const SQLHENV env = [] {
        SQLHENV handle = SQL_NULL_HENV;
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &handle)))
            throw DbError{QString(), 0,
                          QStringLiteral("无法建立 ODBC 环境：ODBC 驱动程序管理器不可用。")};
        const SQLRETURN rc =
            SQLSetEnvAttr(handle, SQL_ATTR_ODBC_VERSION,
                          reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_OV_ODBC3)), 0);
        if (!SQL_SUCCEEDED(rc)) {
            DbError error = diagnostics(SQL_HANDLE_ENV, handle, "SQLSetEnvAttr");
            SQLFreeHandle(SQL_HANDLE_ENV, handle);
            throw error;
        }
        return handle;
    }();
    return env;
}

std::vector<SQLWCHAR> toWide(const QString& text) {
    std::vector<SQLWCHAR> out(static_cast<size_t>(text.size()) + 1, 0);
    std::memcpy(out.data(), text.utf16(), static_cast<size_t>(text.size()) * sizeof(SQLWCHAR));
    return out;
}

QString fromWide(const SQLWCHAR* text, qsizetype length) {
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(text), length);
}

QString fromWideText(const SQLWCHAR* text, qsizetype length) {
    qsizetype end = 0;
    while (end < length && text[end] != 0)
        ++end;
    return fromWide(text, end);
}

DbError diagnostics(SQLSMALLINT handleType, SQLHANDLE handle, const char* call) {
    DbError error;
    QStringList messages;
    DiagRecord record;
    for (SQLSMALLINT number = 1; number <= maxRecords; ++number) {
        if (!readRecord(handleType, handle, number, record))
            break;
        if (number == 1)
            error.sqlState = record.sqlState;
        if (error.number == 0)
            error.number = static_cast<int>(record.nativeError);
        messages << record.message;
    }
    error.description =
        messages.isEmpty() ? noRecordMessage(call) : messages.join(QLatin1Char('\n'));
    return error;
}

void throwDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle, const char* call) {
    throw diagnostics(handleType, handle, call);
}

bool hasSqlState(SQLSMALLINT handleType, SQLHANDLE handle, const char* sqlState) {
    const QString wanted = QString::fromLatin1(sqlState);
    DiagRecord record;
    for (SQLSMALLINT number = 1; number <= maxRecords; ++number) {
        if (!readRecord(handleType, handle, number, record))
            return false;
        if (record.sqlState == wanted)
            return true;
    }
    return false;
}

QStringList installedDrivers() {
    QStringList names;
    const SQLHENV env = environment();
    SQLWCHAR name[512];
    SQLWCHAR attributes[2048];
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    for (;;) {
        SQLSMALLINT nameLength = 0;
        SQLSMALLINT attributesLength = 0;
        const SQLRETURN rc = SQLDriversW(
            env, direction, name, static_cast<SQLSMALLINT>(std::size(name)), &nameLength,
            attributes, static_cast<SQLSMALLINT>(std::size(attributes)), &attributesLength);
        if (!SQL_SUCCEEDED(rc))
            break;
        const auto stored =
            std::min<qsizetype>(nameLength, static_cast<qsizetype>(std::size(name)) - 1);
        names << fromWideText(name, std::max<qsizetype>(stored, 0));
        direction = SQL_FETCH_NEXT;
    }
    return names;
}

Statement::Statement(SQLHDBC connection) {
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, connection, &m_handle))) {
        m_handle = SQL_NULL_HSTMT;
        throwDiagnostics(SQL_HANDLE_DBC, connection, "SQLAllocHandle(SQL_HANDLE_STMT)");
    }
}

Statement::~Statement() {
    if (m_handle != SQL_NULL_HSTMT)
        SQLFreeHandle(SQL_HANDLE_STMT, m_handle);
}

} // namespace quenlor::odbc
