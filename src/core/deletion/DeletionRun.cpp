#include "core/deletion/DeletionRun.h"

#include "core/app/Environment.h"
#include "core/app/ProgramState.h"
#include "core/db/QueryHelpers.h"
#include "core/db/SqlText.h"
#include "core/deletion/Catalogue.h"
#include "core/deletion/DropDB.h"
#include "core/deletion/ProgressSink.h"
#include "core/deletion/RecordingDatabase.h"
#include "core/deletion/RunLog.h"
#include "core/deletion/ServiceControl.h"
#include "core/startup/Startup.h"

namespace quenlor {

namespace {

QString S(const char* utf8) {
    return QString::fromUtf8(utf8);
}

bool newerCatalogue() {
    return state().ProductSubType == UfCatalogue::NewerU8;
}

// The rows of one listing, typed.
template <typename Row> const Row& rowOf(const ListedRow& listed) {
    return std::get<Row>(listed.item);
}

// A T+ account number goes unquoted into "cast(cAcc_Num as int)=", so it must be a plain int.
bool isAccountNumber(const QString& text) {
    if (text.isEmpty() || text.size() > 9)
        return false;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

// The newer catalogue shows a year range "2012-2014"; the first year may not follow the last.
bool isValidYearRange(const QString& text) {
    if (text.size() != 9 || text[4] != u'-')
        return false;
    const QString first = text.left(4);
    const QString last = text.right(4);
    return isValidYear(first) && isValidYear(last) && first.toInt() <= last.toInt();
}

// How the summary of a run names a row.
QString rowLabel(const ListedRow& listed) {
    struct Label {
        QString operator()(const DatabaseRow& r) const { return S("数据库“%1”").arg(r.name); }
        QString operator()(const TplusRow& r) const {
            return r.number.isEmpty() ? S("数据库“%1”").arg(r.database)
                                      : S("账套[%1]%2").arg(r.number, r.name);
        }
        QString operator()(const AccountSetRow& r) const {
            return S("账套[%1]%2").arg(r.code, r.name);
        }
        QString operator()(const YearRow& r) const {
            return S("账套[%1]的%2年度").arg(r.code, r.years);
        }
    };
    return std::visit(Label{}, listed.item);
}

QString listingName(ListingKind kind) {
    switch (kind) {
    case ListingKind::Databases:
        return S("数据库");
    case ListingKind::TplusAccounts:
        return S("T+账套");
    case ListingKind::AccountSets:
        return S("账套");
    case ListingKind::Years:
        return S("年度");
    case ListingKind::None:
        break;
    }
    return {};
}

QString nameCondition(const QString& database) {
    return S("name='") + quoteLiteral(database) + S("'");
}

QString rowRefusal(int row, const char* what, const QString& value, const char* expected) {
    return S("第 %1 行的%2“%3”无效（应为%4），未删除任何内容。")
        .arg(row)
        .arg(S(what), value, S(expected));
}

} // namespace

// The dry run in hand: its recording connection over the master connection and what it saw so
// far.
struct DeletionRun::Dry {
    std::unique_ptr<RecordingDatabase> db;
    RunPreview preview;
    qsizetype rowStart = 0; // the first statement recorded for the row in hand

