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

const QString kQuestion = QStringLiteral("重要提示:数据库删除后将不可恢复，确认操作吗？");
const QString kDone = QStringLiteral("已成功删除！");
const QString kStopFailed = QStringLiteral("未能停止U8TaskService服务操作中止");
const QString kNetStop = QStringLiteral("service: cmd /c NET STOP U8TaskService");
const QString kNetStart = QStringLiteral("service: cmd /c NET START U8TaskService");

const QStringList kSqlColumns = {"选择", "数据库", "状态", "路径"};
const QStringList kTnColumns = {"选择", "数据库", "账套号", "账套名称", "开始年度", "状态", "路径"};
const QStringList kUfColumns = {"选择", "账套号", "账套名称", "状态"};
const QStringList kYearColumns = {"选择", "账套号", "账套名称", "年度", "状态", "路径"};

// The first statement each worker sends, which tells which worker got which row.
QString dropOf(const QString& name) {
    return "master: select name from master..sysdatabases where 1=1 and name='" + name + "'";
}
QString accountSetOf(const QString& code) {
    return "master: select cAcc_Id from UFSystem..UA_Account where 1=1 and cAcc_Id='" + code + "'";
}
// The year worker with deleteDatabases: its databases first.
QString yearOf(const QString& code, const QString& year) {
    return "master: select name,filename from master..sysdatabases where name like 'ufdata[_]" +
           code + "[_]" + year + "'";
}
QString tplusOf(const QString& name) {
    return "master: select DSName from UFTSystem..EAP_Account where 1=1 and DSName='" + name + "'";
}
QString dsnameLookup(const QString& number) {
    return "master: select dsname from uftsystem..EAP_Account where 1=1 and cast(cAcc_Num as "
           "int)=" +
           number;
}

// The statement of a log entry, to script the server with.
QString sent(const QString& logEntry) {
    return logEntry.mid(QStringLiteral("master: ").size());
}

// Writes what the window would show into the same timeline as the server's statements, so the
// order of progress, statements and service commands can be checked together.
class RecordingProgress final : public ProgressSink {
public:
    explicit RecordingProgress(QStringList& timeline) : m_timeline(timeline) {}

    // The operator's answer each time the run asks; never a stop when unset.
    std::function<bool()> onStopAsked;

    void runStarted() override { note(QStringLiteral("started")); }
    void runEnded() override { note(QStringLiteral("ended")); }
    void showProgress(int maximum) override { note(QStringLiteral("show %1").arg(maximum)); }
    void hideProgress() override { note(QStringLiteral("hide")); }
    void setProgressValue(int value) override { note(QStringLiteral("value %1").arg(value)); }
    void setReport(const QString& text) override { note(QStringLiteral("report ") + text); }
    bool stopRequested() override {
        note(QStringLiteral("stop?"));
        return onStopAsked && onStopAsked();
    }

private:
    void note(const QString& what) { m_timeline.append(QStringLiteral("progress: ") + what); }
    QStringList& m_timeline;
};

class DeletionRunTest : public test::StateFixture {
protected:
    DeletionRunTest() {
        st().MasterConn = std::make_unique<test::FakeDatabase>(server, QStringLiteral("master"));
        st().TempdbConn = std::make_unique<test::FakeDatabase>(server, QStringLiteral("Tempdb"));
        st().ServerVersionText = QStringLiteral("Microsoft SQL Server 2008 R2");
        st().ServerMajorVersion = 10;
        services->onCommand = [this](const QString& command) {
            server.log.append(QStringLiteral("service: ") + command);
            if (services->table.isEmpty())
                return;
            if (command.contains(QStringLiteral("NET STOP")) && m_serviceStops)
                services->table[0].state = QStringLiteral("Stopped");
            if (command.contains(QStringLiteral("NET START")))
                services->table[0].state = QStringLiteral("Running");
        };
    }

    // U8TaskService is installed and running; a stop command takes effect unless told otherwise.
    void taskService(bool stops = true) {
        services->table = {ServiceInfo{QStringLiteral("U8TaskService"), QStringLiteral("Running")}};
        m_serviceStops = stops;
    }

