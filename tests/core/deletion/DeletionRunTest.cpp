#include "core/deletion/DeletionRun.h"

#include "core/deletion/ProgressSink.h"
#include "core/deletion/RecordingDatabase.h"
#include "core/listing/MainListing.h"
#include "support/ListingStatements.h"
#include "support/TestState.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QRegularExpression>

#include <functional>

namespace quenlor {
namespace {

using test::table;
using Shown = QList<QPair<short, QString>>;

const QString kQuestion = "重要提示:数据库删除后将不可恢复，确认操作吗？";
const QString kDone = "已成功删除！";
const QString kStop = "cmd /c NET STOP U8TaskService";
const QString kStart = "cmd /c NET START U8TaskService";
const QString kMismatch = "列表与当前选择不一致，请刷新后再试，未删除任何内容。";

using enum ListingKind;
ConfirmedSelection ticked(ListingKind kind, QList<ListedRow> rows, bool every = false,
                          bool listingIsTheChoice = true) {
    return {kind, listingIsTheChoice, kind == Years ? "003" : "", std::move(rows), every};
}
ListedRow year(int row, const char* years) {
    return {row, YearRow{"003", "演示账套", years}};
}
const ConfirmedSelection kThreeDatabases =
    ticked(Databases,
           {{1, DatabaseRow{"Sales"}}, {2, DatabaseRow{"Stock"}}, {3, DatabaseRow{"Archive2019"}}});

// What the window is shown of the run.
class RecordingProgress final : public ProgressSink {
public:
    std::function<bool()> onStopAsked; // the operator's answer; never a stop when unset
    int value = 0;
    int started = 0;
    int ended = 0;

    void runStarted() override { ++started; }
    void runEnded() override { ++ended; }
    void showProgress(int) override {}
    void hideProgress() override {}
    void setProgressValue(int v) override { value = v; }
    void setReport(const QString&) override {}
    bool stopRequested() override { return onStopAsked && onStopAsked(); }
};

// The task service is installed and running; its commands are logged with the statements.
class DeletionRunTest : public test::StateFixture {
public:
    DeletionRunTest() {
        st().MasterConn = std::make_unique<test::FakeDatabase>(server, "master");
        st().ServerVersionText = "Microsoft SQL Server 2008 R2";
        services->table = {ServiceInfo{"U8TaskService", "Running"}};
        services->onCommand = [this](const QString& command) {
            server.log.append("service: " + command);
            if (command == kStart || (command == kStop && serviceStops))
                services->table[0].state = command == kStart ? "Running" : "Stopped";
        };
        for (const char* name : {"Sales", "Stock", "Archive2019", "UFTData001"})
            server.answer("select name from master..sysdatabases where 1=1 and name='" +
                              QString::fromUtf8(name) + "'",
                          table({"name"}, {{name}}));
        server.answer(
            "select dsname from uftsystem..EAP_Account where 1=1 and cast(cAcc_Num as int)=3",
            table({"dsname"}, {{"UFTData003"}}));
        // The server describes the databases it holds; the statements asking about one of them
        // are answered by a word they contain.
        server.respond = [this](const QString& sql) -> std::optional<QueryResult> {
            static const QRegularExpression asked("DATABASEPROPERTYEX.* where name='(\\w+)'$");
            if (const auto m = asked.match(sql); m.hasMatch())
                return table({"name", "dbid", "state", "access", "published", "mergepublished"},
                             described.value(m.captured(1)));
            for (const auto& [word, reply] : replies) {
                if (sql.contains(word))
                    return reply;
            }
            if (!failingWord.isEmpty() && sql.contains(failingWord))
                throw DbError{"08S01", 0, "通讯链接失败"};
            return std::nullopt;
        };
    }

    void newerCatalogue() { st().ProductSubType = UfCatalogue::NewerU8; }

    // Confirms and runs, as the window's confirm button does.
    void confirm(const ConfirmedSelection& selection, bool deleteDatabases = true,
                 bool backupHistory = false) {
        messages->answers.append(MsgResult::Yes);
        run.cmdConfirm_Click(selection, deleteDatabases, backupHistory);
    }
    // What the server was sent that changes it, boundaries named as a script names them.
    QStringList writes() const {
        QStringList found;
        for (const QString& entry : server.log) {
            if (entry.startsWith("service: "))
                continue;
            const QString sql = entry.mid(entry.indexOf(": ") + 2);
            if (sql == "BEGIN" || sql == "COMMIT" || sql == "ROLLBACK")
                found << sql + " TRANSACTION";
            else if (!RecordingDatabase::readsOnly(sql))
                found << sql;
        }
        return found;
    }
    Shown confirmedThen(short kind, const QString& text) const {
        return {{2, kQuestion}, {kind, text}};
    }

