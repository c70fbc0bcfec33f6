#include "core/deletion/Catalogue.h"

#include "core/app/ProgramState.h"
#include "core/db/QueryHelpers.h"
#include "core/db/SqlText.h"
#include "core/deletion/DropDB.h"
#include "platform/Database.h"

#include <functional>

namespace quenlor {

namespace {

// The user tables of ufsystem that hold an account code, by a column of a known name or by a
// foreign key to UA_Account.cAcc_Id.
// clang-format off
const char16_t* const kAccountReferencePieces[] = {
    u"select b.name as ctable,a.name ccol from UFSystem..syscolumns as a ",
    u" inner join UFSystem..sysobjects as b on a.id=b.id",
    u" where b.xtype='U' and a.name in('cacc_id' ,'accid','caccid','accountid') and b.name not in('UA_Account')",
    u" Union",
    u" select b.Name as ctable,c.Name as ccol",
    u" From UFSystem..sysreferences as sysreferences",
    u" Inner Join UFSystem..sysobjects A ON sysreferences.constid=A.Id",
    u" Inner Join UFSystem..sysobjects B ON B.id=sysreferences.fkeyid",
    u" Inner Join UFSystem..syscolumns as C on C.ID=B.ID and sysreferences.fkey1=C.colorder",
    u" Inner Join UFSystem..sysobjects as D on d.id=sysreferences.rkeyid",
    u" Inner Join UFSystem..syscolumns as E on D.ID=E.ID and sysreferences.rkey1=E.colorder",
    u" where b.xtype='U' and D.Name='UA_Account' and E.Name='cAcc_Id'",
};

// The same tables narrowed to the two that carry a year, with their year columns.
const char16_t* const kYearReferencePieces[] = {
    u"select a.ctable,a.ccol as cacc,y.name as cyear from",
    u" (",
    u" select b.name as ctable,a.name ccol from ufsystem..syscolumns as a inner join ufsystem..sysobjects as b on a.id=b.id",
    u" where b.xtype='U' and a.name in('cacc_id' ,'accid','caccid','accountid') and b.name not in('UA_Account')",
    u" Union",
    u" select b.Name as ctable,c.Name as ccol",
    u" From ufsystem..sysreferences as sysreferences",
    u" Inner Join ufsystem..sysobjects A ON sysreferences.constid=A.Id",
    u" Inner Join ufsystem..sysobjects B ON B.id=sysreferences.fkeyid",
    u" Inner Join ufsystem..syscolumns as C on C.ID=B.ID and sysreferences.fkey1=C.colorder",
    u" Inner Join ufsystem..sysobjects as D on d.id=sysreferences.rkeyid",
    u" Inner Join ufsystem..syscolumns as E on D.ID=E.ID and sysreferences.rkey1=E.colorder",
    u" where b.xtype='U' and D.Name='UA_Account' and E.Name='cAcc_Id'",
    u" ) as a",
    u" left join ufsystem..sysobjects as x on a.ctable=x.name",
    u" left join ufsystem..syscolumns as y on x.id=y.id",
    u" where y.name like '%year%' and a.ctable in ('UA_BackupPlans','ua_task')",
};
// clang-format on

QString S(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// A failure inside a worker's step, carried out to the step's end.
struct StepFailed {
    Outcome outcome;
};

// A check whose own query failed is no answer: it ends the worker with that failure instead of
// being taken for "absent". An empty answer still means absent.
QString checked(const Read<QVariant>& read) {
    if (!read.outcome)
        throw StepFailed{read.outcome};
    return NullToStr(read.value);
}

bool tableExists(const QString& condition, Database* conn) {
    return !checked(LookupValue(S("name"), S("UFSystem..sysobjects"), condition, conn)).isEmpty();
}

bool columnExists(const QString& statement, Database* conn) {
    return !checked(GetFieldValue(S("name"), statement, conn)).isEmpty();
}

QString columnOf(const QueryResult& r, const QList<QVariant>& row, const char* name) {
    const int c = r.columnIndex(S(name));
    if (c < 0)
        throw DbError{QString(), 0, S("在对应所需名称或序数的集合中，未找到项目。")};
    return NullToStr(row.value(c));
}

void requireOpen(Database* conn) {
    if (!conn || !conn->isOpen())
        throw DbError{QString(), 0, S("数据库连接未打开，无法删除。")};
}

// Undoes the open transaction; the failure that led here is the one the operator must see.
void rollbackQuietly(Database* conn) {
    try {
        conn->rollbackTrans();
    } catch (const DbError&) {
    }
}

// Runs a step: done, or the failure that ended it.
Outcome attempt(const std::function<void()>& step) {
    try {
        step();
        return Outcome::done();
    } catch (const DbError& e) {
        return Outcome::failed(e);
    } catch (const StepFailed& f) {
        return f.outcome;
    }
}

// A catalogue phase: one transaction, committed when every statement went through, rolled back
// at the first failure.
Outcome inOneTransaction(Database* conn, const std::function<void()>& phase) {
    bool open = false;
    const Outcome done = attempt([&] {
        requireOpen(conn);
        conn->beginTrans();
        open = true;
        phase();
        conn->commitTrans();
        open = false;
    });
    if (!done && open)
        rollbackQuietly(conn);
    return done;
}

bool accountRegistered(const QString& quotedCode, Database* conn) {
    return !checked(LookupValue(S("cAcc_Id"), S("UFSystem..UA_Account"),
                                S("cAcc_Id='") + quotedCode + S("'"), conn))
                .isEmpty();
}

// The two clean-ups that both workers end their catalogue phase with.
void removeOrphanedPlansAndTaskLogs(Database* conn) {
    if (tableExists(S("name='UA_BackupPlan'"), conn))
        conn->execute(S("delete from UFSystem..UA_BackupPlan WHERE cPlan_Id not in (select "
                        "cPlan_Id FROM UFSystem..UA_BackupPlans)"));
    if (tableExists(S("name='ua_tasklog'"), conn))
        conn->execute(S("delete from UFSystem..ua_tasklog where taskstate=1 and ctaskid not in "
                        "(select ctaskid from UFSystem..ua_task)"));
}

void removeFolderOf(const QString& filePath, const DropHooks& hooks) {
    if (hooks.removeFolder)
        hooks.removeFolder(filePath);
    else
        (void)RemoveEmptyDir(filePath);
}

// Drops the databases a query lists, removing each data file's folder when it is left empty.
// Ends at the first database that cannot be dropped, with its failure. A folder that cannot be
// removed is no failure of the drop.
void dropListed(const QueryResult& databases, Database* conn, const DropHooks& hooks) {
    for (const QList<QVariant>& row : databases.rows) {
        const QString name = columnOf(databases, row, "name");
        if (const Outcome dropped = DropWithHooks(name, conn, hooks); !dropped)
            throw StepFailed{dropped};
        removeFolderOf(columnOf(databases, row, "filename"), hooks);
    }
}

} // namespace

bool isValidAccountCode(const QString& code) {
    if (code.size() != 3)
        return false;
    for (const QChar c : code) {
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')))
            return false;
    }
    return true;
}

bool isValidYear(const QString& year) {
    if (year.size() != 4)
        return false;
    for (const QChar c : year) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

bool isValidDatabaseName(const QString& name) {
    return !name.isEmpty() && name.size() <= 128;
}

QString accountSetDatabases(const QString& accountCode) {
    // The underscores of the name patterns are literal: only this account set's databases.
    const QString pattern = likePattern(accountCode);
    return S("name like 'ufdata[_]") + pattern + S("[_]%' or name like 'UFMeta[_]") + pattern +
           S("'");
}

QString yearDatabases(const QString& accountCode, const QString& year) {
    return S("name like 'ufdata[_]") + likePattern(accountCode) + S("[_]") + likePattern(year) +
           S("'");
}

Outcome DropWithHooks(const QString& databaseName, Database* conn, const DropHooks& hooks) {
    if (hooks.dropping)
        hooks.dropping(databaseName);
    const Outcome dropped = DropDB(databaseName, conn);
    if (dropped && hooks.backupHistory) {
        if (const Outcome history = DeleteBackupHistory(databaseName, conn);
            !history && hooks.historyFailed)
            hooks.historyFailed(databaseName, history);
    }
    return dropped;
}

Outcome DeleteAcc_UF(const QString& accountCode, Database* conn, bool deleteDatabases,
                     bool* catalogueRemoved, const DropHooks& hooks) {
    if (!isValidAccountCode(accountCode))
        return Outcome::failed(
            S("账套号“%1”无效（应为 3 位字母或数字），未执行任何删除。").arg(accountCode));
    const QString code = quoteLiteral(accountCode);

    bool registered = false;
    if (const Outcome checkedIn = attempt([&] {
            requireOpen(conn);
            registered = accountRegistered(code, conn);
        });
        !checkedIn)
        return checkedIn;

    // An account set the catalogue does not know keeps the catalogue as it is.
    if (registered) {
        const Outcome catalogue = inOneTransaction(conn, [&] {
            if (columnExists(S("select a.name from UFSystem..sysobjects as a inner join "
                               "UFSystem..syscolumns as b on a.id=b.id where a.name='ua_holdauth' "
                               "and b.name='cacc_id'"),
                             conn))
                conn->execute(S("delete UFSystem..ua_holdauth where cacc_id='") + code + S("'"));

            const QueryResult refs = conn->query(joinPieces(kAccountReferencePieces));
            for (const QList<QVariant>& row : refs.rows) {
                conn->execute(S("delete UFSystem..") +
                              quoteIdentifier(columnOf(refs, row, "ctable")) + S(" where ") +
                              quoteIdentifier(columnOf(refs, row, "ccol")) + S("='") + code +
                              S("'"));
            }

            removeOrphanedPlansAndTaskLogs(conn);

            if (columnExists(S("select a.name from UFSystem..sysobjects as a inner join "
                               "UFSystem..syscolumns as b on a.id=b.id where a.name='UA_Message' "
                               "and b.name='Account'"),
                             conn))
                conn->execute(S("delete from UFSystem..UA_Message where Account='") + code +
                              S("'"));

            conn->execute(S("delete UFSystem..UA_Account where cAcc_Id='") + code + S("'"));
        });
        if (!catalogue)
            return catalogue;
        if (catalogueRemoved)
            *catalogueRemoved = true;
    }

    if (!deleteDatabases)
        return Outcome::done();

    // Database phase: the catalogue changes above stay whatever happens here.
    return attempt([&] {
        const QueryResult dbs =
            conn->query(S("select name,filename from master..sysdatabases where ") +
                        accountSetDatabases(accountCode));
        if (dbs.rows.isEmpty())
            return;
        // The account folder: the path up to "ZT" and five characters more
        // (D:\U8SOFT\ZT001\ of D:\U8SOFT\ZT001\2015\UFDATA.MDF).
        const QString firstFile = columnOf(dbs, dbs.rows.first(), "filename");
        const qsizetype zt = firstFile.toUpper().indexOf(S("ZT"));
        const QString accountFolder = firstFile.left((zt < 0 ? 0 : zt + 1) + 5);
        dropListed(dbs, conn, hooks);
        removeFolderOf(accountFolder, hooks);
    });
}

Outcome DeleteYear_UF(const QString& accountCode, const QString& year, Database* conn,
                      bool deleteDatabases, const DropHooks& hooks) {
    if (!isValidAccountCode(accountCode))
        return Outcome::failed(
            S("账套号“%1”无效（应为 3 位字母或数字），未执行任何删除。").arg(accountCode));
    if (!isValidYear(year))
        return Outcome::failed(S("年度“%1”无效（应为 4 位数字），未执行任何删除。").arg(year));
    const QString code = quoteLiteral(accountCode);

    // Database phase first: no transaction is open while databases are dropped.
    if (deleteDatabases) {
        if (const Outcome dropped = attempt([&] {
                requireOpen(conn);
                const QueryResult dbs =
                    conn->query(S("select name,filename from master..sysdatabases where ") +
                                yearDatabases(accountCode, year));
                dropListed(dbs, conn, hooks);
            });
            !dropped)
            return dropped;
    }

    return inOneTransaction(conn, [&] {
        if (!accountRegistered(code, conn))
            return;
        const QueryResult refs = conn->query(joinPieces(kYearReferencePieces));
        for (const QList<QVariant>& row : refs.rows) {
            conn->execute(S("delete UFSystem..") + quoteIdentifier(columnOf(refs, row, "ctable")) +
                          S(" where ") + quoteIdentifier(columnOf(refs, row, "cacc")) + S("='") +
                          code + S("' and  ") + quoteIdentifier(columnOf(refs, row, "cyear")) +
                          S("='") + year + S("'"));
        }
        // The period rows are marked deleted, not removed.
        conn->execute(S("UPDATE UFSystem..UA_Period SET bIsDelete=1 WHERE cAcc_Id='") + code +
                      S("' AND iyear=") + year);
        removeOrphanedPlansAndTaskLogs(conn);
    });
}

Outcome DeleteAcc_TN(const QString& databaseName, Database* conn, bool deleteDatabases,
                     bool* catalogueRemoved, const DropHooks& hooks) {
    // An empty name is allowed: an account of the catalogue whose database is gone has none, and
    // it matches nothing below.
    if (databaseName.size() > 128)
        return Outcome::failed(
            S("数据库名“%1”无效（超过 128 个字符），未执行任何删除。").arg(databaseName));
    const QString name = quoteLiteral(databaseName);

    bool registered = false;
    if (const Outcome checkedIn = attempt([&] {
            requireOpen(conn);
            registered = !checked(LookupValue(S("DSName"), S("UFTSystem..EAP_Account"),
                                              S("DSName='") + name + S("'"), conn))
                              .isEmpty();
        });
        !checkedIn)
        return checkedIn;

    if (registered) {
        const Outcome catalogue = inOneTransaction(conn, [&] {
            struct CleanUp {
                const char* check;
                const char* head;
                bool withName;
            };
            // In this order: the later ones still find the account through its EAP_Account row.
            // The fifth check names the table with a trailing blank, which the server ignores.
            static const CleanUp cleanUps[] = {
                {"select a.name from UFTSystem..sysobjects as a inner join UFTSystem..syscolumns "
                 "as b on a.id=b.id where a.name='EAP_BackUp' and b.name='DatabaseDBName'",
                 "delete FROM UFTSystem..EAP_BackUp where DatabaseDBName in (select dsname from "
                 "UFTSystem..EAP_Account where dsname='",
                 true},
                {"select a.name from UFTSystem..sysobjects as a inner join UFTSystem..syscolumns "
                 "as b on a.id=b.id where a.name='eap_backupplans' and b.name='cAcc_id'",
                 "delete from UFTSystem..eap_backupplans where cast(cAcc_id as int) in (select "
                 "cacc_num from UFTSystem..EAP_Account where dsname='",
                 true},
                {"select a.name from UFTSystem..sysobjects as a inner join UFTSystem..syscolumns "
                 "as b on a.id=b.id where a.name='eap_backupplan' and b.name='plan_id'",
                 "delete from UFTSystem..eap_backupplan where plan_id not in (select distinct "
                 "plan_id from UFTSystem..eap_backupplans)",
                 false},
                {"select a.name from UFTSystem..sysobjects as a inner join UFTSystem..syscolumns "
                 "as b on a.id=b.id where a.name='EAP_Period' and b.name='cAcc_id'",
                 "delete from UFTSystem..EAP_Period where cAcc_id in (select ID from "
                 "UFTSystem..EAP_Account where dsname='",
                 true},
                {"select a.name from UFTSystem..sysobjects as a inner join UFTSystem..syscolumns "
                 "as b on a.id=b.id where a.name='EAP_PeroidCarryForwarDate ' and "
                 "b.name='AccountID'",
                 "delete from UFTSystem..EAP_PeroidCarryForwarDate where AccountID in (select ID "
                 "from UFTSystem..EAP_Account where dsname='",
                 true},
            };
            for (const CleanUp& c : cleanUps) {
                if (!columnExists(S(c.check), conn))
                    continue;
                conn->execute(c.withName ? S(c.head) + name + S("')") : S(c.head));
            }
            // Last: the statements before it find the account through this row.
            conn->execute(S("delete UFTSystem..EAP_Account where DSName='") + name + S("'"));
        });
        if (!catalogue)
            return catalogue;
        if (catalogueRemoved)
            *catalogueRemoved = true;
    }

    if (!deleteDatabases)
        return Outcome::done();

    return attempt([&] {
        const QueryResult dbs = conn->query(
            S("select name,filename from master..sysdatabases where name='") + name + S("'"));
        dropListed(dbs, conn, hooks);
    });
}

} // namespace quenlor