    // Fills the grid the way the window does; the listing statement is left out of the log.
    void load(const QString& product, const QString& account, const QString& listingSql,
              const QStringList& columns, const QList<QList<QVariant>>& rows) {
        server.answer(listingSql, table(columns, rows));
        listing.select({parseProduct(product), account});
        listing.LoadDB();
        server.log.clear();
    }
    void threeDatabases() {
        load("SQL", "全部", test::sqlListing(), kSqlColumns,
             {{"", "Sales", "正常", "D:\\Data\\Sales.mdf"},
              {"", "Stock", "只读", "D:\\Data\\Stock.mdf"},
              {"", "Archive2019", "脱机", "E:\\Old\\Archive2019.mdf"}});
        for (const char* name : {"Sales", "Stock", "Archive2019"})
            databaseExists(QString::fromUtf8(name));
    }
    void databaseExists(const QString& name) {
        server.answer(sent(dropOf(name)), table({"name"}, {{name}}));
    }
    void yearsOf003(const QList<QList<QVariant>>& rows) {
        const bool ranges = st().ProductSubType == UfCatalogue::NewerU8;
        load("U8", "[003]演示账套",
             ranges ? test::yearRangeListing("003") : test::yearListing("003"), kYearColumns, rows);
    }
    void tick(std::initializer_list<int> rows) {
        for (int r : rows)
            listing.toggleTick(r, 0);
    }

    // Confirms and runs, as the window's confirm button does.
    void confirm(const QString& accountText = QStringLiteral("全部"), bool deleteDatabases = true) {
        messages->answers.append(MsgResult::Yes);
        listing.chooseAccount(accountText);
        run.cmdConfirm_Click(listing.confirmedSelection(), deleteDatabases);
    }

    // The run's course: progress, service commands, reloads and the first statement of each
    // worker. The year worker asks the account check too, but only inside its transaction.
    QStringList trace() const {
        static const QRegularExpression first(
            QStringLiteral("^master: (select name from master\\.\\.sysdatabases where 1=1|"
                           "select DSName from UFTSystem|select dsname from uftsystem|"
                           "select name,filename from master\\.\\.sysdatabases where name like "
                           "'ufdata\\[_\\]...\\[_\\][0-9]{4}'$)"));
        QStringList kept;
        for (qsizetype i = 0; i < server.log.size(); ++i) {
            const QString& e = server.log[i];
            const bool accountCheck =
                e.startsWith(accountSetOf(QString()).chopped(1)) &&
                (i == 0 || server.log[i - 1] != QLatin1String("master: BEGIN"));
            if (e.startsWith(QLatin1String("progress: ")) ||
                e.startsWith(QLatin1String("service: ")) || e == QLatin1String("reload") ||
                first.match(e).hasMatch() || accountCheck)
                kept.append(e);
        }
        return kept;
    }
    QStringList statements() const {
        QStringList found;
        for (const QString& e : server.log)
            if (e.startsWith(QLatin1String("master: ")))
                found.append(e);
        return found;
    }
    QList<QPair<short, QString>> confirmedThen(QList<QPair<short, QString>> after) const {
        after.prepend({MsgKind::Question, kQuestion});
        return after;
    }

    MainListing listing;
    RecordingProgress progress{server.log};
    int reloads = 0;
    DeletionRun run{progress, [this](const ListedRow& row) { return listing.stillShows(row); },
                    [this] {
                        ++reloads;
                        server.log.append(QStringLiteral("reload"));
                    }};

private:
    bool m_serviceStops = true;
};

// --- Before anything runs ---

TEST_F(DeletionRunTest, NothingTickedOnlyAsksToChooseSomething) {
    threeDatabases();
    confirm();
    EXPECT_EQ(messages->shown, (QList<QPair<short, QString>>{{4, "请选择删除项目！"}}));
    EXPECT_TRUE(server.log.isEmpty());
    EXPECT_EQ(reloads, 0);
}

TEST_F(DeletionRunTest, RefusedConfirmationChangesNothingAndSaysNothing) {
    threeDatabases();
    taskService();
    st().ProductSubType = UfCatalogue::NewerU8;
    tick({1});
    run.cmdConfirm_Click(listing.confirmedSelection(), true); // the queue answers No
    EXPECT_EQ(messages->shown, (QList<QPair<short, QString>>{{2, kQuestion}}));
    EXPECT_TRUE(server.log.isEmpty()) << server.log.join('\n').toStdString();
    EXPECT_EQ(listing.grid().TextMatrix(1, 0), QStringLiteral("Y")) << "ticks stay";
}

// --- Plain databases ---

