#include "core/deletion/DeletionRun.h"

#include "core/app/ProgramState.h"
#include "core/db/QueryHelpers.h"
#include "core/deletion/Catalogue.h"
#include "core/deletion/DropDB.h"
#include "core/deletion/ProgressSink.h"
#include "core/deletion/ServiceControl.h"

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

QString rowRefusal(int row, const char* what, const QString& value, const char* expected) {
    return S("第 %1 行的%2“%3”无效（应为%4），未删除任何内容。")
        .arg(row)
        .arg(S(what), value, S(expected));
}

} // namespace

DeletionRun::DeletionRun(ProgressSink& progress, std::function<bool(const ListedRow&)> stillShown,
                         std::function<void()> reload)
    : m_progress(progress), m_stillShown(std::move(stillShown)), m_reload(std::move(reload)) {}

void DeletionRun::cmdConfirm_Click(const ConfirmedSelection& selection,
                                   bool deleteDatabasesChecked) {
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
    if (s.msg().ShowMsg(MsgKind::Question, S("重要提示:数据库删除后将不可恢复，确认操作吗？")) ==
        MsgResult::No)
        return;
    DeleteDatabases = deleteDatabasesChecked;

    m_done = 0;
    m_failure = Outcome::done();
    m_stopped = false;
    m_running = true;
    m_progress.runStarted();

    // The task service holds the newer catalogue's databases open, so it is stopped while they
    // are dropped.
    const bool newer = newerCatalogue();
    bool serviceStopped = false;
    const auto stopTaskService = [&] {
        if (!NetStopService(kTaskServiceName)) {
            m_failure = Outcome::failed(S("未能停止U8TaskService服务操作中止"));
            return false;
        }
        serviceStopped = true;
        return true;
    };

    bool ok = false;
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
    m_running = false;
    m_progress.runEnded();

    if (ok) {
        s.msg().ShowMsg(MsgKind::Notice, S("已成功删除！"));
        m_reload();
    } else if (m_stopped) {
        const int left = int(m_selection.rows.size()) - m_done;
        s.msg().ShowMsg(MsgKind::Notice,
                        S("已停止：已完成 %1 项，其余 %2 项未处理。").arg(m_done).arg(left));
        // The rows that were done are gone; the grid must not keep showing them.
        m_reload();
    } else {
        s.ErrorText = m_failure.text();
        if (!s.ErrorText.isEmpty())
            s.msg().ShowMsg(MsgKind::Error, s.ErrorText);
    }
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
    Database* conn = state().MasterConn.get();
    return walkRows<DatabaseRow>(
        [](const DatabaseRow& r) { return S("正在删除数据库：") + r.name; },
        [conn](const DatabaseRow& r) { return DropDB(r.name, conn); });
}

bool DeletionRun::DeleteDB_TN() {
    return walkRows<TplusRow>(
        [](const TplusRow& r) {
            if (r.number.isEmpty())
                return S("正在删除数据库：") + r.database;
            return S("正在删除账套：[") + r.number + S("]") + r.name;
        },
        [this](const TplusRow& r) { return deleteTplusRow(r); });
}

bool DeletionRun::DeleteDB_UF() {
    Database* conn = state().MasterConn.get();
    return walkRows<AccountSetRow>(
        [](const AccountSetRow& r) { return S("正在删除账套:[") + r.code + S("]") + r.name; },
        [this, conn](const AccountSetRow& r) {
            return DeleteAcc_UF(r.code, conn, DeleteDatabases);
        });
}

bool DeletionRun::DeleteDB_UF_Year(const QString& accountCode) {
    if (!m_selection.everyRowTicked) {
        return walkRows<YearRow>(
            [](const YearRow& r) { return S("正在删除年度:") + r.years + S("年"); },
            [this](const YearRow& r) { return deleteYearRow(r); });
    }

    // Every year ticked: the account set itself goes.
    m_progress.showProgress(1);
    for (const ListedRow& r : m_selection.rows) {
        if (!stillShown(r)) {
            m_progress.hideProgress();
            return false;
        }
    }
    m_progress.setReport(S("正在删除账套:[") + accountCode + S("]") +
                         rowOf<YearRow>(m_selection.rows.value(0)).name);
    m_failure = DeleteAcc_UF(accountCode, state().MasterConn.get(), DeleteDatabases);
    if (!m_failure) {
        m_progress.hideProgress();
        return false;
    }
    m_progress.setProgressValue(1);
    m_done = int(m_selection.rows.size());
    m_progress.hideProgress();
    return true;
}

template <typename Row>
bool DeletionRun::walkRows(const std::function<QString(const Row&)>& caption,
                           const std::function<Outcome(const Row&)>& work) {
    const QList<ListedRow>& rows = m_selection.rows;
    m_progress.showProgress(int(rows.size()));
    int value = 0;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const ListedRow& r = rows[i];
        if (!stillShown(r))
            break;
        m_progress.setReport(caption(rowOf<Row>(r)));
        m_failure = work(rowOf<Row>(r));
        if (!m_failure)
            break;
        m_progress.setProgressValue(++value);
        ++m_done;
        // The operator may stop between rows; the row in hand is always finished.
        if (i + 1 < rows.size() && m_progress.stopRequested()) {
            m_stopped = true;
            break;
        }
    }
    m_progress.hideProgress();
    return m_done == int(rows.size());
}

bool DeletionRun::stillShown(const ListedRow& confirmed) {
    const bool same = m_stillShown(confirmed);
    if (!same)
        m_failure = Outcome::failed(
            S("列表在删除过程中已改变（第 %1 行），其余项目未处理。").arg(confirmed.row));
    return same;
}

Outcome DeletionRun::deleteTplusRow(const TplusRow& row) {
    Database* conn = state().MasterConn.get();
    QString name = row.database;
    if (name.isEmpty()) {
        // An account whose database is missing: the catalogue still knows its database name.
        // The number was checked to be digits only before the run started.
        const Read<QVariant> found = LookupValue(S("dsname"), S("uftsystem..EAP_Account"),
                                                 S("cast(cAcc_Num as int)=") + row.number, conn);
        if (!found.outcome)
            return found.outcome;
        name = NullToStr(found.value);
    }
    // An empty name matches nothing in the catalogue or on the server: the row is simply done.
    return DeleteAcc_TN(name, conn, DeleteDatabases);
}

Outcome DeletionRun::deleteYearRow(const YearRow& row) {
    Database* conn = state().MasterConn.get();
    const QString& code = row.code;
    const QString& year = row.years;
    if (!newerCatalogue())
        return DeleteYear_UF(code, year, conn, DeleteDatabases);
    // A range row of the newer catalogue: each of its years, oldest first.
    const int first = year.left(4).toInt();
    const int last = year.right(4).toInt();
    for (int y = first; y <= last; ++y) {
        if (const Outcome done = DeleteYear_UF(code, QString::number(y), conn, DeleteDatabases);
            !done)
            return done;
    }
    return Outcome::done();
}

void DeletionRun::restartTaskService() {
    // Whether it came back is not the run's concern: the deletion itself is over.
    (void)NetStartService(kTaskServiceName);
}

} // namespace quenlor
