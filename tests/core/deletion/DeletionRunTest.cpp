#include "core/deletion/DeletionRun.h"

#include "core/deletion/ProgressSink.h"
#include "core/listing/MainListing.h"
#include "support/ListingStatements.h"
#include "support/TestState.h"

#include <QRegularExpression>

#include <functional>

namespace quenlor {
namespace {

using test::table;
using Shown = QList<QPair<short, QString>>;

const QString kQuestion = QStringLiteral("重要提示:数据库删除后将不可恢复，确认操作吗？");
const QString kDone = QStringLiteral("已成功删除！");
const QString kStop = QStringLiteral("cmd /c NET STOP U8TaskService");
const QString kStart = QStringLiteral("cmd /c NET START U8TaskService");

ConfirmedSelection databases(QList<ListedRow> rows) {
    return {ListingKind::Databases, true, {}, std::move(rows)};
}
ConfirmedSelection tplus(QList<ListedRow> rows) {
    return {ListingKind::TplusAccounts, true, {}, std::move(rows)};
}
ConfirmedSelection accountSets(QList<ListedRow> rows) {
    return {ListingKind::AccountSets, true, {}, std::move(rows)};
}
ConfirmedSelection yearsOf003(QList<ListedRow> rows, bool everyRowTicked = false) {
    return {ListingKind::Years, true, QStringLiteral("003"), std::move(rows), everyRowTicked};
}
ListedRow year(int row, const char* years) {
    return {row, YearRow{"003", "演示账套", years}};
}
const ConfirmedSelection kThreeDatabases = databases(
    {{1, DatabaseRow{"Sales"}}, {2, DatabaseRow{"Stock"}}, {3, DatabaseRow{"Archive2019"}}});

// What the window is shown of the run.
class RecordingProgress final : public ProgressSink {
public:
    std::function<bool()> onStopAsked; // the operator's answer; never a stop when unset
    QStringList reports;
    int maximum = -1;
    int value = 0;
    int started = 0;
    int ended = 0;

    void runStarted() override { ++started; }
    void runEnded() override { ++ended; }
    void showProgress(int m) override { maximum = m; }
    void hideProgress() override {}
    void setProgressValue(int v) override { value = v; }
    void setReport(const QString& text) override { reports.append(text); }
    bool stopRequested() override { return onStopAsked && onStopAsked(); }
};

class DeletionRunTest : public test::StateFixture {
public:
    DeletionRunTest() {
        st().MasterConn = std::make_unique<test::FakeDatabase>(server, QStringLiteral("master"));
        st().ServerMajorVersion = 10;
        st().ServerVersionText = QStringLiteral("Microsoft SQL Server 2008 R2");
        services->onCommand = [this](const QString& command) {
            server.log.append(QStringLiteral("service: ") + command);
            if (command == kStart || (command == kStop && serviceStops))
                services->table[0].state = command == kStart ? "Running" : "Stopped";
        };
        for (const char* name : {"Sales", "Stock", "Archive2019", "UFTData001"})
            databaseExists(QString::fromUtf8(name));
    }

    test::FakeServer& fakeServer() { return server; }
    void newerCatalogue() { st().ProductSubType = UfCatalogue::NewerU8; }
    void taskService(bool stops = true) {
        services->table = {ServiceInfo{QStringLiteral("U8TaskService"), QStringLiteral("Running")}};
        serviceStops = stops;
    }
    void databaseExists(const QString& name) {
        server.answer("select name from master..sysdatabases where 1=1 and name='" + name + "'",
                      table({"name"}, {{name}}));
    }

    // Confirms and runs, as the window's confirm button does.
    void confirm(const ConfirmedSelection& selection, bool deleteDatabases = true) {
        messages->answers.append(MsgResult::Yes);
        run.cmdConfirm_Click(selection, deleteDatabases);
    }
    Shown confirmedThen(short kind, const QString& text) const {
        return {{2, kQuestion}, {kind, text}};
    }