TEST_F(DeletionRunTest, DropsTheTickedDatabasesTopToBottom) {
    threeDatabases();
    tick({3, 1});
    confirm();
    EXPECT_EQ(trace(),
              (QStringList{"progress: started", "progress: show 2",
                           "progress: report 正在删除数据库：Sales", dropOf("Sales"),
                           "progress: value 1", "progress: stop?",
                           "progress: report 正在删除数据库：Archive2019", dropOf("Archive2019"),
                           "progress: value 2", "progress: hide", "progress: ended", "reload"}));
    EXPECT_TRUE(statements().contains("master: drop database [Archive2019]"));
    EXPECT_FALSE(statements().join('\n').contains("Stock")) << "an unticked row is not touched";
    EXPECT_EQ(messages->shown, confirmedThen({{1, kDone}}));
    EXPECT_TRUE(services->commands.isEmpty()) << "the classic catalogue leaves the service alone";
}

TEST_F(DeletionRunTest, FailingRowKeepsEarlierRowsDoneAndSkipsLaterOnes) {
    threeDatabases();
    server.fail("drop database [Stock]",
                DbError{"42000", 3702, "无法删除数据库“Stock”，因为该数据库当前正在使用。"});
    listing.selectAll();
    confirm();
    const QStringList t = trace();
    EXPECT_TRUE(t.contains(dropOf("Sales")));
    EXPECT_TRUE(t.contains(dropOf("Stock")));
    EXPECT_FALSE(t.contains(dropOf("Archive2019")));
    EXPECT_EQ(t.mid(t.indexOf(dropOf("Stock"))),
              (QStringList{dropOf("Stock"), "progress: hide", "progress: ended"}))
        << "the bar stops at the failed row and nothing is reloaded";
    EXPECT_EQ(messages->shown,
              confirmedThen({{4, "无法删除数据库“Stock”，因为该数据库当前正在使用。"}}));
    EXPECT_EQ(reloads, 0);
    EXPECT_EQ(listing.grid().TextMatrix(1, 1), QStringLiteral("Sales")) << "grid kept as it was";
}

// --- T+ ---

TEST_F(DeletionRunTest, TplusRowsCaptionedByAccountOrDatabaseAndLookedUpByNumber) {
    load("T+", "全部", test::tplusListing(), kTnColumns,
         {{"", "UFTData_Other", QVariant(), QVariant(), QVariant(), "系统管理控制之外", "D:\\x"},
          {"", "UFTData001", "001", "总公司", 2021, "正常", "D:\\T\\UFTData001.mdf"},
          {"", QVariant(), "3", "分公司", 2022, "物理数据库丢失", ""},
          {"", QVariant(), "12", "旧账", 2019, "物理数据库丢失", ""}});
    server.answer(sent(dsnameLookup("3")), table({"dsname"}, {{"UFTData003"}}));
    listing.selectAll();
    confirm(QStringLiteral("全部"), false);
    EXPECT_EQ(trace(), (QStringList{"progress: started",
                                    "progress: show 4",
                                    "progress: report 正在删除数据库：UFTData_Other",
                                    tplusOf("UFTData_Other"),
                                    "progress: value 1",
                                    "progress: stop?",
                                    "progress: report 正在删除账套：[001]总公司",
                                    tplusOf("UFTData001"),
                                    "progress: value 2",
                                    "progress: stop?",
                                    "progress: report 正在删除账套：[3]分公司",
                                    dsnameLookup("3"),
                                    tplusOf("UFTData003"),
                                    "progress: value 3",
                                    "progress: stop?",
                                    "progress: report 正在删除账套：[12]旧账",
                                    dsnameLookup("12"),
                                    tplusOf(""),
                                    "progress: value 4",
                                    "progress: hide",
                                    "progress: ended",
                                    "reload"}))
        << "an account found nowhere is passed on with an empty name and counts as done";
    EXPECT_EQ(messages->shown, confirmedThen({{1, kDone}}));
    EXPECT_FALSE(run.DeleteDatabases);
    EXPECT_FALSE(statements().join('\n').contains("select name,filename"))
        << "without the check box no database is looked for";
}

TEST_F(DeletionRunTest, FailedTplusLookUpFailsTheRowInsteadOfPassingAnEmptyName) {
    load("T+", "全部", test::tplusListing(), kTnColumns,
         {{"", QVariant(), "7", "分公司", 2022, "物理数据库丢失", ""}});
    server.fail(sent(dsnameLookup("7")),
                DbError{"42000", 229, "拒绝了对对象 'EAP_Account' 的 SELECT 权限。"});
    tick({1});
    confirm();
    EXPECT_FALSE(trace().contains(tplusOf("")));
    EXPECT_EQ(messages->shown, confirmedThen({{4, "拒绝了对对象 'EAP_Account' 的 SELECT 权限。"}}));
    EXPECT_EQ(reloads, 0);
}

