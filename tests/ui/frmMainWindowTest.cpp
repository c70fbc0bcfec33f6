#include "core/app/ServerWorker.h"
#include "platform/Gbk.h"
#include "support/ListingStatements.h"
#include "support/TestState.h"
#include "support/UiDriver.h"
#include "ui/frmMain.h"
#include "ui/frmPreview.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QRegularExpression>
#include <QSemaphore>
#include <QTableView>
#include <QTextDocument>
#include <QToolTip>
#include <QTreeWidget>

#include <functional>

namespace quenlor::test {
namespace {

const QString kSqlListing = sqlListing();

// The main window over a scripted server: master and tempdb connections are open, nothing is
// installed until a test says so.
class FrmMainWindowTest : public StateFixture {
protected:
    ~FrmMainWindowTest() override {
        // The window goes before the state that its listing reads.
        window.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void has(const char* catalogue) {
        server.answer(QStringLiteral("select name from sysdatabases where 1=1 and name='%1'")
                          .arg(QLatin1String(catalogue)),
                      table({"name"}, {{catalogue}}));
    }
    void accounts(const QList<QList<QVariant>>& rows) {
        server.answer(kAccountQuery, table({"Acc"}, rows));
    }
    // Databases on the server as the plain database listing shows them (the first with `path`),
    // each found by the look-up that comes before its drop, and described to the checks before
    // it as online with nobody in it.
    void databases(const QStringList& names, const QString& path = {}) {
        server.respond = [](const QString& sql) -> std::optional<QueryResult> {
            const auto m =
                QRegularExpression("DATABASEPROPERTYEX.* where name='(\\w+)'$").match(sql);
            return m.hasMatch() ? table({"name", "dbid"}, {{m.captured(1), 7}}) : QueryResult();
        };
        QList<QList<QVariant>> rows;
        for (const QString& db : names) {
            rows.append({"", db, "正常", rows.isEmpty() ? path : QString()});
            server.answer("select name from master..sysdatabases where 1=1 and name='" + db + "'",
                          table({"name"}, {{db}}));
        }
        server.answer(kSqlListing, table({"选择", "数据库", "状态", "路径"}, rows));
    }
    void threeDatabases() { databases({"Sales", "Stock", "Archive2019"}); }

    // Creates, loads and shows the window as the program does: the window's first job opens the
    // connections.
    void open() {
        window = std::make_unique<frmMain>();
        window->Form_Load([this] {
            st().MasterConn = std::make_unique<FakeDatabase>(server, QStringLiteral("master"));
            st().TempdbConn = std::make_unique<FakeDatabase>(server, QStringLiteral("Tempdb"));
        });
        window->show();
        settle();
        // The run's own tests confirm straight away; the preview before the question has its
        // own test.
        control<QCheckBox>("chkPreview")->setChecked(previewFirst);
    }
    bool previewFirst = false;

    template <typename T = QWidget> T* control(const char* name) {
        T* w = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QComboBox* cboType() { return control<QComboBox>("cboType"); }
    QComboBox* cboAcc() { return control<QComboBox>("cboAcc"); }
    QTableView* grid() { return control<QTableView>("grdTable"); }

    static QStringList entries(const QComboBox* combo) {
        QStringList texts;
        for (int i = 0; i < combo->count(); ++i)
            texts.append(combo->itemText(i));
        return texts;
    }
    // The listings sent to master: what is left after the look-ups of single names.
    QStringList listings() const {
        QStringList found;
        for (const QString& entry : server.log)
            if (entry.startsWith("master: ") && !entry.contains("where 1=1 and name="))
                found.append(entry.mid(8));
        return found;
    }
    // The ticks column as the grid shows it, top to bottom, "-" for a row without one.
    QString ticks() {
        QString marks;
        for (int row = 0; row < grid()->model()->rowCount(); ++row)
            marks += grid()->model()->index(row, 0).data().toString().leftJustified(1, u'-');
        return marks;
    }
    // A choice in the drop-down list, which reports the entry even when it was current already.
    static void choose(QComboBox* combo, int index) {
        combo->setCurrentIndex(index);
        emit combo->activated(index);
        settle();
    }
    // A click or double-click on a cell of the grid (row 0 is the first data row).
    void clickCell(int row, int col, bool twice = false) {
        pressMouse(grid()->viewport(), Qt::LeftButton,
                   grid()->visualRect(grid()->model()->index(row, col)).center(), twice);
    }

    // A tooltip read as Qt shows it: as rich text only when it looks so.
    static QString tipText(const QString& tip) {
        QTextDocument shown;
        Qt::mightBeRichText(tip) ? shown.setHtml(tip) : shown.setPlainText(tip);
        return shown.toPlainText();
    }

    std::unique_ptr<frmMain> window;
};

// --- The product and account lists, the grid ---

// Each product chosen lists once and sets the account controls; the keyboard and the refresh
// button list once too, even for an entry chosen again.
TEST_F(FrmMainWindowTest, EachOperatorActionListsExactlyOnceAndSetsTheAccountControls) {
    has("ufsystem");
    has("uftsystem");
    accounts({{"[001]总公司"}, {"[003]分公司"}});
    server.answer(tplusListing(), table({"选择", "数据库"}));
    threeDatabases();
    open();
    EXPECT_EQ(listings(), QStringList{accountSetListing()}) << "start-up";
    ASSERT_EQ(entries(cboType()), (QStringList{"T3|T6|U8", "T+", "SQL"}));
    // In this order, so that leaving the plain databases has to bring the account controls back.
    const std::tuple<const char*, std::function<void()>, bool, QString> actions[] = {
        {"account changed from the keyboard", [&] { pressKey(cboAcc(), Qt::Key_Down); }, true,
         "路径"},
        {"the same account chosen again", [&] { choose(cboAcc(), cboAcc()->currentIndex()); }, true,
         "路径"},
        {"plain databases chosen", [&] { choose(cboType(), 2); }, false, "路径"},
        {"refresh button", [&] { click(control("cmdBrush")); }, false, "路径"},
        {"product changed from the keyboard", [&] { pressKey(cboType(), Qt::Key_Up); }, true,
         "数据库"},
    };
    for (const auto& [name, act, accountsShown, lastColumn] : actions) {
        SCOPED_TRACE(name);
        const qsizetype before = listings().size();
        act();
        EXPECT_EQ(listings().size(), before + 1);
        EXPECT_EQ(cboAcc()->isVisibleTo(window.get()), accountsShown);
        EXPECT_EQ(control<QCheckBox>("chkDeleteDB")->isChecked(), !accountsShown);
        EXPECT_EQ(control<QCheckBox>("chkDeleteDB")->isEnabled(), accountsShown);
        const int columns = grid()->model()->columnCount();
        EXPECT_EQ(grid()->model()->headerData(columns - 1, Qt::Horizontal).toString(), lastColumn);
    }
    EXPECT_EQ(entries(cboAcc()), QStringList{"全部"}) << "the cloud product has no account list";
    EXPECT_EQ(listings().mid(3), (QStringList{kSqlListing, kSqlListing, tplusListing()}));
}

// One window throughout: each input, in turn, leaves these ticks and has ended the program so
// many times. A click or a double-click on a tick cell toggles it once, Space toggles the current
// row, Enter presses the focused button. Nothing else can change: no cell is edited and one cell
// at most is selected.
// The window keeps its size: restoring, maximising and minimising are not offered.
TEST_F(FrmMainWindowTest, OperatorTicksRowsAndOnlyTheClosePictureOrCancelEndsTheProgram) {
    const auto enterOn = [&](const char* button) {
        control(button)->setFocus();
        typeKey(window.get(), Qt::Key_Return);
    };
    const std::tuple<const char*, std::function<void()>, QString, int> inputs[] = {
        {"Space on the first cell", [&] { pressKey(grid(), Qt::Key_Space); }, "Y--", 0},
        {"click on a tick cell", [&] { clickCell(1, 0); }, "YY-", 0},
        {"double-click on a tick cell", [&] { clickCell(2, 0, true); }, "YYY", 0},
        {"double-click on another column", [&] { clickCell(1, 1, true); }, "YYY", 0},
        {"Space on another column", [&] { pressKey(grid(), Qt::Key_Space); }, "Y-Y", 0},
        {"F2", [&] { pressKey(grid(), Qt::Key_F2); }, "Y-Y", 0},
        {"Enter on select all", [&] { enterOn("cmdSelect"); }, "YYY", 0},
        {"clear all", [&] { click(control("cmdClear")); }, "---", 0},
        {"Esc", [&] { pressKey(grid(), Qt::Key_Escape); }, "---", 0},
        {"right button",
         [&] {
             pressMouse(control("imgExit"), Qt::RightButton, {8, 8});
         },
         "---", 0},
        {"close picture", [&] { click(control("imgExit")); }, "---", 1},
        {"Enter on cancel", [&] { enterOn("cmdCancel"); }, "---", 2},
    };
    threeDatabases();
    open();
    for (const char* name : {"imgResum", "imgMax", "imgMin"})
        EXPECT_FALSE(control(name)->isVisibleTo(window.get())) << name;
    for (const auto& [name, input, expected, ends] : inputs) {
        SCOPED_TRACE(name);
        input();
        EXPECT_EQ(ticks(), expected);
        EXPECT_EQ(window->CountTicked(), expected.count(u'Y'));
        EXPECT_TRUE(grid()->findChildren<QLineEdit*>().isEmpty());
        EXPECT_LE(grid()->selectionModel()->selectedIndexes().size(), 1);
        EXPECT_EQ(system->endCalls, ends);
        EXPECT_EQ(system->lastExitCode, ends > 0 ? 0 : -1);
    }
    EXPECT_TRUE(messages->shown.isEmpty()) << "nothing is asked first";
}

// --- The caption, the logo and the about box ---

// Texts from a downloaded Readme.txt show as written, never as markup; the logo opens the
// maker's site. Nothing is cut off without a way to read it: a caption too long for its bar ends
// in "…" with the whole of it as the bar's tooltip, a cell too narrow for its text shows it whole
// as its tooltip (one that fits shows none), and a column widens by dragging its header's border.
TEST_F(FrmMainWindowTest, ReadmeTextsShowAsWrittenAndNothingIsCutOffUnread) {
    const QString intro = QStringLiteral("<img src=\"p.png\">简介 &amp; <br>更多");
    const QString author = "<b>郑十</b>" + QString(90, u'长');
    http->next = {
        true,
        *encodeGbk("[说明]\r\n作者=" + author + "\r\n网址=a.test/q\r\n简介=" + intro + "\r\n"),
        {}};
    const QString path = "D:\\" + QString(90, u'数') + ".mdf";
    databases({"Sales"}, path);
    open();
    const auto* caption = control<QLabel>("labCaption");
    EXPECT_TRUE(caption->text().contains(QStringLiteral("作者:<b>郑十</b>")));
    EXPECT_TRUE(caption->text().endsWith(u'…'));
    EXPECT_LE(caption->fontMetrics().horizontalAdvance(caption->text()), caption->width());
    EXPECT_TRUE(tipText(caption->toolTip()).contains("作者:" + author));
    EXPECT_EQ(caption->textFormat(), Qt::PlainText);
    EXPECT_EQ(tipText(control("imgLogo")->toolTip()), intro);
    click(control("imgLogo"));
    EXPECT_EQ(system->openedUrls, QStringList{"http://a.test/q"});

    const auto tipAt = [&](int col) {
        const QPoint at = grid()->visualRect(grid()->model()->index(0, col)).center();
        QHelpEvent help(QEvent::ToolTip, at, grid()->viewport()->mapToGlobal(at));
        QApplication::sendEvent(grid()->viewport(), &help);
        return QToolTip::isVisible() ? tipText(QToolTip::text()) : QString();
    };
    EXPECT_EQ(tipAt(1), QString());
    EXPECT_EQ(tipAt(3), path);
    QHeaderView* header = grid()->horizontalHeader();
    const int width = header->sectionSize(1);
    const int border = header->sectionViewportPosition(1) + width - 1;
    const auto mouse = [&](QEvent::Type type, int x, Qt::MouseButtons held) {
        const QPointF at(x, header->height() / 2);
        QMouseEvent e(type, at, header->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
        QApplication::sendEvent(header->viewport(), &e);
    };
    mouse(QEvent::MouseButtonPress, border, Qt::LeftButton);
    mouse(QEvent::MouseMove, border + 80, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, border + 80, Qt::NoButton);
    EXPECT_EQ(header->sectionSize(1), width + 80);
}

// --- The deletion run ---

using Shown = QPair<short, QString>;
const Shown kQuestion{2, "重要提示:数据库删除后将不可恢复，确认操作吗？"};
const Shown kDone{1, "已成功删除！"};
const Shown kLeave{2, "删除正在进行，确定在当前数据库完成后退出吗？"};

class FrmMainRunTest : public FrmMainWindowTest {
protected:
    void confirmYes() {
        messages->answers.append(MsgResult::Yes);
        click(control("cmdConfirm"));
    }
    // The controls the operator can use.
    QStringList usable() {
        QStringList names;
        for (const char* name :
             {"cboType", "cboAcc", "chkDeleteDB", "cmdBrush", "grdTable", "cmdSelect", "cmdClear",
              "cmdConfirm", "cmdStop", "cmdCancel", "imgExit", "labAbout"})
            if (control(name)->isEnabled())
                names.append(QString::fromLatin1(name));
        return names;
    }
    // What the window shows of a run: the bar and the report line.
    QStringList progress() {
        QStringList shown;
        if (const auto* bar = control<QProgressBar>("ProBar"); bar->isVisible())
            shown.append(QStringLiteral("%1 of %2").arg(bar->value()).arg(bar->maximum()));
        if (const auto* report = control<QLabel>("labReport"); report->isVisible())
            shown.append(report->text());
        return shown;
    }
};

// While the server worker reads a listing, or a product's accounts and listing, the window keeps
// turning: what would start other work is locked but shown, the report line says what is read
// and for how long, nothing asked meanwhile starts, and closing the window ends the program
// without waiting for the server.
TEST_F(FrmMainRunTest, WorkInHandLocksWhatWouldStartOtherWorkAndSaysSo) {
    // Each row's action waits in its first statement until the window has been tried.
    const std::tuple<const char*, std::function<void()>, QStringList> rows[] = {
        {"refresh button",
         [&] { control<QAbstractButton>("cmdBrush")->click(); },
         {"master: " + accountSetListing()}},
        {"product chosen",
         [&] { cboType()->setCurrentIndex(0), cboType()->activated(0); },
         {"Tempdb: " + kAccountQuery, "master: " + accountSetListing()}},
    };
    has("ufsystem");
    QSemaphore held;
    QString holding;
    // Any statement gets one account set row, which has no account entry.
    server.respond = [&](const QString& sql) -> std::optional<QueryResult> {
        if (sql == holding)
            held.tryAcquire(1, 5000);
        return table({"选择", "账套号", "账套名称", "状态"}, {{"", "001", "总公司", "正常"}});
    };
    for (const auto& [name, act, statements] : rows) {
        SCOPED_TRACE(name);
        holding.clear(), open();
        const QStringList idle = usable();
        server.log.clear(), holding = statements.first().section(": ", 1, -1);
        act();
        auto* report = control<QLabel>("labReport");
        turnUntil([&] { return report->isVisible(); });
        EXPECT_TRUE(
            QRegularExpression("^正在读取账套列表… \\d+ 秒$").match(report->text()).hasMatch());
        EXPECT_EQ(usable(), (QStringList{"cmdCancel", "imgExit", "labAbout"}));
        EXPECT_TRUE(control("cmdConfirm")->isVisible() && control("cboType")->isVisible());
        // As clicks queued before the lock.
        window->cmdConfirm_Click();
        window->cboType_Click();
        EXPECT_TRUE(window->close());
        held.release(), settle();
        EXPECT_EQ(server.log, statements);
        EXPECT_TRUE(messages->shown.isEmpty() && report->isHidden());
        EXPECT_EQ(usable(), idle);
    }
    EXPECT_EQ(system->endCalls, 2) << "each close ends the program at once";
}

// While the run goes, the window shows its progress and only the stop button and the ways out
// work; leaving asks first, and on yes the run stops after the row in hand and the program ends
// once it is over. However the run ends, the operator is told and every control is as it was.
TEST_F(FrmMainRunTest, RunLocksTheWindowAndEveryEndPutsItBack) {
    const Shown stopped{1, "已停止：已完成 1 项，其余 2 项未处理。\n已完成：数据库“Sales”\n"
                           "未处理：数据库“Stock”、数据库“Archive2019”"};
    const Shown inUse{4, "删除未全部完成：已完成 1 项，数据库“Stock”失败，其余 1 项未处理。\n"
                         "已完成：数据库“Sales”\n失败：数据库“Stock”：数据库正在使用。\n"
                         "未处理：数据库“Archive2019”"};
    // However it ends, the run lists again what is on the server. Each row closes the window
    // during the run; `leave` answers the question this asks, `stop` then clicks 停止.
    const std::tuple<const char*, bool, bool, const char*, Shown> rows[] = {
        {"every row goes", false, false, nullptr, kDone},
        {"stop between rows", false, true, nullptr, stopped},
        {"leave between rows", true, false, nullptr, stopped},
        // Last, as the failure stays scripted.
        {"second row fails", false, false, "drop database [Stock]", inUse},
    };
    for (const auto& [name, leave, stop, failing, outcome] : rows) {
        SCOPED_TRACE(name);
        if (failing != nullptr)
            server.fail(QString::fromLatin1(failing), DbError{"42000", 3702, "数据库正在使用。"});
        threeDatabases();
        open();
        click(control("cmdSelect"));
        server.log.clear();
        messages->shown.clear();
        const QStringList before = usable();
        // The first row's check waits until the window has been tried, long enough for the report
        // line to count its seconds.
        QSemaphore held;
        std::atomic<bool> first = true;
        server.respond = [&, answer = server.respond](const QString& sql) {
            if (sql.contains("'Sales'") && first.exchange(false))
                held.tryAcquire(1, 5000);
            return answer(sql);
        };
        messages->answers.append(MsgResult::Yes);
        control<QAbstractButton>("cmdConfirm")->click();
        // Until the report line counts the seconds of the first row.
        turnUntil([&] { return control<QLabel>("labReport")->text().endsWith("个 1 秒"); });
        const QStringList during = progress() + usable();
        // Each of these would change the ticks or the listing under the run.
        click(control("cmdClear"));
        pressKey(cboType(), Qt::Key_Up);
        clickCell(2, 0, true);
        click(control("cmdConfirm"));
        const int ended = system->endCalls;
        messages->answers.append(leave ? MsgResult::Yes : MsgResult::No);
        const bool closed = window->close();
        if (stop)
            click(control("cmdStop"));
        const QString waiting = control<QLabel>("labReport")->text();
        held.release(), settle();

        EXPECT_EQ(during, (QStringList{"0 of 3", "正在删除数据库：Sales，第 1 个，共 3 个 1 秒",
                                       "cmdStop", "cmdCancel", "imgExit"}));
        EXPECT_FALSE(closed);
        EXPECT_EQ(waiting, leave || stop ? "正在等待当前数据库删除完成…" : during[1]);
        EXPECT_EQ(system->endCalls - ended, leave ? 1 : 0) << "the program ends after the run";
        EXPECT_EQ(messages->shown, (QList<Shown>{kQuestion, kLeave, outcome}));
        EXPECT_EQ(progress(), QStringList{});
        EXPECT_EQ(usable(), before);
        EXPECT_EQ(ticks(), "---");
        EXPECT_EQ(listings().count(kSqlListing), 1);
        // Database names come from the server: never read as markup.
        EXPECT_EQ(control<QLabel>("labReport")->textFormat(), Qt::PlainText);
        if (stop || leave) {
            // The next run starts without the old stop request.
            click(control("cmdSelect"));
            confirmYes();
            EXPECT_EQ(messages->shown.last(), kDone);
        }
    }
}

TEST_F(FrmMainRunTest, ConfirmHandsTheTickedYearsAndTheCheckBoxToTheRun) {
    has("ufsystem");
    accounts({{"[003]演示账套"}});
    server.answer(yearListing("003"),
                  table({"选择", "账套号", "账套名称", "年度"},
                        {{"", "003", "演示账套", 2014}, {"", "003", "演示账套", 2015}}));
    // The year worker told to drop the databases starts by looking for them.
    const QString lookUp2015 = QStringLiteral(
        "select name,filename from master..sysdatabases where name like 'ufdata[_]003[_]2015'");
    for (const bool dropDatabases : {true, false}) {
        SCOPED_TRACE(dropDatabases ? "box ticked" : "box left clear");
        open();
        choose(cboAcc(), 1);
        ASSERT_EQ(listings().last(), yearListing("003"));
        clickCell(1, 0, true);
        if (dropDatabases)
            click(control("chkDeleteDB"));
        server.log.clear();
        confirmYes();
        const QString sent = server.log.join('\n');
        EXPECT_EQ(sent.contains(lookUp2015), dropDatabases);
        EXPECT_EQ(messages->shown.last(), kDone);
        EXPECT_FALSE(sent.contains("2014")) << "only the ticked year";
        // Success lists again, the account shown kept.
        EXPECT_EQ(cboAcc()->currentText(), QStringLiteral("[003]演示账套"));
        EXPECT_EQ(listings().last(), yearListing("003"));
        EXPECT_FALSE(control<QCheckBox>("chkDeleteDB")->isChecked());
    }
}

// 全选 leaves the system databases and says which; one ticked by hand goes only once its name is
// typed (letter case as the server ignores it), and a wrong or missing name calls off the whole
// run before the question.
TEST_F(FrmMainRunTest, SystemDatabasesGoOnlyWithTheirNameTyped) {
    const QString ask = QStringLiteral("请输入数据库名以确认删除系统数据库：");
    const QList<Shown> asked{{0, ask + "ufsystem"}, {0, ask + "ReportServerTempDB"}};
    const std::tuple<const char*, QStringList, qsizetype, bool> rows[] = {
        {"nothing typed", {}, 1, false},
        {"second name wrong", {"UFSystem", "ReportServer"}, 2, false},
        {"both typed", {"UFSYSTEM", "reportservertempdb"}, 2, true},
    };
    for (const auto& [name, typed, prompts, drops] : rows) {
        SCOPED_TRACE(name);
        databases({"Sales", "ufsystem", "ReportServerTempDB"});
        open();
        click(control("cmdSelect"));
        EXPECT_EQ(ticks(), "Y--");
        EXPECT_TRUE(control<QLabel>("labReport")->text().contains("2 个系统数据库：ufsystem、"));
        clickCell(1, 0);
        clickCell(2, 0);
        messages->shown.clear();
        messages->typed = typed;
        confirmYes();
        EXPECT_EQ(messages->shown.mid(0, prompts), asked.mid(0, prompts));
        EXPECT_EQ(messages->shown.mid(prompts),
                  (drops ? QList<Shown>{kQuestion, kDone} : messages->shown.mid(prompts, 1)));
        EXPECT_EQ(messages->shown.last().second.contains("未删除任何内容"), !drops);
        EXPECT_EQ(server.log.join('\n').count("drop database"), drops ? 3 : 0);
    }
}

// With 删除前预览 (ticked by default) 确定 shows the preview first and only its 继续删除 leads to
// the question; 预览 shows it alone. The preview sends reads only, and shows every ticked row and
// the statements the run then sends.
TEST_F(FrmMainRunTest, PreviewComesBeforeTheQuestionAndSendsNoChange) {
    const std::tuple<const char*, const char*, bool, QList<Shown>> rows[] = {
        {"previewed, then continued", "cmdConfirm", true, {kQuestion, kDone}},
        {"previewed, then cancelled", "cmdConfirm", false, {}},
        {"preview alone", "cmdPreview", true, {}},
    };
    for (const auto& [name, button, goOn, told] : rows) {
        SCOPED_TRACE(name);
        threeDatabases();
        previewFirst = true;
        open();
        click(control("cmdSelect"));
        click(control("chkDeleteDB"));
        server.log.clear();
        messages->shown.clear();
        QStringList shown;
        QString script;
        QStringList sentBefore;
        frmPreview::answer = [&, goOn = goOn](frmPreview& p) {
            for (int i = 0; i < p.effects()->topLevelItemCount(); ++i)
                shown << p.effects()->topLevelItem(i)->text(0);
            script = p.scriptText();
            sentBefore = server.log;
            return goOn;
        };
        if (!told.isEmpty())
            messages->answers.append(MsgResult::Yes);
        click(control(button));
        settle();
        frmPreview::answer = nullptr;
        EXPECT_EQ(shown, (QStringList{"数据库“Sales”", "数据库“Stock”", "数据库“Archive2019”"}));
        EXPECT_TRUE(script.contains("drop database [Archive2019]\r\nGO"));
        EXPECT_FALSE(sentBefore.join('\n').contains("drop database"));
        EXPECT_EQ(messages->shown, told);
        EXPECT_EQ(server.log.join('\n').count("drop database"), told.isEmpty() ? 0 : 3);
    }
}

} // namespace
} // namespace quenlor::test