    // The work the run handed out, in order: each worker known by its first statement ("db X"
    // dropped, "set X" account set, "year X Y" year, "T+ X" account).
    QStringList work() const {
        static const QList<QPair<QRegularExpression, QString>> firsts = {
            {QRegularExpression("^master: select name from master\\.\\.sysdatabases where 1=1 "
                                "and name='(.*)'$"),
             "db \\1"},
            {QRegularExpression("^master: select cAcc_Id from UFSystem\\.\\.UA_Account where "
                                "1=1 and cAcc_Id='(.*)'$"),
             "set \\1"},
            {QRegularExpression("^master: select name,filename from master\\.\\.sysdatabases "
                                "where name like 'ufdata\\[_\\](...)\\[_\\]([0-9]{4})'$"),
             "year \\1 \\2"},
            {QRegularExpression("^master: select DSName from UFTSystem\\.\\.EAP_Account where "
                                "1=1 and DSName='(.*)'$"),
             "T+ \\1"}};
        QStringList found;
        for (qsizetype i = 0; i < server.log.size(); ++i) {
            // The year worker's account check inside its transaction is not an account set.
            if (i > 0 && server.log[i - 1] == QLatin1String("master: BEGIN"))
                continue;
            for (const auto& [pattern, name] : firsts)
                if (const auto m = pattern.match(server.log[i]); m.hasMatch())
                    found.append(
                        QString(name).replace("\\1", m.captured(1)).replace("\\2", m.captured(2)));
        }
        return found;
    }
    bool sent(const QString& statement) const {
        return server.log.contains(QStringLiteral("master: ") + statement);
    }

