#include "core/deletion/DeletionRun.h"

#include "core/app/ProgramState.h"
#include "core/db/QueryHelpers.h"
#include "core/deletion/Catalogue.h"
#include "core/deletion/DropDB.h"
#include "core/deletion/ProgressSink.h"
#include "core/deletion/ServiceControl.h"
#include "core/listing/MainListing.h"

namespace quenlor {

namespace {

QString S(const char* utf8) {
    return QString::fromUtf8(utf8);
}

const QString kAllAccounts = S("全部");
const QString kNewerCatalogue = S("U8N");

// Column counts of the four listings; a grid of another shape is not the listing the run expects.
constexpr int kDatabaseColumns = 4;
constexpr int kTplusColumns = 7;
constexpr int kAccountSetColumns = 4;
constexpr int kYearColumns = 6;

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

DeletionRun::DeletionRun(MainListing& listing, ProgressSink& progress, std::function<void()> reload)
    : m_listing(listing), m_progress(progress), m_reload(std::move(reload)) {}

void DeletionRun::cmdConfirm_Click(const QString& accountText, bool deleteDatabasesChecked) {
    // The stop button's event processing must not start a second run inside this one.
    if (m_running)
        return;
    ProgramState& s = state();
    s.ErrorText.clear();
    if (!m_listing.HasTicked()) {
        s.msg().ShowMsg(MsgKind::Error, S("请选择删除项目！"));
        return;
    }
    const Listing listing = listingFor(accountText);
    if (listing == Listing::None)
        return;
    // What the operator confirms is what the grid shows now; nothing runs on a bad row.
    m_rows = tickedRows();
    if (const QString why = refusal(listing, accountText); !why.isEmpty()) {
        s.msg().ShowMsg(MsgKind::Error, why);
        return;
    }
    if (s.msg().ShowMsg(MsgKind::Question, S("重要提示:数据库删除后将不可恢复，确认操作吗？")) ==
        MsgResult::No)
        return;
    DeleteDatabases = deleteDatabasesChecked;

    m_done = 0;
    m_stopped = false;
    m_running = true;
    m_progress.runStarted();

    // The task service holds the newer catalogue's databases open, so it is stopped while they
    // are dropped.
    const bool newerCatalogue = s.ProductSubType == kNewerCatalogue;
    bool serviceStopped = false;
    const auto stopTaskService = [&] {
        if (!NetStopService(kTaskServiceName)) {
            s.ErrorText = S("未能停止U8TaskService服务操作中止");
            return false;
        }
        serviceStopped = true;
        return true;
    };

    bool ok = false;
    switch (listing) {
    case Listing::AccountSets:
    case Listing::Years: {
        const bool serviceInstalled = ServiceExists(kTaskServiceName);
        if (newerCatalogue && serviceInstalled && DeleteDatabases && !stopTaskService())
            break;
        // A failed look at the service manager is not the run's failure.
        s.ErrorText.clear();
        ok = listing == Listing::AccountSets ? DeleteDB_UF()
                                             : DeleteDB_UF_Year(m_listing.CurrentAcc);
        break;
    }
    case Listing::TplusAccounts:
        ok = DeleteDB_TN();
        break;
    case Listing::Databases:
        // Without the service there is nothing to stop, and the databases can go all the same.
        if (newerCatalogue && DeleteDatabases && ServiceExists(kTaskServiceName) &&
            !stopTaskService())
            break;
        s.ErrorText.clear();
        ok = DeleteDB_SQL();
        break;
    case Listing::None:
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
        const int left = int(m_rows.size()) - m_done;
        s.msg().ShowMsg(MsgKind::Notice,
                        S("已停止：已完成 %1 项，其余 %2 项未处理。").arg(m_done).arg(left));
        // The rows that were done are gone; the grid must not keep showing them.
        m_reload();
    } else if (!s.ErrorText.isEmpty()) {
        s.msg().ShowMsg(MsgKind::Error, s.ErrorText);
    }
}

DeletionRun::Listing DeletionRun::listingFor(const QString& accountText) const {
    const QString& type = m_listing.CurrentType;
    if (MainListing::isUfProduct(type))
        return accountText == kAllAccounts ? Listing::AccountSets : Listing::Years;
    if (type == QLatin1String("T+"))
        return Listing::TplusAccounts;
    if (type == QLatin1String("SQL"))
        return Listing::Databases;
    return Listing::None;
}

QList<DeletionRun::TickedRow> DeletionRun::tickedRows() const {
    const GridModel& grid = m_listing.grid();
    QList<TickedRow> rows;
    const int last = grid.Rows();
    for (int row = 1; row < last; ++row) {
        if (grid.TextMatrix(row, 0) != kTickMark)
            continue;
        TickedRow ticked{row, {}};
        for (int col = 0; col < grid.Cols(); ++col)
            ticked.cells.append(grid.TextMatrix(row, col));
        rows.append(std::move(ticked));
    }
    return rows;
}

bool DeletionRun::everyRowTicked() const {
    const GridModel& grid = m_listing.grid();
    for (int row = 1; row < grid.Rows(); ++row) {
        if (grid.TextMatrix(row, 0) != kTickMark)
            return false;
    }
    return true;
}

QString DeletionRun::refusal(Listing listing, const QString& accountText) const {
    const QString mismatch = S("列表与当前选择不一致，请刷新后再试，未删除任何内容。");
    const int columns = m_listing.grid().Cols();
    switch (listing) {
    case Listing::Databases:
        if (columns != kDatabaseColumns)
            return mismatch;
        for (const TickedRow& r : m_rows) {
            if (!isValidDatabaseName(r.cells.value(1)))
                return rowRefusal(r.row, "数据库名", r.cells.value(1), " 1 至 128 个字符");
        }
        return {};
    case Listing::TplusAccounts:
        if (columns != kTplusColumns)
            return mismatch;
        for (const TickedRow& r : m_rows) {
            const QString name = r.cells.value(1);
            const QString number = r.cells.value(2);
            if (!name.isEmpty() && !isValidDatabaseName(name))
                return rowRefusal(r.row, "数据库名", name, " 1 至 128 个字符");
            // Without a database name the account is found by its number.
            if (name.isEmpty() && !isAccountNumber(number))
                return S("第 %1 行没有数据库名，其账套号“%2”也无效（应为 1 至 9 "
                         "位数字），未删除任何内容。")
                    .arg(r.row)
                    .arg(number);
        }
        return {};
    case Listing::AccountSets:
        if (columns != kAccountSetColumns)
            return mismatch;
        for (const TickedRow& r : m_rows) {
            if (!isValidAccountCode(r.cells.value(1)))
                return rowRefusal(r.row, "账套号", r.cells.value(1), " 3 位字母或数字");
        }
        return {};
    case Listing::Years: {
        if (columns != kYearColumns || m_listing.CurrentAcc != accountText.mid(1, 3))
            return mismatch;
        const bool ranges = state().ProductSubType == kNewerCatalogue;
        for (const TickedRow& r : m_rows) {
            const QString code = r.cells.value(1);
            const QString year = r.cells.value(3);
            if (!isValidAccountCode(code))
                return rowRefusal(r.row, "账套号", code, " 3 位字母或数字");
            if (ranges && !isValidYearRange(year))
                return rowRefusal(r.row, "年度", year,
                                  "“起始年度-结束年度”，两者均为 4 "
                                  "位数字且起始年度不大于结束年度");
            if (!ranges && !isValidYear(year))
                return rowRefusal(r.row, "年度", year, " 4 位数字");
        }
        // With every year ticked the whole account set goes, by the selected code.
        if (everyRowTicked() && !isValidAccountCode(m_listing.CurrentAcc))
            return S("所选账套的账套号“%1”无效（应为 3 位字母或数字），未删除任何内容。")
                .arg(m_listing.CurrentAcc);
        return {};
    }
    case Listing::None:
        break;
    }
    return {};
}

// --- Row routines ---

bool DeletionRun::DeleteDB_SQL() {
    Database* conn = state().MasterConn.get();
    return walkRows([](const QStringList& c) { return S("正在删除数据库：") + c.value(1); },
                    [conn](const QStringList& c) { return DropDB(c.value(1), conn); });
}

bool DeletionRun::DeleteDB_TN() {
    return walkRows(
        [](const QStringList& c) {
            if (c.value(2).isEmpty())
                return S("正在删除数据库：") + c.value(1);
            return S("正在删除账套：[") + c.value(2) + S("]") + c.value(3);
        },
        [this](const QStringList& c) { return deleteTplusRow(c); });
}

bool DeletionRun::DeleteDB_UF() {
    Database* conn = state().MasterConn.get();
    return walkRows(
        [](const QStringList& c) { return S("正在删除账套:[") + c.value(1) + S("]") + c.value(2); },
        [this, conn](const QStringList& c) {
            return DeleteAcc_UF(c.value(1), conn, DeleteDatabases);
        });
}

bool DeletionRun::DeleteDB_UF_Year(const QString& accountCode) {
    if (!everyRowTicked()) {
        return walkRows(
            [](const QStringList& c) { return S("正在删除年度:") + c.value(3) + S("年"); },
            [this](const QStringList& c) { return deleteYearRow(c); });
    }

    // Every year ticked: the account set itself goes.
    m_progress.showProgress(1);
    for (const TickedRow& r : m_rows) {
        if (!stillShown(r)) {
            m_progress.hideProgress();
            return false;
        }
    }
    m_progress.setReport(S("正在删除账套:[") + accountCode + S("]") +
                         m_rows.value(0).cells.value(2));
    if (!DeleteAcc_UF(accountCode, state().MasterConn.get(), DeleteDatabases)) {
        m_progress.hideProgress();
        return false;
    }
    m_progress.setProgressValue(1);
    m_done = int(m_rows.size());
    m_progress.hideProgress();
    return true;
}

bool DeletionRun::walkRows(const std::function<QString(const QStringList&)>& caption,
                           const std::function<bool(const QStringList&)>& work) {
    m_progress.showProgress(int(m_rows.size()));
    int value = 0;
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        const TickedRow& r = m_rows[i];
        if (!stillShown(r))
            break;
        m_progress.setReport(caption(r.cells));
        if (!work(r.cells))
            break;
        m_progress.setProgressValue(++value);
        ++m_done;
        // The operator may stop between rows; the row in hand is always finished.
        if (i + 1 < m_rows.size() && m_progress.stopRequested()) {
            m_stopped = true;
            break;
        }
    }
    m_progress.hideProgress();
    return m_done == int(m_rows.size());
}

bool DeletionRun::stillShown(const TickedRow& ticked) {
    const GridModel& grid = m_listing.grid();
    bool same = ticked.row < grid.Rows() && grid.Cols() == ticked.cells.size();
    for (int col = 0; same && col < grid.Cols(); ++col)
        same = grid.TextMatrix(ticked.row, col) == ticked.cells[col];
    if (!same)
        state().ErrorText =
            S("列表在删除过程中已改变（第 %1 行），其余项目未处理。").arg(ticked.row);
    return same;
}

bool DeletionRun::deleteTplusRow(const QStringList& cells) {
    ProgramState& s = state();
    Database* conn = s.MasterConn.get();
    QString name = cells.value(1);
    if (name.isEmpty()) {
        // An account whose database is missing: the catalogue still knows its database name.
        // The number was checked to be digits only before the run started.
        name = NullToStr(LookupValue(S("dsname"), S("uftsystem..EAP_Account"),
                                     S("cast(cAcc_Num as int)=") + cells.value(2), conn));
        if (!s.ErrorText.isEmpty())
            return false;
    }
    // An empty name matches nothing in the catalogue or on the server: the row is simply done.
    return DeleteAcc_TN(name, conn, DeleteDatabases);
}

bool DeletionRun::deleteYearRow(const QStringList& cells) {
    Database* conn = state().MasterConn.get();
    const QString code = cells.value(1);
    const QString year = cells.value(3);
    if (state().ProductSubType != kNewerCatalogue)
        return DeleteYear_UF(code, year, conn, DeleteDatabases);
    // A range row of the newer catalogue: each of its years, oldest first.
    const int first = year.left(4).toInt();
    const int last = year.right(4).toInt();
    for (int y = first; y <= last; ++y) {
        if (!DeleteYear_UF(code, QString::number(y), conn, DeleteDatabases))
            return false;
    }
    return true;
}

void DeletionRun::restartTaskService() {
    // Starting the service may write ErrorText; the operator must see the run's own failure.
    ProgramState& s = state();
    const QString failure = s.ErrorText;
    // Whether it came back is not the run's concern: the deletion itself is over.
    (void)NetStartService(kTaskServiceName);
    s.ErrorText = failure;
}

} // namespace quenlor