// --- T3/T6/U8 account sets and years ---

TEST_F(DeletionRunTest, AccountSetRowsGoToTheAccountWorkerWithTheCheckBox) {
    load("U8", "全部", test::accountSetListing(), kUfColumns,
         {{"", "001", "演示账套", "正常"},
          {"", "002", "测试", "正常"},
          {"", "005", "", "系统管理控制之外"}});
    tick({1, 3});
    confirm(QStringLiteral("全部"), true);
    EXPECT_EQ(trace(),
              (QStringList{"progress: started", "progress: show 2",
                           "progress: report 正在删除账套:[001]演示账套", accountSetOf("001"),
                           "progress: value 1", "progress: stop?",
                           "progress: report 正在删除账套:[005]", accountSetOf("005"),
                           "progress: value 2", "progress: hide", "progress: ended", "reload"}));
    EXPECT_TRUE(run.DeleteDatabases);
    EXPECT_TRUE(statements().contains(
        "master: select name,filename from master..sysdatabases where name like "
        "'ufdata[_]005[_]%' or name like 'UFMeta[_]005'"))
        << "the check box reaches the worker";
    EXPECT_EQ(messages->shown, confirmedThen({{1, kDone}}));
}

TEST_F(DeletionRunTest, EveryYearTickedRemovesTheWholeAccountSet) {
    yearsOf003({{"", "003", "演示账套", 2014, "正常", "D:\\ZT003\\2014\\UFDATA.MDF"},
                {"", "003", "", 2015, "物理数据库丢失", ""}});
    listing.selectAll();
    confirm(QStringLiteral("[003]演示账套"));
    EXPECT_EQ(trace(),
              (QStringList{"progress: started", "progress: show 1",
                           "progress: report 正在删除账套:[003]演示账套", accountSetOf("003"),
                           "progress: value 1", "progress: hide", "progress: ended", "reload"}));
    EXPECT_EQ(messages->shown, confirmedThen({{1, kDone}}));
}

TEST_F(DeletionRunTest, SomeYearsTickedRemovesOnlyThoseYears) {
    yearsOf003({{"", "003", "演示账套", 2014, "正常", ""},
                {"", "003", "演示账套", 2015, "正常", ""},
                {"", "003", "演示账套", 2016, "正常", ""}});
    tick({1, 3});
    confirm(QStringLiteral("[003]演示账套"));
    EXPECT_EQ(trace(),
              (QStringList{"progress: started", "progress: show 2",
                           "progress: report 正在删除年度:2014年", yearOf("003", "2014"),
                           "progress: value 1", "progress: stop?",
                           "progress: report 正在删除年度:2016年", yearOf("003", "2016"),
                           "progress: value 2", "progress: hide", "progress: ended", "reload"}));
    EXPECT_FALSE(trace().contains(accountSetOf("003"))) << "the account set itself stays";
}

TEST_F(DeletionRunTest, YearRangeRemovesEachYearInOrderAndAdvancesTheBarOnce) {
    st().ProductSubType = UfCatalogue::NewerU8;
    yearsOf003({{"", "003", "演示账套", "2012-2014", "正常", ""},
                {"", "003", "演示账套", "2015-2015", "正常", ""},
                {"", "003", "演示账套", "2016-2017", "正常", ""}});
    tick({1, 2});
    confirm(QStringLiteral("[003]演示账套"));
    EXPECT_EQ(trace(),
              (QStringList{"progress: started", "progress: show 2",
                           "progress: report 正在删除年度:2012-2014年", yearOf("003", "2012"),
                           yearOf("003", "2013"), yearOf("003", "2014"), "progress: value 1",
                           "progress: stop?", "progress: report 正在删除年度:2015-2015年",
                           yearOf("003", "2015"), "progress: value 2", "progress: hide",
                           "progress: ended", "reload"}))
        << "a range of one year is that year";
}

