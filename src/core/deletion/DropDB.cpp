#include "core/deletion/DropDB.h"

#include "core/app/Environment.h"
#include "core/app/ProgramState.h"
#include "core/db/QueryHelpers.h"
#include "core/db/ServerVersion.h"
#include "core/db/SqlText.h"
#include "platform/Database.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace quenlor {

namespace {

QString S(const char16_t* text) {
    return QString::fromUtf16(text);
}

// The server's number for a database that is in single-user mode with a user connected to it:
// the mode asked for is there already.
constexpr int kAlreadySingleUser = 5064;

// What became of a request for single-user mode. Only a switch this call made is ours to undo.
enum class SwitchOutcome { Switched, AlreadySingleUser, Failed };

struct Switch {
    SwitchOutcome result;
    Outcome outcome;
};

Switch switchToSingleUser(const QString& databaseName, Database* conn) {
    try {
        EnsureServerVersion(conn);
        if (!conn || !conn->isOpen())
            throw DbError{QString(), 0, S(u"连接未打开，无法执行查询。")};
        // The blank after the name is harmless: the server ignores trailing blanks in names.
        const QString statement =
            isSql2000Family(state().ServerMajorVersion)
                ? S(u"sp_dboption '") + quoteLiteral(databaseName) + S(u" ','single user','true'")
                : S(u"alter database ") + quoteIdentifier(databaseName) +
                      S(u" set single_user with rollback immediate ");
        conn->execute(AddPasswordComment(statement));
        return {SwitchOutcome::Switched, Outcome::done()};
    } catch (const DbError& e) {
        return {e.number == kAlreadySingleUser ? SwitchOutcome::AlreadySingleUser
                                               : SwitchOutcome::Failed,
                Outcome::failed(e)};
    }
}

// Gives the database back to its other users after a drop that did not happen. Its own failure
// is not reported: the drop's text is the one the operator must see.
void restoreMultiUser(const QString& databaseName, Database* conn) {
    const QString statement =
        isSql2000Family(state().ServerMajorVersion)
            ? S(u"sp_dboption '") + quoteLiteral(databaseName) + S(u"','single user','false'")
            : S(u"alter database ") + quoteIdentifier(databaseName) + S(u" set multi_user");
    try {
        conn->execute(statement);
    } catch (const DbError&) {
    }
}

} // namespace

void EnsureServerVersion(Database* conn) {
    ProgramState& s = state();
    if (!s.ServerVersionText.isEmpty())
        return;
    int major = 0;
    s.ServerVersionText = GetServerVersionText(conn, &major).value;
    s.ServerMajorVersion = major;
}

Outcome DropDB(const QString& databaseName, Database* conn) {
    if (databaseName.isEmpty())
        return Outcome::failed(S(u"数据库名为空，未执行任何删除。"));
    if (databaseName.size() > 128)
        return Outcome::failed(
            S(u"数据库名“%1”无效（超过 128 个字符），未执行任何删除。").arg(databaseName));

    const Read<QVariant> found =
        LookupValue(S(u"name"), S(u"master..sysdatabases"),
                    S(u"name='") + quoteLiteral(databaseName) + S(u"'"), conn);
    // A look-up that failed (lost connection, no permission) says nothing about the database:
    // its own failure is kept rather than reporting the database missing.
    if (!found.outcome)
        return found.outcome;
    if (NullToStr(found.value).isEmpty())
        return Outcome::failed(S(u"错误报告:数据库[") + databaseName + S(u"]不存在"));

    // The drop is attempted even when the switch was refused; the server has the last word.
    const Switch single = switchToSingleUser(databaseName, conn);
    try {
        conn->execute(S(u"drop database ") + quoteIdentifier(databaseName));
        return Outcome::done();
    } catch (const DbError& e) {
        if (single.result == SwitchOutcome::Switched)
            restoreMultiUser(databaseName, conn);
        // A failure without a text leaves the switch's, as the closest account of what happened.
        if (e.description.isEmpty() && !single.outcome)
            return single.outcome;
        return Outcome::failed(e);
    }
}

Outcome SetSingleUser(const QString& databaseName, Database* conn) {
    const Switch single = switchToSingleUser(databaseName, conn);
    return single.result == SwitchOutcome::Failed ? single.outcome : Outcome::done();
}

Outcome DeleteBackupHistory(const QString& databaseName, Database* conn) {
    try {
        if (!conn || !conn->isOpen())
            throw DbError{QString(), 0, S(u"连接未打开，无法执行查询。")};
        conn->execute(S(u"EXEC msdb.dbo.sp_delete_database_backuphistory @database_name = N'") +
                      quoteLiteral(databaseName) + S(u"'"));
        return Outcome::done();
    } catch (const DbError& e) {
        return Outcome::failed(e);
    }
}

QString AddPasswordComment(const QString& statement) {
    if (statement.isEmpty())
        return statement;
    return S(u"--password \r\n") + statement;
}

namespace {

// Paths come from the server with "\"; where the system's own separator is "/", that one names
// folders too.
qsizetype lastSeparator(const QString& text) {
    qsizetype at = text.lastIndexOf(u'\\');
    if (QDir::separator() == u'/')
        at = std::max(at, text.lastIndexOf(u'/'));
    return at;
}

} // namespace

QString ContainingFolder(const QString& filePath) {
    const qsizetype at = lastSeparator(filePath);
    if (at < 0)
        return {};
    const QString folder = filePath.left(at);
    // "D:" or "" (the file lay at the top of a drive or of the root): never removed.
    return lastSeparator(folder) < 0 ? QString() : folder;
}

Read<bool> RemoveEmptyDir(const QString& filePath) {
    const QString folder = ContainingFolder(filePath);
    if (folder.isEmpty())
        return {false, Outcome::done()};

    QString local = folder;
    local.replace(u'\\', u'/');
    if (!FileExists(local))
        return {false, Outcome::done()};
    const QFileInfo info(local);
    // Only a real folder: a link or junction points at somebody else's data.
    if (!info.isDir() || info.isRoot() || info.isSymLink() || info.isJunction())
        return {false, Outcome::done()};

    const std::filesystem::path path = info.filesystemFilePath();
    std::error_code ec;
    // Every entry counts, hidden and system ones too; "." and ".." are never listed.
    std::filesystem::directory_iterator entries(path, ec);
    if (ec)
        return {
            false,
            Outcome::failed(
                S(u"无法读取文件夹“%1”：%2").arg(folder, QString::fromLocal8Bit(ec.message())))};
    if (entries != std::filesystem::directory_iterator())
        return {false, Outcome::done()};
    // Removes an empty folder only; one that filled meanwhile makes this fail, not vanish.
    const bool removed = std::filesystem::remove(path, ec);
    if (ec)
        return {
            false,
            Outcome::failed(
                S(u"无法删除文件夹“%1”：%2").arg(folder, QString::fromLocal8Bit(ec.message())))};
    return {removed, Outcome::done()};
}

} // namespace quenlor