    RecordingProgress progress;
    int reloads = 0;
    std::function<bool(const ListedRow&)> stillShown = [](const ListedRow&) { return true; };
    DeletionRun run{progress, [this](const ListedRow& row) { return stillShown(row); },
                    [this] { ++reloads; }};
    bool serviceStops = true;
};

TEST_F(DeletionRunTest, NothingTickedOnlyAsksToChooseSomething) {
    confirm(databases({}));
    EXPECT_EQ(messages->shown, (Shown{{4, "请选择删除项目！"}}));
    EXPECT_TRUE(server.log.isEmpty());
    EXPECT_EQ(progress.started, 0);
}

TEST_F(DeletionRunTest, RefusedConfirmationChangesNothing) {
    newerCatalogue();
    taskService();
    run.cmdConfirm_Click(kThreeDatabases, true); // the queue answers No
    EXPECT_EQ(messages->shown, (Shown{{2, kQuestion}}));
    EXPECT_TRUE(server.log.isEmpty()) << server.log.join('\n').toStdString();
    EXPECT_EQ(progress.started, 0);
}

// --- What a run of each listing kind does ---

struct RunCase {
    const char* name;
    std::function<void(DeletionRunTest&)> setUp;
    ConfirmedSelection selection;
    bool deleteDatabases;
    QStringList work;     // as DeletionRunTest::work() names it
    QStringList captions; // the progress reports, in order
    int barValue;         // where the bar ends
    Shown told;           // after the question
    bool reloaded;
};

void PrintTo(const RunCase& c, std::ostream* os) {
    *os << c.name;
}

class ListingRuns : public DeletionRunTest, public ::testing::WithParamInterface<RunCase> {};

TEST_P(ListingRuns, DoTheTickedRowsInOrder) {
    const RunCase& c = GetParam();
    if (c.setUp)
        c.setUp(*this);
    confirm(c.selection, c.deleteDatabases);
    EXPECT_EQ(work(), c.work);
    EXPECT_EQ(progress.reports, c.captions);
    EXPECT_EQ(progress.value, c.barValue);
    EXPECT_EQ(messages->shown, (Shown{{2, kQuestion}} + c.told));
    EXPECT_EQ(reloads, c.reloaded ? 1 : 0);
    EXPECT_EQ(run.DeleteDatabases, c.deleteDatabases);
    EXPECT_EQ(progress.ended, 1);
    EXPECT_TRUE(services->commands.isEmpty()) << "the classic catalogue leaves the service alone";
}

const DbError kInUse{"42000", 3702, "无法删除数据库“Stock”，因为该数据库当前正在使用。"};

INSTANTIATE_TEST_SUITE_P(DeletionRun, ListingRuns,
                         ::testing::Values(
                             RunCase{"DatabasesTopToBottomUntickedUntouched",
                                     nullptr,
                                     databases({{1, DatabaseRow{"Sales"}},
                                                {3, DatabaseRow{"Archive2019"}}}),
                                     true,
                                     {"db Sales", "db Archive2019"},
                                     {"正在删除数据库：Sales", "正在删除数据库：Archive2019"},
                                     2,
                                     {{1, kDone}},
                                     true},
                             RunCase{"FailingDatabaseKeepsEarlierRowsAndSkipsLaterOnes",
                                     [](DeletionRunTest& t) {
                                         t.fakeServer().fail("drop database [Stock]", kInUse);
                                     },
                                     kThreeDatabases,
                                     true,
                                     {"db Sales", "db Stock"},
                                     {"正在删除数据库：Sales", "正在删除数据库：Stock"},
                                     1,
                                     {{4, kInUse.description}},
                                     false},
                             // An account found nowhere is passed on with an empty name and counts
                             // as done.
                             RunCase{"TplusCaptionedByAccountOrDatabaseAndLookedUpByNumber",
                                     [](DeletionRunTest& t) {
                                         t.fakeServer().answer(
                                             "select dsname from uftsystem..EAP_Account where 1=1 "
                                             "and cast(cAcc_Num as int)=3",
                                             table({"dsname"}, {{"UFTData003"}}));
                                     },
                                     tplus({{1, TplusRow{"UFTData_Other", "", ""}},
                                            {2, TplusRow{"UFTData001", "001", "总公司"}},
                                            {3, TplusRow{"", "3", "分公司"}},
                                            {4, TplusRow{"", "12", "旧账"}}}),
                                     false,
                                     {"T+ UFTData_Other", "T+ UFTData001", "T+ UFTData003", "T+ "},
                                     {"正在删除数据库：UFTData_Other", "正在删除账套：[001]总公司",
                                      "正在删除账套：[3]分公司", "正在删除账套：[12]旧账"},
                                     4,
                                     {{1, kDone}},
                                     true},
                             RunCase{
                                 "FailedTplusLookUpFailsTheRowInsteadOfPassingAnEmptyName",
                                 [](DeletionRunTest& t) {
                                     t.fakeServer().fail(
                                         "select dsname from uftsystem..EAP_Account where 1=1 and "
                                         "cast(cAcc_Num as int)=7",
                                         DbError{"42000", 229, "拒绝了 SELECT 权限。"});
                                 },
                                 tplus({{1, TplusRow{"", "7", "分公司"}}}),
                                 true,
                                 {},
                                 {"正在删除账套：[7]分公司"},
                                 0,
                                 {{4, "拒绝了 SELECT 权限。"}},
                                 false},
                             RunCase{"AccountSetsGoToTheAccountWorker",
                                     nullptr,
                                     accountSets({{1, AccountSetRow{"001", "演示账套"}},
                                                  {3, AccountSetRow{"005", ""}}}),
                                     true,
                                     {"set 001", "set 005"},
                                     {"正在删除账套:[001]演示账套", "正在删除账套:[005]"},
                                     2,
                                     {{1, kDone}},
                                     true},
                             RunCase{"EveryYearTickedRemovesTheWholeAccountSet",
                                     nullptr,
                                     yearsOf003({year(1, "2014"), year(2, "2015")}, true),
                                     true,
                                     {"set 003"},
                                     {"正在删除账套:[003]演示账套"},
                                     1,
                                     {{1, kDone}},
                                     true},
                             RunCase{"SomeYearsTickedRemovesOnlyThoseYears",
                                     nullptr,
                                     yearsOf003({year(1, "2014"), year(3, "2016")}),
                                     true,
                                     {"year 003 2014", "year 003 2016"},
                                     {"正在删除年度:2014年", "正在删除年度:2016年"},
                                     2,
                                     {{1, kDone}},
                                     true},
                             // A range of one year is that year.
                             RunCase{"YearRangeRemovesEachYearInOrderAndAdvancesTheBarOnce",
                                     [](DeletionRunTest& t) { t.newerCatalogue(); },
                                     yearsOf003({year(1, "2012-2014"), year(2, "2015-2015")}),
                                     true,
                                     {"year 003 2012", "year 003 2013", "year 003 2014",
                                      "year 003 2015"},
                                     {"正在删除年度:2012-2014年", "正在删除年度:2015-2015年"},
                                     2,
                                     {{1, kDone}},
                                     true},
                             RunCase{"YearFailingInsideARangeStopsTheRange",
                                     [](DeletionRunTest& t) {
                                         t.newerCatalogue();
                                         t.fakeServer().fail(
                                             "select name,filename from master..sysdatabases where "
                                             "name like 'ufdata[_]003[_]2013'",
                                             DbError{"08S01", 0, "通讯链接失败"});
                                     },
                                     yearsOf003({year(1, "2012-2014"), year(2, "2015-2016")}),
                                     true,
                                     {"year 003 2012", "year 003 2013"},
                                     {"正在删除年度:2012-2014年"},
                                     0,
                                     {{4, "通讯链接失败"}},
                                     false}),
                         [](const ::testing::TestParamInfo<RunCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(DeletionRunTest, CheckBoxReachesTheWorkers) {
    confirm(accountSets({{1, AccountSetRow{"005", ""}}}), true);
    EXPECT_TRUE(sent("select name,filename from master..sysdatabases where name like "
                     "'ufdata[_]005[_]%' or name like 'UFMeta[_]005'"));
    server.log.clear();
    confirm(tplus({{1, TplusRow{"UFTData001", "001", ""}}}), false);
    EXPECT_FALSE(server.log.join('\n').contains("sysdatabases"));
}

// --- The task service ---

struct ServiceCase {
    const char* name;
    bool newer;
    bool installed;
    ConfirmedSelection selection;
    bool deleteDatabases;
    bool stoppedAndStarted;
};

void PrintTo(const ServiceCase& c, std::ostream* os) {
    *os << c.name;
}

class ServiceAroundTheRun : public DeletionRunTest,
                            public ::testing::WithParamInterface<ServiceCase> {};

TEST_P(ServiceAroundTheRun, StoppedBeforeAnyStatementAndStartedAfter) {
    const ServiceCase& c = GetParam();
    if (c.newer)
        newerCatalogue();
    if (c.installed)
        taskService();
    confirm(c.selection, c.deleteDatabases);
    EXPECT_FALSE(work().isEmpty());
    EXPECT_EQ(messages->shown, confirmedThen(1, kDone));
    EXPECT_EQ(reloads, 1);
    if (!c.stoppedAndStarted) {
        EXPECT_TRUE(services->commands.isEmpty()) << services->commands.join('\n').toStdString();
        return;
    }
    EXPECT_EQ(server.log.first(), "service: " + kStop);
    EXPECT_EQ(server.log.last(), "service: " + kStart);
    EXPECT_EQ(services->table[0].state, QStringLiteral("Running"));
}

INSTANTIATE_TEST_SUITE_P(
    DeletionRun, ServiceAroundTheRun,
    ::testing::Values(
        ServiceCase{"NewerAccountSets", true, true, accountSets({{1, AccountSetRow{"001", ""}}}),
                    true, true},
        ServiceCase{"NewerYears", true, true, yearsOf003({year(2, "2015-2016")}), true, true},
        ServiceCase{"NewerDatabases", true, true, kThreeDatabases, true, true},
        ServiceCase{"NewerDatabasesWithoutTheService", true, false, kThreeDatabases, true, false},
        ServiceCase{"NewerCatalogueRowsOnly", true, true,
                    accountSets({{1, AccountSetRow{"001", ""}}}), false, false},
        ServiceCase{"NewerTplus", true, true, tplus({{1, TplusRow{"UFTData001", "001", ""}}}), true,
                    false},
        ServiceCase{"ClassicDatabases", false, true, kThreeDatabases, true, false}),
    [](const ::testing::TestParamInfo<ServiceCase>& info) { return std::string(info.param.name); });

TEST_F(DeletionRunTest, ServiceIsStartedAgainAfterAFailureAndTheFailureTextSurvivesIt) {
    newerCatalogue();
    taskService();
    // The service manager stops answering once the service is started again, which writes its
    // own text into ErrorText.
    struct Failing final : Services {
        std::unique_ptr<Services> inner;
        bool broken = false;
        QList<ServiceInfo> list() override {
            if (broken)
                throw ServiceError{{0, QStringLiteral("RPC 服务器不可用。")}};
            return inner->list();
        }
        bool runHidden(const QString& c) override {
            broken = broken || c.contains(QStringLiteral("NET START"));
            return inner->runHidden(c);
        }
        void sleep(int ms) override { inner->sleep(ms); }
    };
    auto failing = std::make_unique<Failing>();
    failing->inner = std::move(st().services);
    st().services = std::move(failing);
    server.fail("drop database [Stock]", kInUse);

    confirm(kThreeDatabases);
    EXPECT_EQ(work(), (QStringList{"db Sales", "db Stock"}));
    EXPECT_EQ(server.log.last(), "service: " + kStart);
    EXPECT_EQ(messages->shown, confirmedThen(4, kInUse.description));
    EXPECT_EQ(st().ErrorText, kInUse.description);
}

TEST_F(DeletionRunTest, ServiceThatWillNotStopAbortsBeforeAnyStatement) {
    newerCatalogue();
    taskService(false);
    confirm(yearsOf003({year(2, "2015-2016")}));
    EXPECT_EQ(server.log, (QStringList{"service: " + kStop}));
    EXPECT_EQ(messages->shown, confirmedThen(4, "未能停止U8TaskService服务操作中止"));
    EXPECT_EQ(reloads, 0);
    EXPECT_EQ(progress.ended, 1);
}

// --- Rows refused before anything runs ---

struct BadRow {
    const char* name;
    ConfirmedSelection selection;
    QString message;
    bool classic = false;
};

void PrintTo(const BadRow& row, std::ostream* os) {
    *os << row.name;
}

class RefusedRows : public DeletionRunTest, public ::testing::WithParamInterface<BadRow> {};

TEST_P(RefusedRows, NothingIsTouched) {
    if (!GetParam().classic)
        newerCatalogue();
    taskService();
    confirm(GetParam().selection);
    EXPECT_EQ(messages->shown, (Shown{{4, GetParam().message}})) << "refused before the question";
    EXPECT_TRUE(server.log.isEmpty()) << server.log.join('\n').toStdString();
    EXPECT_TRUE(services->commands.isEmpty());
    EXPECT_EQ(progress.started, 0);
}

const QString kRangeExpected =
    QStringLiteral("（应为“起始年度-结束年度”，两者均为 4 位数字且起始年度不大于结束年度）");
const QString kMismatch = QStringLiteral("列表与当前选择不一致，请刷新后再试，未删除任何内容。");

ConfirmedSelection mismatched(ConfirmedSelection s) {
    s.matchesChoice = false;
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    DeletionRun, RefusedRows,
    ::testing::Values(
        BadRow{"EmptyDatabaseName", databases({{1, DatabaseRow{""}}}),
               "第 1 行的数据库名“”无效（应为 1 至 128 个字符），未删除任何内容。"},
        BadRow{"NameTooLongForTheServer",
               databases({{1, DatabaseRow{"Sales"}}, {2, DatabaseRow{QString(129, u'x')}}}),
               "第 2 行的数据库名“" + QString(129, u'x') +
                   "”无效（应为 1 至 128 个字符），未删除任何内容。"},
        BadRow{"ShortAccountCode",
               accountSets({{1, AccountSetRow{"001", "演示"}}, {3, AccountSetRow{"00", ""}}}),
               "第 3 行的账套号“00”无效（应为 3 位字母或数字），未删除任何内容。"},
        BadRow{"AccountCodeWithAnApostrophe", accountSets({{1, AccountSetRow{"0'1", ""}}}),
               "第 1 行的账套号“0'1”无效（应为 3 位字母或数字），未删除任何内容。"},
        BadRow{"TwoDigitYear", yearsOf003({year(1, "2014"), year(2, "15")}),
               "第 2 行的年度“15”无效（应为 4 位数字），未删除任何内容。", true},
        BadRow{"BackwardsRange", yearsOf003({year(1, "2014-2012")}),
               "第 1 行的年度“2014-2012”无效" + kRangeExpected + "，未删除任何内容。"},
        BadRow{"SingleYearWhereRangesAreShown", yearsOf003({year(1, "2014")}, true),
               "第 1 行的年度“2014”无效" + kRangeExpected + "，未删除任何内容。"},
        BadRow{"TplusAccountNumberOfTenDigits", tplus({{1, TplusRow{"", "1234567890", ""}}}),
               "第 1 行没有数据库名，其账套号“1234567890”也无效（应为 1 至 9 "
               "位数字），未删除任何内容。"},
        BadRow{"TplusAccountNumberThatIsNotANumber",
               tplus({{1, TplusRow{"UFTData001", "001", ""}}, {2, TplusRow{"", "1 or 1=1", ""}}}),
               "第 2 行没有数据库名，其账套号“1 or 1=1”也无效（应为 1 至 9 "
               "位数字），未删除任何内容。"},
        // A year row handed to the account-set worker would remove every year of the set.
        BadRow{"ListingNoLongerTheChoice", mismatched(yearsOf003({year(1, "2012-2014")})),
               kMismatch}),
    [](const ::testing::TestParamInfo<BadRow>& info) { return std::string(info.param.name); });

// The window's listing of one account's years, confirmed after another account was chosen.
TEST_F(DeletionRunTest, YearListingOfAnotherAccountIsRefused) {
    newerCatalogue();
    server.answer(test::yearRangeListing("003"),
                  table({"选择", "账套号", "账套名称", "年度", "状态", "路径"},
                        {{"", "003", "", "2012-2014", "", ""}}));
    MainListing listing;
    listing.select({parseProduct("U8"), "[003]演示账套"});
    listing.LoadDB();
    listing.selectAll();
    server.log.clear();
    for (const char* account : {"[004]其他账套", "全部"}) {
        SCOPED_TRACE(account);
        messages->shown.clear();
        listing.chooseAccount(QString::fromUtf8(account));
        confirm(listing.confirmedSelection());
        EXPECT_EQ(messages->shown, (Shown{{4, kMismatch}}));
    }
    EXPECT_TRUE(server.log.isEmpty());
}

// --- Stopping and changes under the run ---

TEST_F(DeletionRunTest, StopEndsTheRunAfterTheRowInHandAndReloads) {
    newerCatalogue();
    taskService();
    progress.onStopAsked = [] { return true; };
    confirm(databases({{1, DatabaseRow{"Sales"}},
                       {2, DatabaseRow{"Stock"}},
                       {3, DatabaseRow{"Archive2019"}},
                       {4, DatabaseRow{"Extra"}}}));
    EXPECT_EQ(work(), QStringList{"db Sales"});
    EXPECT_EQ(services->commands, (QStringList{kStop, kStart}));
    EXPECT_EQ(messages->shown, confirmedThen(1, "已停止：已完成 1 项，其余 3 项未处理。"));
    EXPECT_EQ(reloads, 1);
}

TEST_F(DeletionRunTest, RowChangedDuringTheRunIsAFailedRow) {
    stillShown = [](const ListedRow& row) { return row.row != 3; };
    confirm(kThreeDatabases);
    EXPECT_EQ(work(), (QStringList{"db Sales", "db Stock"}));
    EXPECT_EQ(messages->shown,
              confirmedThen(4, "列表在删除过程中已改变（第 3 行），其余项目未处理。"));
    EXPECT_EQ(reloads, 0);
}

TEST_F(DeletionRunTest, ConfirmDuringARunStartsNothing) {
    progress.onStopAsked = [this] {
        EXPECT_TRUE(run.running());
        confirm(kThreeDatabases);
        return false;
    };
    confirm(kThreeDatabases);
    EXPECT_FALSE(run.running());
    EXPECT_EQ(messages->shown, confirmedThen(1, kDone)) << "one question, one run";
    EXPECT_EQ(progress.started, 1);
}

} // namespace
} // namespace quenlor