TEST_F(DeletionRunTest, YearFailingInsideARangeStopsTheRange) {
    st().ProductSubType = UfCatalogue::NewerU8;
    yearsOf003({{"", "003", "演示账套", "2012-2014", "正常", ""},
                {"", "003", "演示账套", "2015-2016", "正常", ""}});
    server.fail(sent(yearOf("003", "2013")), DbError{"08S01", 0, "通讯链接失败"});
    tick({1});
    confirm(QStringLiteral("[003]演示账套"));
    const QStringList t = trace();
    EXPECT_TRUE(t.contains(yearOf("003", "2012")));
    EXPECT_FALSE(t.contains(yearOf("003", "2014")));
    EXPECT_FALSE(t.contains("progress: value 1"));
    EXPECT_EQ(messages->shown, confirmedThen({{4, "通讯链接失败"}}));
    EXPECT_EQ(reloads, 0);
}

// --- The task service ---

TEST_F(DeletionRunTest, NewerCatalogueStopsTheServiceBeforeAnyStatementAndStartsItAfter) {
    st().ProductSubType = UfCatalogue::NewerU8;
    taskService();
    load("U8", "全部", test::accountSetListing(), kUfColumns, {{"", "001", "演示账套", "正常"}});
    tick({1});
    confirm();
    const QStringList t = trace();
    EXPECT_EQ(server.log.mid(0, 2), (QStringList{"progress: started", kNetStop}));
    EXPECT_LT(t.indexOf(accountSetOf("001")), t.indexOf(kNetStart));
    EXPECT_EQ(t.mid(t.indexOf(kNetStart)), (QStringList{kNetStart, "progress: ended", "reload"}));
    EXPECT_EQ(services->table[0].state, QStringLiteral("Running"));
}

TEST_F(DeletionRunTest, ServiceIsStartedAgainAfterAFailureAndTheFailureTextSurvivesIt) {
    st().ProductSubType = UfCatalogue::NewerU8;
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

    threeDatabases();
    server.fail("drop database [Stock]", DbError{"42000", 3702, "数据库正在使用。"});
    listing.selectAll();
    confirm();
    const QStringList t = trace();
    EXPECT_EQ(t.mid(t.indexOf(dropOf("Stock"))),
              (QStringList{dropOf("Stock"), "progress: hide", kNetStart, "progress: ended"}));
    EXPECT_EQ(messages->shown, confirmedThen({{4, "数据库正在使用。"}}));
}

TEST_F(DeletionRunTest, ServiceThatWillNotStopAbortsBeforeAnyStatement) {
    st().ProductSubType = UfCatalogue::NewerU8;
    taskService(false);
    yearsOf003({{"", "003", "演示账套", "2012-2014", "正常", ""},
                {"", "003", "演示账套", "2015-2016", "正常", ""}});
    tick({2});
    confirm(QStringLiteral("[003]演示账套"));
    EXPECT_EQ(server.log, (QStringList{"progress: started", kNetStop, "progress: ended"}));
    EXPECT_EQ(messages->shown, confirmedThen({{4, kStopFailed}}));
    EXPECT_EQ(services->sleeps.size(), 10) << "ten checks before giving up";
    EXPECT_EQ(reloads, 0);
}

TEST_F(DeletionRunTest, ServiceIsLeftAloneUnlessTheNewerCatalogueDropsDatabases) {
    taskService();
    // Classic catalogue, databases dropped.
    threeDatabases();
    tick({1});
    confirm();
    // Newer catalogue, catalogue rows only.
    st().ProductSubType = UfCatalogue::NewerU8;
    load("T6", "全部", test::accountSetListing(), kUfColumns, {{"", "001", "演示账套", "正常"}});
    tick({1});
    confirm(QStringLiteral("全部"), false);
    // T+ never touches it.
    load("T+", "全部", test::tplusListing(), kTnColumns,
         {{"", "UFTData001", "001", "总公司", 2021, "正常", ""}});
    tick({1});
    confirm();
    EXPECT_TRUE(services->commands.isEmpty()) << services->commands.join('\n').toStdString();
    EXPECT_EQ(reloads, 3);
}

TEST_F(DeletionRunTest, DatabaseModeWithoutTheServiceDropsAnyway) {
    st().ProductSubType = UfCatalogue::NewerU8;
    threeDatabases();
    tick({2});
    confirm();
    EXPECT_TRUE(services->commands.isEmpty());
    EXPECT_TRUE(trace().contains(dropOf("Stock")));
    EXPECT_EQ(messages->shown, confirmedThen({{1, kDone}}));

    // With the service installed the same run stops and restarts it around the drop.
    taskService();
    threeDatabases();
    tick({2});
    confirm();
    EXPECT_EQ(services->commands,
              (QStringList{"cmd /c NET STOP U8TaskService", "cmd /c NET START U8TaskService"}));
}