    void closeRow() {
        if (!preview.rows.isEmpty() && preview.rows.last().statements.isEmpty())
            preview.rows.last().statements = db->recorded().mid(rowStart);
    }
    void beginRow(const QString& label) {
        closeRow();
        preview.rows << RowPreview{label, {}, {}, {}, {}, {}};
        rowStart = db ? db->recorded().size() : 0;
    }
};

DeletionRun::~DeletionRun() = default;

RunPreview DeletionRun::dryRun(const ConfirmedSelection& selection, bool deleteDatabases,
                               bool backupHistory) {
    SilentProgress nobody;
    Dry dry;
    dry.preview.deleteDatabases = deleteDatabases;
    DeletionRun run(
        nobody, [](const ListedRow&) { return true; }, [] {});
    run.m_selection = selection;
    const QString why = selection.rows.isEmpty() ? S("请选择删除项目！") : run.refusal();
    if (!why.isEmpty()) {
        dry.preview.outcome = Outcome::failed(why);
        dry.preview.refused = true;
        return std::move(dry.preview);
    }
    run.DeleteDatabases = deleteDatabases;
    run.m_backupHistory = backupHistory;
    run.m_dry = &dry;
    run.course();
    dry.closeRow();
    if (!run.m_failure) {
        // Which row, and which of its reads, the server could not answer.
        QString text = run.m_failure.text();
        if (!run.m_failedRow.isEmpty())
            text = run.m_failedRow + S("：") + text;
        if (dry.db && !dry.db->failedRead().isEmpty())
            text += S("\n失败的查询：") + dry.db->failedRead();
        dry.preview.outcome = Outcome::failed(text, run.m_failure.number());
    }
    return std::move(dry.preview);
}

DeletionRun::DeletionRun(ProgressSink& progress, std::function<bool(const ListedRow&)> stillShown,
                         std::function<void()> reload, Starter start)
    : m_progress(progress), m_stillShown(std::move(stillShown)), m_reload(std::move(reload)),
      m_start(std::move(start)) {}

void DeletionRun::cmdConfirm_Click(const ConfirmedSelection& selection, bool deleteDatabasesChecked,
                                   bool backupHistoryChecked) {
    // The stop button's event processing must not start a second run inside this one.
    if (m_running)
        return;
    ProgramState& s = state();
    s.ErrorText.clear();
    if (selection.rows.isEmpty()) {
        s.msg().ShowMsg(MsgKind::Error, S("请选择删除项目！"));
        return;
    }
    if (selection.listing == ListingKind::None)
        return;
    // What the operator confirms is what the grid shows now; nothing runs on a bad row.
    m_selection = selection;
    if (const QString why = refusal(); !why.isEmpty()) {
        s.msg().ShowMsg(MsgKind::Error, why);
        return;
    }
    // A system database ticked by hand goes only once its name has been typed; one wrong or
    // empty answer calls off the whole run.
    if (m_selection.listing == ListingKind::Databases) {
        for (const ListedRow& r : m_selection.rows) {
            const QString& name = rowOf<DatabaseRow>(r).name;
            if (!isSystemDatabase(name))
                continue;
            const QString typed = s.msg().AskText(S("请输入数据库名以确认删除系统数据库：") + name);
            if (!sameDatabaseName(typed, name)) {
                s.msg().ShowMsg(
                    MsgKind::Notice,
                    typed.isEmpty()
                        ? S("未输入数据库名，已取消本次删除，未删除任何内容。")
                        : S("输入的数据库名与“%1”不符，已取消本次删除，未删除任何内容。")
                              .arg(name));
                return;
            }
        }
    }
    const QString question =
        deleteDatabasesChecked
            ? S("重要提示:数据库删除后将不可恢复，确认操作吗？")
            : S("将从系统管理中删除所选项目的记录（不删除数据库），确认操作吗？");
    if (s.msg().ShowMsg(MsgKind::Question, question) == MsgResult::No)
        return;
    DeleteDatabases = deleteDatabasesChecked;
    m_backupHistory = deleteDatabasesChecked && backupHistoryChecked;

    m_done = 0;
    m_handled = 0;
    m_doneRows.clear();
    m_refusedRows.clear();
    m_filesLeft.clear();
    m_historyFailed.clear();
    m_failedRow.clear();
    m_failure = Outcome::done();
    m_stopped = false;
    m_running = true;
    const auto work = [this] { m_reloadAfter = runRows(); };
    const auto done = [this] {
        m_running = false;
        // However the run ended, the grid shows what is on the server now.
        if (m_reloadAfter)
            m_reload();
        if (m_ended)
            m_ended();
    };
    if (!m_start) {
        work();
        done();
    } else if (!m_start(work, done)) {
        m_running = false;
    }
}

bool DeletionRun::runRows() {
    ProgramState& s = state();
    m_progress.runStarted();
    RunLog log;
    m_log = &log;
    QStringList rows;
    for (const ListedRow& r : m_selection.rows)
        rows << rowLabel(r);
    const QString user = qEnvironmentVariable("USERNAME", qEnvironmentVariable("USER"));
    log.write(
        S("开始：用户 %1，计算机 %2，服务器 %3，列表 %4，删除数据库 %5，删除备份历史 %6，项目 %7")
            .arg(user, GetLocalComputerName(), s.SqlServer, listingName(m_selection.listing),
                 DeleteDatabases ? S("是") : S("否"), m_backupHistory ? S("是") : S("否"),
                 rows.join(S("、"))));
    const bool ok = course();
    const int left = int(m_selection.rows.size()) - m_handled;
    log.write(S("结束：%1，已完成 %2 项，未删除 %3 项，未处理 %4 项%5")
                  .arg(m_stopped                ? S("已停止")
                       : !m_failedRow.isEmpty() ? S("失败")
                       : ok                     ? S("完成")
                                                : S("未开始"))
                  .arg(m_done)
                  .arg(m_refusedRows.size())
                  .arg(left)
                  .arg(m_failure ? QString() : S("：") + m_failure.text()));
    m_log = nullptr;
    m_logged.reset();
    m_progress.runEnded();
    // The log never stops a run; that it could not be kept is said once, after the outcome.
    const auto tellLog = [&] {
        if (!log.failure().isEmpty())
            s.msg().ShowMsg(MsgKind::Notice, log.failure() + S("。本次删除未完整记入运行日志。"));
    };

    if (ok && m_refusedRows.isEmpty() && m_filesLeft.isEmpty() && m_historyFailed.isEmpty()) {
        s.msg().ShowMsg(MsgKind::Notice, S("已成功删除！"));
    } else if (!m_failure && m_failedRow.isEmpty()) {
        // Refused before the first row (the task service would not stop): nothing changed.
        s.ErrorText = m_failure.text();
        s.msg().ShowMsg(MsgKind::Error, s.ErrorText);
        tellLog();
        return false;
    } else {
        if (!m_failedRow.isEmpty())
            s.ErrorText = m_failure.text();
        s.msg().ShowMsg(m_failedRow.isEmpty() ? MsgKind::Notice : MsgKind::Error, summary());
    }
    tellLog();
    return true;
}

bool DeletionRun::course() {
    // The task service holds the newer catalogue's databases open, so it is stopped while they
    // are dropped.
    const bool newer = newerCatalogue();
    bool serviceStopped = false;
    const auto stopTaskService = [&] {
        // A dry run only notes that the service would be stopped.
        if (m_dry) {
            m_dry->preview.stopsTaskService = true;
            return true;
        }
        const bool stopped = NetStopService(kTaskServiceName);
        if (m_log)
            m_log->write(
                S("服务：停止 %1，%2").arg(kTaskServiceName, stopped ? S("成功") : S("失败")));
        if (!stopped) {
            m_failure = Outcome::failed(S("未能停止U8TaskService服务操作中止"));
            return false;
        }
        serviceStopped = true;
        return true;
    };

    bool ok = false;
    // A connection lost since the listing is opened again first; else nothing is done.
    if (const Outcome reopened = ReopenLostConnections(); !reopened) {
        m_failure = reopened;
        return false;
    }
    m_conn = state().MasterConn.get();
    if (m_log && m_conn) {
        m_logged = std::make_unique<LoggingDatabase>(*m_conn, *m_log);
        m_conn = m_logged.get();
    }
    if (m_dry && m_conn) {
        m_dry->db = std::make_unique<RecordingDatabase>(*m_conn);
        m_conn = m_dry->db.get();
    }
    switch (m_selection.listing) {
    case ListingKind::AccountSets:
    case ListingKind::Years: {
        const bool serviceInstalled = ServiceExists(kTaskServiceName);
        if (newer && serviceInstalled && DeleteDatabases && !stopTaskService())
            break;
        ok = m_selection.listing == ListingKind::AccountSets
                 ? DeleteDB_UF()
                 : DeleteDB_UF_Year(m_selection.accountCode);
        break;
    }
    case ListingKind::TplusAccounts:
        ok = DeleteDB_TN();
        break;
    case ListingKind::Databases:
        // Without the service there is nothing to stop, and the databases can go all the same.
        if (newer && DeleteDatabases && ServiceExists(kTaskServiceName) && !stopTaskService())
            break;
        ok = DeleteDB_SQL();
        break;
    case ListingKind::None:
        break;
    }

    if (serviceStopped)
        restartTaskService();
    return ok;
}

QString DeletionRun::summary() const {
    const int left = int(m_selection.rows.size()) - m_handled;
    QStringList lines;
    if (m_stopped)
        lines << S("已停止：已完成 %1 项，其余 %2 项未处理。").arg(m_done).arg(left);
    else if (!m_failedRow.isEmpty())
        lines << S("删除未全部完成：已完成 %1 项，%2失败，其余 %3 项未处理。")
                     .arg(m_done)
                     .arg(m_failedRow)
                     .arg(left);
    else if (!m_refusedRows.isEmpty())
        lines << S("删除已结束：已完成 %1 项，%2 项未删除。").arg(m_done).arg(m_refusedRows.size());
    else
        lines << S("删除已结束：已完成 %1 项。").arg(m_done);
    if (!m_doneRows.isEmpty())
        lines << S("已完成：") + m_doneRows.join(S("、"));
    if (!m_refusedRows.isEmpty())
        lines << S("未删除（其数据库无法删除，该项未作任何更改）：") << m_refusedRows;
    if (!m_failedRow.isEmpty()) {
        lines << S("失败：") + m_failedRow + S("：") + m_failure.text();
        if (m_catalogueGone)
            lines << m_failedRow +
                         S("在系统管理中的记录已删除，但其数据库未能删除；这些数据库现显示为“"
                           "系统管理控制之外”，待其不再被占用后可在那里删除。");
    }
    QStringList leftRows;
    for (qsizetype i = m_handled; i < m_selection.rows.size(); ++i)
        leftRows << rowLabel(m_selection.rows[i]);
    if (!leftRows.isEmpty())
        lines << S("未处理：") + leftRows.join(S("、"));
    if (!m_historyFailed.isEmpty())
        lines << S("以下数据库已删除，但其备份和还原历史记录未能删除：") << m_historyFailed;
    if (!m_filesLeft.isEmpty())
        lines << S("以下数据库删除时处于脱机状态，服务器未删除其文件，这些文件仍在磁盘上：")
              << m_filesLeft;
    return lines.join(u'\n');
}

QString DeletionRun::refusal() const {
    if (!m_selection.matchesChoice)
        return S("列表与当前选择不一致，请刷新后再试，未删除任何内容。");
    switch (m_selection.listing) {
    case ListingKind::Databases:
        for (const ListedRow& r : m_selection.rows) {
            const QString& name = rowOf<DatabaseRow>(r).name;
            if (!isValidDatabaseName(name))
                return rowRefusal(r.row, "数据库名", name, " 1 至 128 个字符");
        }
        return {};
    case ListingKind::TplusAccounts:
        for (const ListedRow& r : m_selection.rows) {
            const TplusRow& account = rowOf<TplusRow>(r);
            if (!account.database.isEmpty() && !isValidDatabaseName(account.database))
                return rowRefusal(r.row, "数据库名", account.database, " 1 至 128 个字符");
            // Without a database name the account is found by its number.
            if (account.database.isEmpty() && !isAccountNumber(account.number))
                return S("第 %1 行没有数据库名，其账套号“%2”也无效（应为 1 至 9 "
                         "位数字），未删除任何内容。")
                    .arg(r.row)
                    .arg(account.number);
        }
        return {};
    case ListingKind::AccountSets:
        for (const ListedRow& r : m_selection.rows) {
            const QString& code = rowOf<AccountSetRow>(r).code;
            if (!isValidAccountCode(code))
                return rowRefusal(r.row, "账套号", code, " 3 位字母或数字");
        }
        return {};
    case ListingKind::Years: {
        const bool ranges = newerCatalogue();
        for (const ListedRow& r : m_selection.rows) {
            const YearRow& year = rowOf<YearRow>(r);
            if (!isValidAccountCode(year.code))
                return rowRefusal(r.row, "账套号", year.code, " 3 位字母或数字");
            if (ranges && !isValidYearRange(year.years))
                return rowRefusal(r.row, "年度", year.years,
                                  "“起始年度-结束年度”，两者均为 4 "
                                  "位数字且起始年度不大于结束年度");
            if (!ranges && !isValidYear(year.years))
                return rowRefusal(r.row, "年度", year.years, " 4 位数字");
        }
        // With every year ticked the whole account set goes, by the selected code.
        if (m_selection.everyRowTicked && !isValidAccountCode(m_selection.accountCode))
            return S("所选账套的账套号“%1”无效（应为 3 位字母或数字），未删除任何内容。")
                .arg(m_selection.accountCode);
        return {};
    }
    case ListingKind::None:
        break;
    }
    return {};
}

// --- Row routines ---

bool DeletionRun::DeleteDB_SQL() {
    Database* conn = m_conn;
    return walkRows<DatabaseRow>(
        [](const DatabaseRow& r) { return S("正在删除数据库：") + r.name; },
        [conn](const DatabaseRow& r) { return CheckDrops(nameCondition(r.name), r.name, conn); },
        [this, conn](const DatabaseRow& r) {
            // The row's report line names its database already.
            return DropWithHooks(r.name, conn, hooks(false));
        });
}

bool DeletionRun::DeleteDB_TN() {
    return walkRows<TplusRow>(
        [](const TplusRow& r) {
            if (r.number.isEmpty())
                return S("正在删除数据库：") + r.database;
            return S("正在删除账套：[") + r.number + S("]") + r.name;
        },
        [this](const TplusRow& r) {
            const Read<QString> name = tplusDatabase(r);
            if (!name.outcome)
                return DropCheck{S("无法读取其数据库名：") + name.outcome.text(), {}};
            // A database already gone leaves only the catalogue's rows to remove.
            return name.value.isEmpty() ? DropCheck{}
                                        : CheckDrops(nameCondition(name.value), QString(), m_conn);
        },
        [this](const TplusRow& r) { return deleteTplusRow(r); });
}

bool DeletionRun::DeleteDB_UF() {
    Database* conn = m_conn;
    return walkRows<AccountSetRow>(
        [](const AccountSetRow& r) { return S("正在删除账套:[") + r.code + S("]") + r.name; },
        [conn](const AccountSetRow& r) {
            return CheckDrops(accountSetDatabases(r.code), QString(), conn);
        },
        [this, conn](const AccountSetRow& r) {
            return DeleteAcc_UF(r.code, conn, DeleteDatabases, &m_catalogueGone, hooks());
        });
}

bool DeletionRun::DeleteDB_UF_Year(const QString& accountCode) {
    Database* conn = m_conn;
    if (!m_selection.everyRowTicked) {
        const bool ranges = newerCatalogue();
        return walkRows<YearRow>(
            [](const YearRow& r) { return S("正在删除年度:") + r.years + S("年"); },
            [conn, ranges](const YearRow& r) {
                QStringList years;
                const int first = r.years.left(4).toInt();
                const int last = ranges ? r.years.right(4).toInt() : first;
                for (int y = first; y <= last; ++y)
                    years << yearDatabases(r.code, QString::number(y));
                return CheckDrops(years.join(S(" or ")), QString(), conn);
            },
            [this](const YearRow& r) { return deleteYearRow(r); });
    }

    // Every year ticked: the account set itself goes, as one row.
    m_progress.showProgress(1);
    const auto end = [&](bool done) {
        m_progress.hideProgress();
        return done;
    };
    for (const ListedRow& r : m_selection.rows) {
        if (!stillShown(r))
            return end(false);
    }
    const QString label =
        S("账套[%1]%2").arg(accountCode, rowOf<YearRow>(m_selection.rows.value(0)).name);
    if (m_dry)
        m_dry->beginRow(label);
    if (DeleteDatabases) {
        const DropCheck check = CheckDrops(accountSetDatabases(accountCode), QString(), conn);
        if (!check.refusal.isEmpty()) {
            if (m_dry)
                m_dry->preview.rows.last().refusal = check.refusal;
            m_refusedRows << label + S("：") + check.refusal;
            m_handled = int(m_selection.rows.size());
            return end(false);
        }
        m_filesLeft << check.filesLeft;
    }
    m_rowReport =
        S("正在删除账套:[") + accountCode + S("]") + rowOf<YearRow>(m_selection.rows.value(0)).name;
    m_progress.setReport(m_rowReport);
    m_catalogueGone = false;
    m_failure = DeleteAcc_UF(accountCode, conn, DeleteDatabases, &m_catalogueGone, hooks());
    m_handled = int(m_selection.rows.size());
    if (!m_failure) {
        m_failedRow = label;
        return end(false);
    }
    m_progress.setProgressValue(1);
    m_done = int(m_selection.rows.size());
    m_doneRows << label;
    return end(true);
}

template <typename Row>
bool DeletionRun::walkRows(const std::function<QString(const Row&)>& caption,
                           const std::function<DropCheck(const Row&)>& check,
                           const std::function<Outcome(const Row&)>& work) {
    const QList<ListedRow>& rows = m_selection.rows;
    m_progress.showProgress(int(rows.size()));
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const ListedRow& r = rows[i];
        ++m_handled;
        if (!stillShown(r)) {
            m_failedRow = rowLabel(r);
            break;
        }
        if (m_dry)
            m_dry->beginRow(rowLabel(r));
        m_rowReport =
            caption(rowOf<Row>(r)) + S("，第 %1 个，共 %2 个").arg(i + 1).arg(rows.size());
        m_progress.setReport(m_rowReport);
        const qsizetype filesBefore = m_filesLeft.size();
        if (!DeleteDatabases || rowMayGo(r, check(rowOf<Row>(r)))) {
            m_catalogueGone = false;
            m_failure = work(rowOf<Row>(r));
            if (!m_failure) {
                m_failedRow = rowLabel(r);
                // The files noted for this row may belong to databases that are still there.
                m_filesLeft.resize(filesBefore);
                break;
            }
            ++m_done;
            m_doneRows << rowLabel(r);
        }
        m_progress.setProgressValue(m_handled);
        // The operator may stop between rows; the row in hand is always finished.
        if (i + 1 < rows.size() && m_progress.stopRequested()) {
            m_stopped = true;
            break;
        }
    }
    m_progress.hideProgress();
    return m_done == int(rows.size());
}

bool DeletionRun::rowMayGo(const ListedRow& row, const DropCheck& check) {
    if (!check.refusal.isEmpty()) {
        // A database row's refusal names the row already.
        const QString label = rowLabel(row);
        if (m_dry)
            m_dry->preview.rows.last().refusal = check.refusal;
        m_refusedRows << (check.refusal.startsWith(label) ? check.refusal
                                                          : label + S("：") + check.refusal);
        return false;
    }
    m_filesLeft << check.filesLeft;
    return true;
}

bool DeletionRun::stillShown(const ListedRow& confirmed) {
    const bool same = m_stillShown(confirmed);
    if (!same)
        m_failure = Outcome::failed(
            S("列表在删除过程中已改变（第 %1 行），其余项目未处理。").arg(confirmed.row));
    return same;
}

Read<QString> DeletionRun::tplusDatabase(const TplusRow& row) {
    if (!row.database.isEmpty())
        return {row.database, Outcome::done()};
    // An account whose database is missing: the catalogue still knows its database name.
    // The number was checked to be digits only before the run started.
    const Read<QVariant> found = LookupValue(S("dsname"), S("uftsystem..EAP_Account"),
                                             S("cast(cAcc_Num as int)=") + row.number, m_conn);
    return {NullToStr(found.value), found.outcome};
}

Outcome DeletionRun::deleteTplusRow(const TplusRow& row) {
    const Read<QString> name = tplusDatabase(row);
    if (!name.outcome)
        return name.outcome;
    // An empty name matches nothing in the catalogue or on the server: the row is simply done.
    return DeleteAcc_TN(name.value, m_conn, DeleteDatabases, &m_catalogueGone, hooks());
}

Outcome DeletionRun::deleteYearRow(const YearRow& row) {
    Database* conn = m_conn;
    const QString& code = row.code;
    const QString& year = row.years;
    if (!newerCatalogue())
        return DeleteYear_UF(code, year, conn, DeleteDatabases, hooks());
    // A range row of the newer catalogue: each of its years, oldest first.
    const int first = year.left(4).toInt();
    const int last = year.right(4).toInt();
    for (int y = first; y <= last; ++y) {
        if (const Outcome done =
                DeleteYear_UF(code, QString::number(y), conn, DeleteDatabases, hooks());
            !done)
            return done;
    }
    return Outcome::done();
}

DropHooks DeletionRun::hooks(bool reportDrops) {
    DropHooks h;
    h.dropping = [this, reportDrops](const QString& database) {
        if (m_dry)
            m_dry->preview.rows.last().databases << DatabaseEffect{database, {}, -1, -1, -1};
        if (reportDrops)
            m_progress.setReport(m_rowReport + S("，数据库 ") + database);
    };
    if (m_dry)
        h.removeFolder = [this](const QString& filePath) {
            const QString folder = ContainingFolder(filePath);
            QStringList& folders = m_dry->preview.rows.last().folders;
            if (!folder.isEmpty() && !folders.contains(folder))
                folders << folder;
        };
    h.backupHistory = m_backupHistory;
    h.historyFailed = [this](const QString& database, const Outcome& failure) {
        m_historyFailed << S("数据库“%1”：%2").arg(database, failure.text());
    };
    return h;
}

void DeletionRun::restartTaskService() {
    // Whether it came back is not the run's concern: the deletion itself is over.
    const bool started = NetStartService(kTaskServiceName);
    if (m_log)
        m_log->write(S("服务：启动 %1，%2").arg(kTaskServiceName, started ? S("成功") : S("失败")));
}

} // namespace quenlor