    // The work the run handed out, in order, each worker known by its first statement: "db X"
    // dropped, "set X" account set, "year X Y" year, "T+ X" account.
    QString work() const {
        static const QRegularExpression first(
            "^master: select (name|cAcc_Id|name,filename|DSName) from \\S+ where (?:1=1 and "
            "\\w+='(.*)'|name like 'ufdata\\[_\\](...)\\[_\\]([0-9]{4})')$");
        static const QHash<QString, QString> kinds = {
            {"name", "db "}, {"cAcc_Id", "set "}, {"name,filename", "year "}, {"DSName", "T+ "}};
        QStringList found;
        for (qsizetype i = 0; i < server.log.size(); ++i) {
            const auto m = first.match(server.log[i]);
            // The year worker's account check inside its transaction is not an account set.
            if (m.hasMatch() && (i == 0 || server.log[i - 1] != "master: BEGIN"))
                found.append(kinds[m.captured(1)] + m.captured(2) + m.captured(3) +
                             (m.captured(4).isEmpty() ? "" : " " + m.captured(4)));
        }
        return found.join(", ");
    }

    // The databases the server holds, as master..sysdatabases and their properties give them.
    QHash<QString, QList<QList<QVariant>>> described = {
        {"Sales", {{"Sales", 7, "ONLINE", "MULTI_USER", 0, 0}}},
        {"Stock", {{"Stock", 8, "ONLINE", "MULTI_USER", 0, 0}}},
        {"Archive2019", {{"Archive2019", 9, "ONLINE", "MULTI_USER", 0, 0}}}};
    QList<QPair<QString, QueryResult>> replies; // the first whose word the statement holds
    QString failingWord;
    RecordingProgress progress;
    int reloads = 0;
    std::function<bool(const ListedRow&)> stillShown = [](const ListedRow&) { return true; };
    DeletionRun run{progress, [this](const ListedRow& row) { return stillShown(row); },
                    [this] { ++reloads; }};
    bool serviceStops = true;
};

// --- What a run of each listing kind does ---

// Every row is done (told so, and the lists reloaded) unless `failing` fails with `failure`,
// which the operator is then told. The newer catalogue's task service, which holds its
// databases open, is stopped before the first statement and started again after the last,
// whatever the outcome.
struct RunCase {
    const char* name;
    bool newer;
    ConfirmedSelection selection;
    QString work; // as DeletionRunTest::work() names it
    int barValue; // where the bar ends
    QString failing = {};
    QString failure = {};
};

void PrintTo(const RunCase& c, std::ostream* os) {
    *os << c.name;
}

class ListingRuns : public DeletionRunTest, public ::testing::WithParamInterface<RunCase> {};

TEST_P(ListingRuns, DoTheTickedRowsInOrder) {
    const RunCase& c = GetParam();
    if (c.newer)
        newerCatalogue();
    st().SqlPassword = "Quenlor#2026";
    if (!c.failing.isEmpty())
        server.fail(c.failing, DbError{"42000", 3702, c.failure});
    // Each case's dry run first (with the backup history for the newer catalogue's): it sends
    // reads only, and records what the real run then sends.
    const RunPreview dry = DeletionRun::dryRun(c.selection, true, c.newer);
    EXPECT_TRUE(writes().isEmpty()) << writes().join('\n').toStdString();
    EXPECT_EQ(dry.stopsTaskService, c.newer);
    QStringList recorded;
    for (const RowPreview& row : dry.rows)
        recorded << row.statements;
    server.log.clear();
    confirm(c.selection, true, c.newer);
    const QStringList sent = writes();
    if (c.failing.isEmpty()) {
        EXPECT_EQ(recorded, sent);
    } else if (RecordingDatabase::readsOnly(c.failing)) {
        EXPECT_TRUE(dry.outcome.text().contains(c.failing)) << dry.outcome.text().toStdString();
    }
    // The run's log names every statement the server was sent, in order, and no password.
    QFile logged(st().LogFolder + "/Quenlor.log");
    ASSERT_TRUE(logged.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(logged.readAll()).split("\r\n", Qt::SkipEmptyParts);
    QStringList statements, expected;
    for (const QString& line : lines) {
        if (line.contains("  语句 "))
            statements << line.section("：", 1).section(" —— ", 0, 0).simplified();
    }
    for (const QString& entry : server.log.filter(QRegularExpression("^master: ")))
        expected << QString(entry.mid(8))
                        .replace(QRegularExpression("^(BEGIN|COMMIT|ROLLBACK)$"), "\\1 TRANSACTION")
                        .simplified();
    EXPECT_EQ(statements, expected);
    EXPECT_TRUE(lines.value(0).contains("  开始：") && lines.last().contains("  结束："));
    EXPECT_FALSE(lines.join('\n').contains(st().SqlPassword));
    // With the backup history, each database dropped loses it right after its drop.
    for (qsizetype i = 0; i < sent.size(); ++i) {
        static const QRegularExpression drop("^drop database \\[(.*)\\]$");
        if (const auto m = drop.match(sent[i]); m.hasMatch() && c.failing != sent[i]) {
            EXPECT_EQ(sent.value(i + 1).contains("@database_name = N'" + m.captured(1) + "'"),
                      c.newer);
        }
    }
    EXPECT_EQ(work(), c.work);
    EXPECT_EQ(progress.value, c.barValue);
    EXPECT_EQ(messages->shown.value(1).first, c.failing.isEmpty() ? 1 : 4);
    EXPECT_TRUE(
        messages->shown.value(1).second.contains(c.failing.isEmpty() ? kDone : "：" + c.failure));
    EXPECT_EQ(reloads, 1) << "the grid shows the server as the run left it";
    EXPECT_EQ(progress.ended, 1);
    // The newer catalogue's task service stops before the first statement, starts after the last.
    EXPECT_EQ(QStringList({server.log.value(0), server.log.value(server.log.size() - 1)})
                  .filter("service: "),
              (c.newer ? QStringList{"service: " + kStop, "service: " + kStart} : QStringList()));
}

INSTANTIATE_TEST_SUITE_P(
    DeletionRun, ListingRuns,
    ::testing::Values(
        RunCase{"DatabasesTopToBottomUntickedUntouched", true,
                ticked(Databases, {{1, DatabaseRow{"Sales"}}, {3, DatabaseRow{"Archive2019"}}}),
                "db Sales, db Archive2019", 2},
        RunCase{"FailingDatabaseKeepsEarlierRowsAndSkipsLaterOnes", false, kThreeDatabases,
                "db Sales, db Stock", 1, "drop database [Stock]",
                "无法删除数据库“Stock”，因为该数据库当前正在使用。"},
        // An account found nowhere is passed on with an empty name and counts as done.
        RunCase{"TplusLookedUpByNumberWithoutADatabaseName", false,
                ticked(TplusAccounts, {{1, TplusRow{"UFTData_Other", "", ""}},
                                       {2, TplusRow{"UFTData001", "001", "总公司"}},
                                       {3, TplusRow{"", "3", "分公司"}},
                                       {4, TplusRow{"", "12", "旧账"}}}),
                "T+ UFTData_Other, T+ UFTData001, T+ UFTData003, T+ ", 4},
        RunCase{"AccountSetsGoToTheAccountWorker", true,
                ticked(AccountSets,
                       {{1, AccountSetRow{"001", "演示账套"}}, {3, AccountSetRow{"005", ""}}}),
                "set 001, set 005", 2},
        RunCase{"EveryYearTickedRemovesTheWholeAccountSet", false,
                ticked(Years, {year(1, "2014"), year(2, "2015")}, true), "set 003", 1},
        RunCase{"SomeYearsTickedRemovesOnlyThoseYears", false,
                ticked(Years, {year(1, "2014"), year(3, "2016")}), "year 003 2014, year 003 2016",
                2},
        // A range of one year is that year.
        RunCase{"YearRangeRemovesEachYearInOrderAndAdvancesTheBarOnce", true,
                ticked(Years, {year(1, "2012-2014"), year(2, "2015-2015")}),
                "year 003 2012, year 003 2013, year 003 2014, year 003 2015", 2},
        RunCase{"YearFailingInsideARangeStopsTheRange", true,
                ticked(Years, {year(1, "2012-2014"), year(2, "2015-2016")}),
                "year 003 2012, year 003 2013", 0,
                "select name,filename from master..sysdatabases where name like "
                "'ufdata[_]003[_]2013'",
                "通讯链接失败"}),
    [](const ::testing::TestParamInfo<RunCase>& info) { return std::string(info.param.name); });

// --- The task service ---

// Left alone when no database is dropped (the check box unticked) or when it is not installed;
// the run goes on all the same.
TEST_F(DeletionRunTest, TaskServiceLeftAloneWhenNoDatabaseGoesOrItIsMissing) {
    newerCatalogue();
    confirm(ticked(AccountSets, {{1, AccountSetRow{"005", ""}}}), false);
    confirm(ticked(TplusAccounts, {{1, TplusRow{"UFTData001", "001", ""}}}), false);
    EXPECT_FALSE(server.log.join('\n').contains("sysdatabases")) << "every database stays";
    EXPECT_EQ(messages->shown.value(0),
              qMakePair(short(2),
                        QString("将从系统管理中删除所选项目的记录（不删除数据库），确认操作吗？")));
    services->table.clear();
    confirm(kThreeDatabases);
    EXPECT_EQ(work(), "set 005, T+ UFTData001, db Sales, db Stock, db Archive2019");
    EXPECT_TRUE(services->commands.isEmpty());
}

// A log that cannot be written stops nothing; the operator is told once, after the outcome.
TEST_F(DeletionRunTest, UnwritableLogIsToldOnceAndTheRunGoesOn) {
    writeProgramFile("file", "not a folder");
    st().LogFolder = programDir.filePath("file/log");
    confirm(kThreeDatabases);
    EXPECT_EQ(work(), "db Sales, db Stock, db Archive2019");
    ASSERT_EQ(messages->shown.size(), 3);
    EXPECT_EQ(messages->shown[1].second, kDone);
    EXPECT_TRUE(messages->shown[2].second.contains(QDir::toNativeSeparators(st().LogFolder)));
}

TEST_F(DeletionRunTest, ServiceThatWillNotStopAbortsBeforeAnyStatement) {
    newerCatalogue();
    serviceStops = false;
    confirm(ticked(Years, {year(2, "2015-2016")}));
    EXPECT_EQ(server.log, (QStringList{"service: " + kStop}));
    EXPECT_EQ(messages->shown, confirmedThen(4, "未能停止U8TaskService服务操作中止"));
    EXPECT_EQ(reloads, 0);
}

// A connection lost since the listing that cannot be opened again: nothing reaches the server or
// the service, and the operator reads why.
TEST_F(DeletionRunTest, LostConnectionThatCannotBeOpenedAgainAbortsBeforeAnyStatement) {
    newerCatalogue();
    st().SqlServer = "srv";
    static_cast<test::FakeDatabase&>(*st().MasterConn).lose();
    server.failNextOpens(1, DbError{"08001", 20009, "Adaptive Server is unavailable"});
    confirm(ticked(Years, {year(2, "2015-2016")}));
    EXPECT_TRUE(server.log.isEmpty());
    EXPECT_EQ(messages->shown,
              confirmedThen(4, "无法连接到服务器 srv：Adaptive Server is unavailable"));
    EXPECT_EQ(reloads, 0);
}

// --- Rows refused before anything runs ---

// The operator is told why (or asked, and says no); nothing reaches the server or the service.
TEST_F(DeletionRunTest, RefusedRowsTouchNothing) {
    const struct {
        const char* name;
        ConfirmedSelection selection;
        QString says; // how the one message shown begins
    } cases[] = {
        {"nothing ticked", ticked(Databases, {}), "请选择删除项目！"},
        {"confirmation refused", kThreeDatabases, kQuestion},
        {"short account code",
         ticked(AccountSets, {{1, AccountSetRow{"001", "演示"}}, {3, AccountSetRow{"00", ""}}}),
         "第 3 行的账套号“00”无效"},
        {"backwards range", ticked(Years, {year(1, "2014-2012")}), "第 1 行的年度“2014-2012”无效"},
        {"T+ account number of ten digits",
         ticked(TplusAccounts, {{1, TplusRow{"", "1234567890", ""}}}),
         "第 1 行没有数据库名，其账套号“1234567890”也无效"},
        {"T+ account number that is not a number",
         ticked(TplusAccounts,
                {{1, TplusRow{"UFTData001", "001", ""}}, {2, TplusRow{"", "1 or 1=1", ""}}}),
         "第 2 行没有数据库名，其账套号“1 or 1=1”也无效"},
        // A year row handed to the account-set worker would remove every year of the set.
        {"listing no longer the choice", ticked(Years, {year(1, "2012-2014")}, false, false),
         kMismatch},
    };
    newerCatalogue();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        messages->shown.clear();
        run.cmdConfirm_Click(c.selection, true); // a question is answered No
        ASSERT_EQ(messages->shown.size(), 1);
        EXPECT_TRUE(messages->shown[0].second.startsWith(c.says))
            << messages->shown[0].second.toStdString();
        // The preview refuses the same rows with the same text, sending nothing either.
        if (c.says != kQuestion) {
            const RunPreview dry = DeletionRun::dryRun(c.selection, true, false);
            EXPECT_TRUE(dry.refused);
            EXPECT_EQ(dry.outcome.text(), messages->shown[0].second);
        }
    }
    EXPECT_TRUE(server.log.isEmpty()) << server.log.join('\n').toStdString();
    EXPECT_EQ(progress.started, 0);
}

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
    progress.onStopAsked = [] { return true; };
    confirm(kThreeDatabases);
    EXPECT_EQ(work(), "db Sales");
    EXPECT_EQ(services->commands, (QStringList{kStop, kStart}));
    EXPECT_EQ(messages->shown,
              confirmedThen(1, "已停止：已完成 1 项，其余 2 项未处理。\n已完成：数据库“Sales”\n"
                               "未处理：数据库“Stock”、数据库“Archive2019”"));
    EXPECT_EQ(reloads, 1);
}

TEST_F(DeletionRunTest, RowChangedDuringTheRunIsAFailedRow) {
    stillShown = [](const ListedRow& row) { return row.row != 3; };
    confirm(kThreeDatabases);
    EXPECT_EQ(work(), "db Sales, db Stock");
    EXPECT_TRUE(messages->shown.value(1).second.contains(
        "失败：数据库“Archive2019”：列表在删除过程中已改变（第 3 行）"));
    EXPECT_EQ(reloads, 1);
}

// --- What keeps a database from being dropped, checked before its row changes ---

// Stock cannot go (says why; empty when it can): its row is passed over untouched, the rows
// around it still go. The 2000 family is never asked for views it lacks, nor a server before
// 2012 for availability groups. The checks the simulator cannot stage are here.
TEST_F(DeletionRunTest, DatabaseThatCannotGoRefusesOnlyItsRow) {
    using Replies = QList<QPair<QString, QueryResult>>;
    const Replies notARole = {{"IS_SRVROLEMEMBER", table({"sa", "creator"}, {{0, 0}})}};
    const struct {
        const char* name;
        int major;
        const char* state; // nullptr: Stock is missing
        const char* access;
        int merged;
        Replies replies;
        QString says;
        QString failing = {};
    } cases[] = {
        // clang-format off
        {"missing", 10, nullptr, "", 0, {}, "不存在"},
        {"single user and free", 10, "ONLINE", "SINGLE_USER", 0, {{"sysprocesses", table({"users"}, {{0}})}}, ""},
        {"restoring on the 2000 family", 8, "RESTORING", "MULTI_USER", 0, {}, "正在还原，服务器不允许删除"},
        {"merge published", 10, "ONLINE", "MULTI_USER", 1, {}, "已发布用于复制"},
        {"availability group", 11, "ONLINE", "MULTI_USER", 0,
         {{"where database_id=8", table({"group_database_id"}, {{"{7A1}"}})}}, "已加入可用性组"},
        {"no permission", 10, "ONLINE", "MULTI_USER", 0,
         {{"N'Stock'", table({"anydb", "control"}, {{0, 0}})}}, "没有删除权限"},
        {"no role on the 2000 family, not the owner", 8, "ONLINE", "MULTI_USER", 0,
         Replies{{"dbid=8 and sid", table({"owned"}, {{0}})}, {"SUSER_SID", table({"owned"}, {{1}})}} + notARole,
         "没有删除权限"},
        {"the owner on the 2000 family", 8, "ONLINE", "MULTI_USER", 0,
         Replies{{"SUSER_SID", table({"owned"}, {{1}})}} + notARole, ""},
        {"check that fails", 10, "ONLINE", "MULTI_USER", 0, {}, "无法检查其数据库能否删除：通讯链接失败",
         "source_database_id=8"},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server.log.clear();
        messages->shown.clear();
        st().ServerMajorVersion = c.major;
        described["Stock"] = {};
        if (c.state)
            described["Stock"] << QList<QVariant>{"Stock", 8, c.state, c.access, 0, c.merged};
        replies = c.replies;
        failingWord = c.failing;
        confirm(kThreeDatabases);
        EXPECT_EQ(work(), c.says.isEmpty() ? "db Sales, db Stock, db Archive2019"
                                           : "db Sales, db Archive2019");
        const QString told = messages->shown.value(1).second;
        EXPECT_EQ(messages->shown.value(1).first, 1);
        EXPECT_TRUE(c.says.isEmpty()
                        ? !told.contains("未删除（")
                        : told.contains(QRegularExpression("\n数据库“Stock”[^\n]*" +
                                                           QRegularExpression::escape(c.says))))
            << told.toStdString();
        const QString sent = server.log.join('\n');
        EXPECT_EQ(sent.contains("sys."), c.major > 8);
        EXPECT_EQ(sent.contains("group_database_id"), c.major > 10);
    }
}

} // namespace
} // namespace quenlor