// --- Rows refused before anything runs ---

class RefusedRows;

struct BadRow {
    const char* name;
    std::function<void(RefusedRows&)> setUp;
    QString account;
    QString message;
};

void PrintTo(const BadRow& row, std::ostream* os) {
    *os << row.name;
}

class RefusedRows : public DeletionRunTest, public ::testing::WithParamInterface<BadRow> {
public:
    // The cases build their grids through these.
    using DeletionRunTest::load;
    using DeletionRunTest::tick;
    using DeletionRunTest::yearsOf003;
    ProgramState& programState() { return st(); }
    MainListing& mainListing() { return listing; }
    void databases(const QList<QList<QVariant>>& rows) {
        load("SQL", "全部", test::sqlListing(), kSqlColumns, rows);
    }
};

TEST_P(RefusedRows, NothingIsTouched) {
    st().ProductSubType = UfCatalogue::NewerU8;
    taskService();
    GetParam().setUp(*this);
    confirm(GetParam().account);
    EXPECT_EQ(messages->shown, (QList<QPair<short, QString>>{{4, GetParam().message}}))
        << "refused before the question";
    EXPECT_TRUE(server.log.isEmpty()) << server.log.join('\n').toStdString();
    EXPECT_TRUE(services->commands.isEmpty());
    EXPECT_EQ(reloads, 0);
}

const QString kRangeExpected =
    QStringLiteral("（应为“起始年度-结束年度”，两者均为 4 位数字且起始年度不大于结束年度）");

INSTANTIATE_TEST_SUITE_P(
    DeletionRun, RefusedRows,
    ::testing::Values(
        BadRow{"TickedPlaceholderOfAnEmptyListing",
               [](RefusedRows& t) {
                   t.databases({});
                   t.mainListing().selectAll();
               },
               "全部", "第 1 行的数据库名“”无效（应为 1 至 128 个字符），未删除任何内容。"},
        BadRow{"NameTooLongForTheServer",
               [](RefusedRows& t) {
                   t.databases({{"", "Sales", "", ""}, {"", QString(129, u'x'), "", ""}});
                   t.mainListing().selectAll();
               },
               "全部",
               "第 2 行的数据库名“" + QString(129, u'x') +
                   "”无效（应为 1 至 128 个字符），未删除任何内容。"},
        BadRow{"ShortAccountCode",
               [](RefusedRows& t) {
                   t.load("U8", "全部", test::accountSetListing(), kUfColumns,
                          {{"", "001", "演示", "正常"}, {"", "002", "", ""}, {"", "00", "", ""}});
                   t.tick({1, 3});
               },
               "全部", "第 3 行的账套号“00”无效（应为 3 位字母或数字），未删除任何内容。"},
        BadRow{
            "AccountCodeWithAnApostrophe",
            [](RefusedRows& t) {
                t.load("T3", "全部", test::accountSetListing(), kUfColumns, {{"", "0'1", "", ""}});
                t.tick({1});
            },
            "全部", "第 1 行的账套号“0'1”无效（应为 3 位字母或数字），未删除任何内容。"},
        BadRow{"TwoDigitYear",
               [](RefusedRows& t) {
                   t.programState().ProductSubType = UfCatalogue::Classic;
                   t.yearsOf003({{"", "003", "", 2014, "", ""}, {"", "003", "", "15", "", ""}});
                   t.tick({1, 2});
               },
               "[003]演示账套", "第 2 行的年度“15”无效（应为 4 位数字），未删除任何内容。"},
        BadRow{
            "BackwardsRange",
            [](RefusedRows& t) {
                t.yearsOf003({{"", "003", "", "2014-2012", "", ""}, {"", "003", "", "", "", ""}});
                t.tick({1});
            },
            "[003]演示账套",
            "第 1 行的年度“2014-2012”无效" + kRangeExpected + "，未删除任何内容。"},
        BadRow{"SingleYearWhereRangesAreShown",
               [](RefusedRows& t) {
                   t.yearsOf003({{"", "003", "", "2014", "", ""}});
                   t.mainListing().selectAll();
               },
               "[003]演示账套", "第 1 行的年度“2014”无效" + kRangeExpected + "，未删除任何内容。"},
        BadRow{"TplusAccountNumberOfTenDigits",
               [](RefusedRows& t) {
                   t.load("T+", "全部", test::tplusListing(), kTnColumns,
                          {{"", QVariant(), "1234567890", "", 2021, "", ""}});
                   t.mainListing().selectAll();
               },
               "全部",
               "第 1 行没有数据库名，其账套号“1234567890”也无效（应为 1 至 9 "
               "位数字），未删除任何内容。"},
        BadRow{"TplusAccountNumberThatIsNotANumber",
               [](RefusedRows& t) {
                   t.load("T+", "全部", test::tplusListing(), kTnColumns,
                          {{"", "UFTData001", "001", "", 2021, "", ""},
                           {"", QVariant(), "1 or 1=1", "", 2021, "", ""}});
                   t.mainListing().selectAll();
               },
               "全部",
               "第 2 行没有数据库名，其账套号“1 or 1=1”也无效（应为 1 至 9 "
               "位数字），未删除任何内容。"},
        // A year row handed to the account-set worker would remove every year of the set.
        BadRow{"AllAccountsSelectedOverAYearListing",
               [](RefusedRows& t) {
                   t.yearsOf003({{"", "003", "", "2012-2014", "", ""}});
                   t.tick({1});
               },
               "全部", "列表与当前选择不一致，请刷新后再试，未删除任何内容。"},
        BadRow{"OtherAccountSelectedThanListed",
               [](RefusedRows& t) {
                   t.yearsOf003({{"", "003", "", "2012-2014", "", ""}});
                   t.mainListing().selectAll();
               },
               "[004]其他账套", "列表与当前选择不一致，请刷新后再试，未删除任何内容。"}),
    [](const ::testing::TestParamInfo<BadRow>& info) { return std::string(info.param.name); });

