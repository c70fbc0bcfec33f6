#pragma once

// The ODBC headers and the few helpers the ODBC classes share. Internal to src/platform/odbc.

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

#include <sql.h>
#include <sqlext.h>

#include "platform/Database.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace quenlor::odbc {

// The Qt side is UTF-16 and so is SQLWCHAR on Windows and with unixODBC; nothing else is supported.
static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "SQLWCHAR must be a 16-bit code unit");

// The process-wide ODBC 3 environment, made on first use. Throws DbError when it cannot be made.
SQLHENV environment();

// A NUL-terminated copy of text for the W functions (which take non-const pointers).
std::vector<SQLWCHAR> toWide(const QString& text);
QString fromWide(const SQLWCHAR* text, qsizetype length);
// For names and messages, which never hold NUL: stops at the first one within length. unixODBC
// reports the lengths of an ANSI driver's texts in bytes of UTF-8, longer than the UTF-16 it
// returns.
QString fromWideText(const SQLWCHAR* text, qsizetype length);

// Every diagnostic record of handle as one error. `call` names the ODBC function that failed, for
// the message used when the driver left no record at all.
DbError diagnostics(SQLSMALLINT handleType, SQLHANDLE handle, const char* call);
[[noreturn]] void throwDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle, const char* call);

// Whether one of handle's diagnostic records carries sqlState (e.g. "01004").
bool hasSqlState(SQLSMALLINT handleType, SQLHANDLE handle, const char* sqlState);

// The names of the drivers registered with the driver manager.
QStringList installedDrivers();

// Owns one statement handle.
class Statement {
public:
    explicit Statement(SQLHDBC connection);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    [[nodiscard]] SQLHSTMT handle() const { return m_handle; }

private:
    SQLHSTMT m_handle = SQL_NULL_HSTMT;
};

} // namespace quenlor::odbc
