#include "core/deletion/DropCheck.h"

#include "core/app/ProgramState.h"
#include "core/db/QueryHelpers.h"
#include "core/db/SqlText.h"
#include "core/deletion/DropDB.h"
#include "platform/Database.h"

namespace quenlor {

namespace {

QString S(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// A value of the first row, or an invalid one when there is no row or no such column.
QVariant first(const QueryResult& result, const char* column) {
    const int c = result.columnIndex(S(column));
    return result.rows.isEmpty() || c < 0 ? QVariant() : result.rows.first().value(c);
}

bool isZero(const QVariant& v) {
    return v.isValid() && !v.isNull() && v.toInt() == 0;
}

bool isSet(const QVariant& v) {
    return v.isValid() && !v.isNull() && v.toInt() != 0;
}

// The server's own word for a state it will not drop a database in. SQL Server 2005 and later
// drop a database in any state but one still being recovered; the 2000 family needs it online
// or at least not being restored.
QString refusedState(const QString& status, int major) {
    if (status == QLatin1String("RECOVERING"))
        return S("正在恢复");
    if (!isSql2000Family(major) || major == 0)
        return {};
    if (status == QLatin1String("OFFLINE"))
        return S("处于脱机状态");
    if (status == QLatin1String("RESTORING"))
        return S("正在还原");
    return {};
}

// Whether the current login may drop the database: a server role or permission that covers every
// database, or the database's own.
bool mayDrop(const QString& name, const QString& dbid, int major, Database* conn) {
    if (!isSql2000Family(major) || major == 0) {
        const QueryResult perms =
            conn->query(S("select HAS_PERMS_BY_NAME(null,null,'ALTER ANY DATABASE') as anydb,"
                          "HAS_PERMS_BY_NAME(N'") +
                        quoteLiteral(name) + S("','DATABASE','CONTROL') as control"));
        // NULL is no answer (a database that cannot be opened): the server decides.
        return !(isZero(first(perms, "anydb")) && isZero(first(perms, "control")));
    }
    const QueryResult roles = conn->query(
        S("select IS_SRVROLEMEMBER('sysadmin') as sa,IS_SRVROLEMEMBER('dbcreator') as creator"));
    if (!isZero(first(roles, "sa")) || !isZero(first(roles, "creator")))
        return true;
    const QueryResult owned =
        conn->query(S("select count(*) as owned from master..sysdatabases where dbid=") + dbid +
                    S(" and sid=SUSER_SID()"));
    return isSet(first(owned, "owned"));
}

// Why the database cannot be dropped now, or empty text. dbid is a number.
QString blocker(const QList<QVariant>& row, const QueryResult& dbs, const QString& dbid, int major,
                Database* conn) {
    const auto column = [&](const char* name) {
        return NullToStr(row.value(dbs.columnIndex(S(name))));
    };
    const QString name = column("name");
    const QString status = column("state").toUpper();

    if (column("access").toUpper() == QLatin1String("SINGLE_USER")) {
        const QueryResult users =
            conn->query(S("select count(*) as users from master..sysprocesses where dbid=") + dbid +
                        S(" and spid<>@@spid"));
        if (isSet(first(users, "users")))
            return S("处于单用户模式，且正被其他连接使用");
    }
    if (const QString refused = refusedState(status, major); !refused.isEmpty())
        return refused + S("，服务器不允许删除");
    // Snapshots came with SQL Server 2005, availability groups with 2012.
    if (!isSql2000Family(major) || major == 0) {
        const QueryResult snapshots =
            conn->query(S("select name from sys.databases where source_database_id=") + dbid);
        if (!snapshots.rows.isEmpty())
            return S("是数据库快照“%1”的源数据库，须先删除该快照")
                .arg(NullToStr(first(snapshots, "name")));
    }
    if (major >= 11) {
        const QueryResult group =
            conn->query(S("select group_database_id from sys.databases where database_id=") + dbid);
        if (!NullToStr(first(group, "group_database_id")).isEmpty())
            return S("已加入可用性组，须先将其从可用性组中移除");
    }
    if (column("published") == QLatin1String("1") || column("mergepublished") == QLatin1String("1"))
        return S("已发布用于复制，须先删除其发布");
    if (!mayDrop(name, dbid, major, conn))
        return S("不能由当前登录名删除（没有删除权限）");
    return {};
}

} // namespace

DropCheck CheckDrops(const QString& condition, const QString& named, Database* conn) {
    DropCheck check;
    try {
        if (!conn || !conn->isOpen())
            throw DbError{QString(), 0, S("数据库连接未打开。")};
        EnsureServerVersion(conn);
        const int major = state().ServerMajorVersion;
        const QueryResult dbs =
            conn->query(S("select name,dbid,DATABASEPROPERTYEX(name,'Status') as state,"
                          "DATABASEPROPERTYEX(name,'UserAccess') as access,"
                          "DATABASEPROPERTYEX(name,'IsPublished') as published,"
                          "DATABASEPROPERTYEX(name,'IsMergePublished') as mergepublished "
                          "from master..sysdatabases where ") +
                        condition);
        if (dbs.rows.isEmpty() && !named.isEmpty()) {
            check.refusal = S("数据库“%1”不存在").arg(named);
            return check;
        }
        for (const QList<QVariant>& row : dbs.rows) {
            const QString name = NullToStr(row.value(dbs.columnIndex(S("name"))));
            // The id goes into the statements unquoted, so it must be a number.
            bool numeric = false;
            const QString dbid =
                QString::number(row.value(dbs.columnIndex(S("dbid"))).toLongLong(&numeric));
            const QString why =
                numeric ? blocker(row, dbs, dbid, major, conn) : S("的编号无法读取，无法检查");
            if (!why.isEmpty()) {
                check.refusal = S("数据库“%1”").arg(name) + why;
                return check;
            }
            const int state = dbs.columnIndex(S("state"));
            if (NullToStr(row.value(state)).toUpper() != QLatin1String("OFFLINE"))
                continue;
            // The server drops an offline database without touching its files.
            const QueryResult files =
                conn->query(S("select filename from master..sysaltfiles where dbid=") + dbid +
                            S(" order by fileid"));
            QStringList paths;
            for (const QList<QVariant>& f : files.rows)
                paths << NullToStr(f.value(0)).trimmed();
            check.filesLeft << name + S("：") + paths.join(S("、"));
        }
    } catch (const DbError& e) {
        check.refusal = S("无法检查其数据库能否删除：") + e.description;
    }
    return check;
}

} // namespace quenlor