// --- Stopping and changes under the run ---

TEST_F(DeletionRunTest, StopEndsTheRunAfterTheRowInHandAndReloads) {
    st().ProductSubType = UfCatalogue::NewerU8;
    taskService();
    load("SQL", "全部", test::sqlListing(), kSqlColumns,
         {{"", "Sales", "", ""},
          {"", "Stock", "", ""},
          {"", "Archive2019", "", ""},
          {"", "Extra", "", ""}});
    databaseExists(QStringLiteral("Sales"));
    listing.selectAll();
    progress.onStopAsked = [] { return true; };
    confirm();
    EXPECT_EQ(trace(), (QStringList{"progress: started", kNetStop, "progress: show 4",
                                    "progress: report 正在删除数据库：Sales", dropOf("Sales"),
                                    "progress: value 1", "progress: stop?", "progress: hide",
                                    kNetStart, "progress: ended", "reload"}));
    EXPECT_EQ(messages->shown, confirmedThen({{1, "已停止：已完成 1 项，其余 3 项未处理。"}}));
}

TEST_F(DeletionRunTest, RowChangedDuringTheRunIsAFailedRow) {
    threeDatabases();
    listing.selectAll();
    // While the window takes input between rows, a refresh makes the third row show another
    // database, and the operator ticks every row again.
    progress.onStopAsked = [this] {
        server.answer(test::sqlListing(), table(kSqlColumns, {{"", "Sales", "", ""},
                                                              {"", "Stock", "", ""},
                                                              {"", "Payroll", "", ""}}));
        listing.LoadDB();
        listing.selectAll();
        return false;
    };
    confirm();
    const QStringList t = trace();
    EXPECT_TRUE(t.contains(dropOf("Stock")));
    EXPECT_FALSE(statements().join('\n').contains("Payroll"));
    EXPECT_FALSE(statements().join('\n').contains("Archive2019"));
    EXPECT_EQ(messages->shown,
              confirmedThen({{4, "列表在删除过程中已改变（第 3 行），其余项目未处理。"}}));
    EXPECT_EQ(reloads, 0);
}

TEST_F(DeletionRunTest, ConfirmDuringARunStartsNothing) {
    threeDatabases();
    listing.selectAll();
    progress.onStopAsked = [this] {
        EXPECT_TRUE(run.running());
        confirm();
        return false;
    };
    confirm();
    EXPECT_FALSE(run.running());
    EXPECT_EQ(messages->shown, confirmedThen({{1, kDone}})) << "one question, one run";
    EXPECT_EQ(trace().count("progress: started"), 1);
}

} // namespace
} // namespace quenlor
