#include "core/listing/MainListing.h"

#include "core/app/ProgramState.h"
#include "core/db/QueryHelpers.h"
#include "core/db/SqlText.h"
#include "core/login/clsUFLogin.h"
#include "core/startup/Startup.h"
#include "platform/Database.h"

namespace quenlor {

namespace {

// The statements of the four listings, piece by piece as the server has always received them.
// clang-format off
const char16_t* const kSqlPieces[] = {
    u"select '' as 选择,数据库,case when right(状态,1)='\\' then left(状态,len(状态)-1) else '正常' end as 状态,路径 from (",
    u" select a.name as 数据库,",
    u" case when isnull(DATABASEPROPERTY(name,'IsReadOnly'),0)=1 then '只读\\' else '' end+",
    u" case when isnull(DATABASEPROPERTY(name,'IsSingleUser'),0)=1 then '单用户\\' else '' end+",
    u" case when isnull(DATABASEPROPERTY(name,'IsShutdown'),0)=1 then '置疑\\' else '' end+",
    u" case when isnull(DATABASEPROPERTY(name,'IsEmergencyMode'),0)=1 then '紧急\\' else '' end+",
    u" case when isnull(DATABASEPROPERTY(name,'IsInStandBy'),0)=1 then '只读\\' else '' end+",
    u" case when isnull(DATABASEPROPERTY(name,'IsDetached'),0)=1 then '脱机\\' else '' end+",
    u" case when isnull(DATABASEPROPERTY(name,'IsDboOnly'),0)=1 then 'DBO\\' else '' end+",
    u" case when isnull(DATABASEPROPERTY(name,'IsInLoad'),0)=1 then '装载\\' else '' end+",
    u" case when isnull(DATABASEPROPERTY(name,'IsInRecovery'),0)=1 then '恢复\\' else '' end+",
    u" case when isnull(DATABASEPROPERTY(name,'IsOffline'),0)=1 then '脱机\\' else '' end+",
    u" case when isnull(DATABASEPROPERTY(name,'IsSuspect'),0)=1 then '可疑\\' else '' end as 状态,",
    u" a.filename as 路径",
    u" from master..sysdatabases as a",
    u" where name not in ('master','model','msdb','Northwind','pubs','tempdb'))as a",
    u" order by 数据库 ",
};
const char16_t* const kTnPieces[] = {
    u" Select distinct '' as 选择,",
    u" a.name as 数据库,",
    u" case when b.dsname is null then null else b.cacc_num end as 账套号,",
    u" case when b.dsname is null then null else b.cacc_name end as 账套名称,",
    u" b.iyear as 开始年度,",
    u" case when b.dsname is null then '系统管理控制之外' when name is null then '物理数据库丢失' else '正常' end as 状态,",
    u" case when a.filename is null then '' else a.filename end as 路径",
    u" from master..sysdatabases as a",
    u" full join UFTSystem..EAP_Account as b on a.name=b.dsname",
    u" where a.name like 'uftdata%' or b.dsname is not null",
    u" order by case when b.dsname is null then null else b.cacc_num end",
};
const char16_t* const kUfPieces[] = {
    u"Select distinct '' as 选择,",
    u" case when cacc_id is null then substring(name,8,3) else cacc_id end as 账套号,",
    u" case when cacc_id is null then '' else cacc_name end as 账套名称,",
    u" case when cacc_id is null then '系统管理控制之外' when name is null then '物理数据库丢失' else '正常' end as 状态",
    u" from master..sysdatabases",
    u" full join ufsystem..ua_account on name like 'ufdata_'+cacc_id+'_[12][0-9][0-9][0-9]'",
    u" where name like 'ufdata_[0-9][0-9][0-9]_[12][0-9][0-9][0-9]' or cacc_id is not null",
    u" order by case when cacc_id is null then substring(name,8,3) else cacc_id end",
};
const char16_t* const kYearPiecesHead[] = {
    u"Select distinct '' as 选择,",
    u" case when b.cacc_id is null then substring(name,8,3) else b.cacc_id end as 账套号,",
    u" case when b.cacc_id is null then '' else c.cacc_name end as 账套名称,",
    u" b.iyear as 年度,",
    u" case when b.cacc_id is null then '系统管理控制之外' when name is null then '物理数据库丢失' else '正常' end as 状态,",
    u" case when a.filename is null then '' else a.filename end as 路径",
    u" from master..sysdatabases as a",
    u" full join ufsystem..ua_period as b on name='ufdata_'+b.cacc_id+'_'+cast(b.iyear as varchar(4))",
    u" left join ufsystem..ua_account as c on b.cacc_id=c.cacc_id",
    u" where b.bisdelete=0 and (name like 'ufdata_[0-9][0-9][0-9]_[12][0-9][0-9][0-9]' or b.cacc_id is not null) and (isnull(b.cacc_id,'') like '",
};
const char16_t* const kYearPiecesTail[] = {
    u"')",
    u" order by case when b.cacc_id is null then substring(name,8,3) else b.cacc_id end,b.iyear",
};
const char16_t* const kYearU8NPiecesHead[] = {
    u"select distinct 选择,账套号,账套名称,年度,状态,路径 from (",
    u" select distinct '' as 选择, ",
    u" case when b.cacc_id is null then substring(name,8,3) else b.cacc_id end as 账套号,",
    u" case when b.cacc_id is null then '' else c.cacc_name end as 账套名称,",
    u" cast(b.ibeginyear as varchar(4))+'-'+case when iendyear is null then cast(d.ieyear as varchar(4)) else cast(b.iendyear as varchar(4)) end as 年度,",
    u" case when b.cacc_id is null then '系统管理控制之外' when name is null then '物理数据库丢失' else '正常' end as 状态,",
    u" case when a.filename is null then '' else a.filename end as 路径,",
    u" b.ibeginyear as 开始年度,",
    u" case when b.iendyear is null then d.ieyear else b.iendyear end 结束年度",
    u" from master..sysdatabases as a",
    u" full join ufsystem..UA_AccountDatabase as b on a.name=b.cdatabase",
    u" left join ufsystem..ua_account as c on b.cacc_id=c.cacc_id",
    u" left join (select cacc_id,min(iyear) as ibyear,max(iyear) as ieyear from ufsystem..ua_period group by cacc_id) as d on b.cacc_id=d.cacc_id",
    u" where (name like 'ufdata_[0-9][0-9][0-9]_[12][0-9][0-9][0-9]' or b.cacc_id is not null))as a ",
    u" Inner Join",
    u" (select distinct cAcc_Id,iYear from ufsystem..UA_Period where bIsDelete=0) as b",
    u" on a.账套号=b.cAcc_Id",
    u" where b.iYear between a.开始年度 and a.结束年度 and (isnull(账套号,'') like '",
};
const char16_t* const kYearU8NPiecesTail[] = {
    u"')",
    u" order by 账套号,年度",
};
// clang-format on

struct Layout {
    QStringList header;
    QList<int> widths; // twips
};

const Layout& sqlLayout() {
    static const Layout l{{QStringLiteral("选择"), QStringLiteral("数据库"), QStringLiteral("状态"),
                           QStringLiteral("路径")},
                          {600, 2000, 1600, 7000}};
    return l;
}

const Layout& tnLayout() {
    static const Layout l{{QStringLiteral("选择"), QStringLiteral("数据库"),
                           QStringLiteral("账套号"), QStringLiteral("账套名称"),
                           QStringLiteral("开始年度"), QStringLiteral("状态"),
                           QStringLiteral("路径")},
                          {600, 2000, 800, 3000, 800, 1600, 8000}};
    return l;
}

const Layout& ufLayout() {
    static const Layout l{{QStringLiteral("选择"), QStringLiteral("账套号"),
                           QStringLiteral("账套名称"), QStringLiteral("状态")},
                          {600, 1000, 4000, 2000}};
    return l;
}

const Layout& yearLayout() {
    static const Layout l{{QStringLiteral("选择"), QStringLiteral("账套号"),
                           QStringLiteral("账套名称"), QStringLiteral("年度"),
                           QStringLiteral("状态"), QStringLiteral("路径")},
                          {600, 800, 3800, 1000, 1600, 3000}};
    return l;
}

const QString kNoConnection = QStringLiteral("数据库连接未打开，无法读取列表。");

// A row of a listing's result, typed by the listing's own column names; an empty row of the
// kind when the result has no such row.
ListedItem itemOf(ListingKind kind, const QueryResult& result, const QList<QVariant>& row) {
    const auto cell = [&](const char16_t* column) {
        const int c = result.columnIndex(QString::fromUtf16(column));
        return c < 0 ? QString() : NullToStr(row.value(c));
    };
    switch (kind) {
    case ListingKind::TplusAccounts:
        return TplusRow{cell(u"数据库"), cell(u"账套号"), cell(u"账套名称")};
    case ListingKind::AccountSets:
        return AccountSetRow{cell(u"账套号"), cell(u"账套名称")};
    case ListingKind::Years:
        return YearRow{cell(u"账套号"), cell(u"账套名称"), cell(u"年度")};
    case ListingKind::Databases:
    case ListingKind::None:
        break;
    }
    return DatabaseRow{cell(u"数据库")};
}

} // namespace

MainListing::MainListing() = default;

// --- Products and accounts ---

QList<ProductFamily> MainListing::productEntries() {
    ProgramState& s = state();
    // A look-up that fails counts as a database that is not there.
    const auto present = [&](const QString& condition) {
        return !NullToStr(LookupValue(QStringLiteral("name"), QStringLiteral("sysdatabases"),
                                      condition, s.MasterConn.get())
                              .value)
                    .isEmpty();
    };
    QList<ProductFamily> entries;
    const ProductFamily version = s.UFLogin().Version();
    if (version != ProductFamily::None) {
        entries.append(version);
    } else if (present(QStringLiteral("name='ufsystem'"))) {
        entries.append(ProductFamily::UfSystem);
    }
    if (present(QStringLiteral("name='uftsystem'")))
        entries.append(ProductFamily::Tplus);
    entries.append(ProductFamily::ServerDatabases);
    return entries;
}

ProductChoice MainListing::chooseProduct(ProductFamily product) {
    ChoiceRead read = choiceRequest(product);
    read.list = false;
    readChoice(read);
    return takeChoice(std::move(read));
}

ProductChoice MainListing::chooseAgain() {
    ChoiceRead read = choiceRequest(m_selection.product, true);
    read.list = false;
    readChoice(read);
    return takeChoice(std::move(read));
}

ChoiceRead MainListing::choiceRequest(std::optional<ProductFamily> product,
                                      bool keepAccount) const {
    ChoiceRead read;
    read.readProducts = !product.has_value();
    read.product = product.value_or(ProductFamily::None);
    read.keepAccount = keepAccount;
    read.keptAccount = m_selection.account;
    read.listing = refreshRequest();
    return read;
}

void MainListing::readChoice(ChoiceRead& read) {
    // Start-up may have opened the connections and found the catalogue in this same job. When a
    // lost connection cannot be opened again, that is the failure told and nothing is read.
    const Outcome reopened = ReopenLostConnections();
    read.listing.conn = reopened ? state().MasterConn.get() : nullptr;
    read.listing.productSubType = state().ProductSubType;
    if (read.readProducts) {
        read.products = productEntries();
        read.product = read.products.value(0, ProductFamily::None);
    }
    read.choice = productChoice(read.product);
    if (reopened)
        read.choice.accounts = readAccountEntries(read.product, read.failure);
    else
        read.failure = reopened.text();
    read.account = read.keepAccount && read.choice.accounts.contains(read.keptAccount)
                       ? read.keptAccount
                       : read.choice.accounts.value(0);
    if (!read.list)
        return;
    const Selection chosen{read.product, read.account};
    read.listing.product = read.product;
    read.listing.kind = chosen.listing();
    if (read.listing.kind == ListingKind::Years)
        read.listing.account = chosen.accountCode();
    readListing(read.listing);
}

ProductChoice MainListing::takeChoice(ChoiceRead read) {
    CurrentType = read.product;
    m_selection = Selection{read.product, read.account};
    if (!read.failure.isEmpty())
        reportFailure(read.failure);
    if (read.list) {
        // The account entries' failure is the one the operator is told.
        read.listing.failureShown = read.listing.failureShown || !read.failure.isEmpty();
        showListing(std::move(read.listing));
    }
    return read.choice;
}

void MainListing::chooseAccount(const QString& accountEntry) {
    m_selection.account = accountEntry;
}

QStringList MainListing::readAccountEntries(ProductFamily product, QString& failure) {
    if (!usesUfSystem(product))
        return {kAllAccounts};
    QStringList entries;
    Database* conn = state().TempdbConn.get();
    try {
        if (!conn || !conn->isOpen())
            throw DbError{QString(), 0, kNoConnection};
        const QueryResult result = conn->query(QStringLiteral(
            "select '['+cAcc_Id+']'+cAcc_Name as Acc from ufsystem..ua_account order by cAcc_Id"));
        // Without an account set in the catalogue the product still lists its account-set
        // databases, outside the catalogue's control, under the one entry that shows them.
        if (result.rows.isEmpty())
            return {kAllAccounts};
        const int column = result.columnIndex(QStringLiteral("Acc"));
        entries.append(kAllAccounts);
        for (const QList<QVariant>& row : result.rows) {
            const QVariant v = column < 0 ? QVariant() : row.value(column);
            if (v.isValid() && !v.isNull())
                entries.append(NullToStr(v));
        }
        return entries;
    } catch (const DbError& e) {
        failure = e.description;
        return {};
    }
}

// --- Listings ---

QString MainListing::queryLoadDB_SQL() {
    return joinPieces(kSqlPieces);
}

QString MainListing::queryLoadDB_TN() {
    return joinPieces(kTnPieces);
}

QString MainListing::queryLoadDB_UF() {
    return joinPieces(kUfPieces);
}

QString MainListing::queryLoadDB_UF_Year(const QString& cAcc, UfCatalogue productSubType) {
    // The account code stands for itself inside the LIKE pattern: an apostrophe, "%", "_" or "["
    // in it must neither break the statement nor widen the match.
    const QString code = likePattern(cAcc);
    if (productSubType == UfCatalogue::NewerU8)
        return joinPieces(kYearU8NPiecesHead) + code + joinPieces(kYearU8NPiecesTail);
    return joinPieces(kYearPiecesHead) + code + joinPieces(kYearPiecesTail);
}

void MainListing::LoadDB() {
    ListingRead read = refreshRequest();
    readListing(read);
    showListing(std::move(read));
}

ListingRead MainListing::refreshRequest() const {
    const ProgramState& s = state();
    ListingRead read;
    read.product = m_selection.product;
    read.kind = m_selection.listing();
    read.account = read.kind == ListingKind::Years ? m_selection.accountCode() : CurrentAcc;
    read.productSubType = s.ProductSubType;
    read.conn = s.MasterConn.get();
    read.failureShown = m_actionDepth > 0 && m_failureShown;
    return read;
}

void MainListing::readListing(ListingRead& read) {
    QString sql;
    const Layout* layout = nullptr;
    switch (read.kind) {
    case ListingKind::AccountSets:
        sql = queryLoadDB_UF(), layout = &ufLayout();
        break;
    case ListingKind::Years:
        sql = queryLoadDB_UF_Year(read.account, read.productSubType), layout = &yearLayout();
        break;
    case ListingKind::TplusAccounts:
        sql = queryLoadDB_TN(), layout = &tnLayout();
        break;
    case ListingKind::Databases:
        sql = queryLoadDB_SQL(), layout = &sqlLayout();
        break;
    case ListingKind::None:
        break;
    }
    // No product lists nothing: the grid stays without rows.
    if (layout == nullptr)
        return;
    read.widths = layout->widths;
    // The grid keeps the listing's header over one blank row when the listing fails, and a
    // result without column names (no result set at all) still shows it.
    read.header = layout->header;
    try {
        if (read.conn && !read.conn->isOpen()) {
            if (const Outcome reopened = ReopenLostConnections(); !reopened)
                throw DbError{QString(), reopened.number(), reopened.text()};
            read.conn = state().MasterConn.get();
        }
        if (!read.conn || !read.conn->isOpen())
            throw DbError{QString(), 0, kNoConnection};
        const QueryResult result = read.conn->query(sql);
        for (const QList<QVariant>& r : result.rows) {
            QStringList cells;
            cells.reserve(r.size());
            for (const QVariant& v : r)
                cells.append(NullToStr(v));
            read.rows.append(std::move(cells));
            read.items.append(itemOf(read.kind, result, r));
        }
        if (!result.columns.isEmpty())
            read.header = result.columns;
    } catch (const DbError& e) {
        read.rows.clear();
        read.items.clear();
        read.failure = e.description;
    }
}

void MainListing::showListing(ListingRead read) {
    m_grid.clear();
    CurrentType = read.product;
    if (read.kind == ListingKind::Years)
        CurrentAcc = read.account;
    m_listed = read.kind;
    m_items = std::move(read.items);
    if (read.kind != ListingKind::None)
        m_grid.setListing(read.header, std::move(read.rows), read.widths);
    if (!read.failure.isEmpty() && !read.failureShown)
        reportFailure(read.failure);
}

QString MainListing::readingText(ListingKind kind) {
    switch (kind) {
    case ListingKind::AccountSets:
        return QStringLiteral("正在读取账套列表…");
    case ListingKind::Years:
        return QStringLiteral("正在读取账套年度列表…");
    case ListingKind::TplusAccounts:
        return QStringLiteral("正在读取T+账套列表…");
    case ListingKind::Databases:
    case ListingKind::None:
        break;
    }
    return QStringLiteral("正在读取数据库列表…");
}

ListedRow MainListing::listedRow(int row) const {
    if (row >= 1 && row <= m_items.size())
        return {row, m_items[row - 1]};
    return {row, itemOf(m_listed, QueryResult{}, {})};
}

ConfirmedSelection MainListing::confirmedSelection() const {
    ConfirmedSelection confirmed;
    confirmed.listing = m_listed;
    confirmed.matchesChoice =
        m_listed == m_selection.listing() &&
        (m_listed != ListingKind::Years || CurrentAcc == m_selection.accountCode());
    confirmed.accountCode = CurrentAcc;
    confirmed.everyRowTicked = true;
    for (int row = 1; row < m_grid.Rows(); ++row) {
        if (isTicked(row))
            confirmed.rows.append(listedRow(row));
        else
            confirmed.everyRowTicked = false;
    }
    return confirmed;
}

bool MainListing::stillShows(const ListedRow& confirmed) const {
    return confirmed.row < m_grid.Rows() && isTicked(confirmed.row) &&
           listedRow(confirmed.row) == confirmed;
}

// --- Ticks ---

void MainListing::toggleTick(int row, int col) {
    if (col != 0 || row < 1 || row >= m_grid.Rows())
        return;
    m_grid.setTextMatrix(row, 0, m_grid.TextMatrix(row, 0).isEmpty() ? kTickMark : QString());
}

QString MainListing::selectAll() {
    QStringList skipped;
    for (int row = 1; row < m_grid.Rows(); ++row) {
        if (m_listed == ListingKind::Databases && row <= m_items.size()) {
            const QString& name = std::get<DatabaseRow>(m_items[row - 1]).name;
            if (isSystemDatabase(name)) {
                skipped.append(name);
                continue;
            }
        }
        m_grid.setTextMatrix(row, 0, kTickMark);
    }
    if (skipped.isEmpty())
        return {};
    return QStringLiteral("全选已跳过 %1 个系统数据库：%2，如需删除请逐个手动勾选")
        .arg(skipped.size())
        .arg(skipped.join(QStringLiteral("、")));
}

void MainListing::clearAll() {
    for (int row = 1; row < m_grid.Rows(); ++row)
        m_grid.setTextMatrix(row, 0, QString());
}

bool MainListing::isTicked(int row) const {
    return m_grid.TextMatrix(row, 0) == kTickMark;
}

int MainListing::CountTicked() const {
    int count = 0;
    const int rows = m_grid.Rows();
    for (int row = 1; row < rows; ++row) {
        if (isTicked(row))
            ++count;
    }
    return count;
}

// --- One refresh per operator action ---

void MainListing::requestRefresh() {
    if (m_actionDepth > 0) {
        m_refreshPending = true;
        return;
    }
    if (m_refresh)
        m_refresh();
}

void MainListing::reportFailure(const QString& text) {
    if (m_actionDepth > 0 && m_failureShown)
        return;
    m_failureShown = true;
    state().msg().ShowMsg(MsgKind::Error, text);
}

MainListing::Action::Action(MainListing& listing) : m_listing(listing) {
    if (m_listing.m_actionDepth++ == 0) {
        m_listing.m_refreshPending = false;
        m_listing.m_failureShown = false;
    }
}

MainListing::Action::~Action() {
    if (m_listing.m_actionDepth > 1) {
        --m_listing.m_actionDepth;
        return;
    }
    // The refresh itself still belongs to the action, so a failure it reports is not shown twice.
    if (m_listing.m_refreshPending && m_listing.m_refresh) {
        m_listing.m_refreshPending = false;
        m_listing.m_refresh();
    }
    m_listing.m_actionDepth = 0;
}

} // namespace quenlor
