#include "core/deletion/PreviewEffects.h"

#include "core/app/ProgramState.h"
#include "core/db/QueryHelpers.h"
#include "core/db/SqlText.h"
#include "core/deletion/DeletionRun.h"
#include "core/deletion/RecordingDatabase.h"
#include "platform/Database.h"

#include <QHash>
#include <QRegularExpression>

namespace quenlor {

namespace {

QString S(const char* utf8) {
    return QString::fromUtf8(utf8);
}

qint64 number(const QueryResult& result, const QList<QVariant>& row, const char* column) {
    const QVariant value = row.value(result.columnIndex(S(column)));
    bool ok = false;
    const qint64 n = value.toLongLong(&ok);
    return value.isNull() || !ok ? -1 : n;
}

// One query over every database the run would drop: its state, its data and log files' sizes
// (kilobytes; the server counts 8 KB pages) and the connections other than this one.
QString describeDatabases(const QStringList& names) {
    QStringList literals;
    for (const QString& name : names)
        literals << S("N'") + quoteLiteral(name) + S("'");
    // The 2000 family has no sys views: its files are in sysaltfiles, the log's group being 0.
    const bool old = isSql2000Family(state().ServerMajorVersion);
    const QString files = old ? S("master..sysaltfiles as f where f.dbid=d.dbid and f.groupid")
                              : S("sys.master_files as f where f.database_id=d.dbid and f.type");
    return S("select d.name,DATABASEPROPERTYEX(d.name,'Status') as state,"
             "(select sum(cast(f.size as bigint))*8 from ") +
           files + (old ? S("<>0") : S("<>1")) +
           S(") as data_kb,(select sum(cast(f.size as bigint))*8 from ") + files +
           (old ? S("=0") : S("=1")) +
           S(") as log_kb,(select count(*) from master..sysprocesses as p where p.dbid=d.dbid "
             "and p.spid<>@@spid) as others from master..sysdatabases as d where d.name in (") +
           literals.join(u',') + S(")");
}

// A table as a key: "UFSystem..[ua_task]" and "ufsystem..UA_Task" are one table.
QString tableKey(QString table) {
    return table.remove(u'[').remove(u']').toLower();
}

// The rows the run's earlier deletes reach, by table.
class Removed {
public:
    void add(const QString& table, const QString& condition) {
        m_conditions[table] << S("(") + condition + S(")");
    }
    // " and <not removed>" for a table the run deleted from; a row whose condition is unknown
    // (NULL) is kept, as the delete keeps it.
    [[nodiscard]] QString keptOf(const QString& table) const {
        const QStringList c = m_conditions.value(table);
        return c.isEmpty() ? QString()
                           : S(" and case when ") + c.join(S(" or ")) + S(" then 0 else 1 end=1");
    }
    // The condition with each subquery over a whole table the run deleted from narrowed to the
    // rows still there: "(select x from T)" reads "(select x from T where <not removed>)".
    [[nodiscard]] QString asFoundThen(QString condition) const {
        static const QRegularExpression whole(
            S(R"(\bfrom\s+((?:[^\s\[\)]|\[(?:[^\]]|\]\])*\])+)\s*\))"),
            QRegularExpression::CaseInsensitiveOption);
        qsizetype at = 0;
        QRegularExpressionMatch m;
        while ((m = whole.match(condition, at)).hasMatch()) {
            const QString kept = keptOf(tableKey(m.captured(1)));
            const QString replaced =
                kept.isEmpty() ? m.captured(0)
                               : S("from ") + m.captured(1) + S(" where 1=1") + kept + S(")");
            condition.replace(m.capturedStart(), m.capturedLength(), replaced);
            at = m.capturedStart() + replaced.size();
        }
        return condition;
    }

private:
    QHash<QString, QStringList> m_conditions;
};

} // namespace

CatalogueTarget TargetOf(const QString& statement) {
    // The table is one word, brackets and all; the condition is the rest of the statement.
    static const QRegularExpression plain(
        S(R"(^(?:delete(?:\s+from)?|update)\s+((?:[^\s\[]|\[(?:[^\]]|\]\])*\])+))"
          R"((?:\s+set\s.*?)?\s+where\s(.*)$)"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch m = plain.match(statement);
    if (!m.hasMatch())
        return {};
    return {m.captured(1), m.captured(2)};
}

RunPreview PreviewRun(const ConfirmedSelection& selection, bool deleteDatabases,
                      bool backupHistory) {
    RunPreview preview = DeletionRun::dryRun(selection, deleteDatabases, backupHistory);
    if (preview.outcome)
        preview.outcome = DescribeEffects(preview, state().MasterConn.get());
    return preview;
}

Outcome DescribeEffects(RunPreview& preview, Database* conn) {
    if (!conn)
        return Outcome::failed(S("数据库连接未打开，无法预览。"));
    // Reads only, whatever is built here.
    RecordingDatabase reads(*conn);
    QString asking;
    try {
        QStringList names;
        for (const RowPreview& row : preview.rows) {
            for (const DatabaseEffect& db : row.databases)
                names << db.name;
        }
        if (!names.isEmpty()) {
            asking = describeDatabases(names);
            const QueryResult found = reads.query(asking);
            QHash<QString, const QList<QVariant>*> byName;
            for (const QList<QVariant>& r : found.rows)
                byName.insert(NullToStr(r.value(found.columnIndex(S("name")))), &r);
            for (RowPreview& row : preview.rows) {
                for (DatabaseEffect& db : row.databases) {
                    const QList<QVariant>* r = byName.value(db.name);
                    if (!r)
                        continue;
                    db.state = NullToStr(r->value(found.columnIndex(S("state"))));
                    db.dataKb = number(found, *r, "data_kb");
                    db.logKb = number(found, *r, "log_kb");
                    db.otherConnections = int(number(found, *r, "others"));
                }
            }
        }
        // Where the preview must assume: the counts are taken before anything changes, yet a
        // statement may reach rows an earlier one of the run leaves behind (the plans left
        // without an account) or that an earlier one removes already. Each count therefore
        // reads the tables as the run would find them, leaving out the rows the run's earlier
        // deletes reach.
        Removed removed;
        for (RowPreview& row : preview.rows) {
            for (const QString& statement : row.statements) {
                const CatalogueTarget target = TargetOf(statement);
                if (target.table.isEmpty())
                    continue;
                const QString condition = removed.asFoundThen(target.condition);
                asking = S("select count(*) as n from ") + target.table + S(" where (") +
                         condition + S(")") + removed.keptOf(tableKey(target.table));
                const QueryResult n = reads.query(asking);
                row.catalogue << CatalogueEffect{target.table,
                                                 n.isEmpty() ? -1 : number(n, n.rows.first(), "n")};
                if (!statement.startsWith(S("update"), Qt::CaseInsensitive))
                    removed.add(tableKey(target.table), condition);
            }
        }
    } catch (const DbError& e) {
        return Outcome::failed(e.description + S("\n失败的查询：") + asking, e.number);
    }
    return Outcome::done();
}

} // namespace quenlor
