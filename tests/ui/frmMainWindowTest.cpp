#include "core/login/clsUFLogin.h"
#include "platform/Gbk.h"
#include "support/ListingStatements.h"
#include "support/TestState.h"
#include "support/UiDriver.h"
#include "ui/WindowDrag.h"
#include "ui/frmAbout.h"
#include "ui/frmMain.h"
#include "ui/frmMsg.h"
#include "ui/frmSQLLogin.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTableView>
#include <QTextDocument>
#include <QTimer>

#include <functional>

namespace quenlor {

struct ClsUFLoginTestAccess {
    static void setVersion(clsUFLogin& bridge, ProductFamily version) {
        bridge.m_Version = version;
    }
};

namespace test {
namespace {

const QString kSqlListing = sqlListing();

// The main window over a scripted server: master and tempdb connections are open, nothing is
// installed until a test says so.
class FrmMainWindowTest : public StateFixture {
protected:
    FrmMainWindowTest() {
        st().MasterConn = std::make_unique<FakeDatabase>(server, QStringLiteral("master"));
        st().TempdbConn = std::make_unique<FakeDatabase>(server, QStringLiteral("Tempdb"));
    }
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
        server.answer("select '['+cAcc_Id+']'+cAcc_Name as Acc from ufsystem..ua_account order by "
                      "cAcc_Id",
                      table({"Acc"}, rows));
    }
    // Three databases on the server, as the plain database listing shows them.
    void threeDatabases() {
        server.answer(kSqlListing, table({"选择", "数据库", "状态", "路径"},
                                         {{"", "Sales", "正常", "D:\\Sales.mdf"},
                                          {"", "Stock", "只读", "D:\\Stock.mdf"},
                                          {"", "Archive2019", "脱机", ""}}));
    }

    // Creates, loads and shows the window as the program does.
    void open() {
        window = std::make_unique<frmMain>();
        window->Form_Load();
        window->show();
        QApplication::processEvents();
    }

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
    }
    // A click or double-click on a cell of the grid (row 0 is the first data row).
    void clickCell(int row, int col, bool twice = false) {
        pressMouse(grid()->viewport(), Qt::LeftButton,
                   grid()->visualRect(grid()->model()->index(row, col)).center(), twice);
    }

    std::unique_ptr<frmMain> window;
};

// --- The product and account lists ---

TEST_F(FrmMainWindowTest, EachProductSetsTheAccountControlsAndFillsTheGrid) {
    has("ufsystem");
    has("uftsystem");
    accounts({{"[001]总公司"}});
    server.answer(accountSetListing(), table({"选择", "账套号"}));
    server.answer(tplusListing(), table({"选择", "数据库"}));
    threeDatabases();
    open();
    ASSERT_EQ(entries(cboType()), (QStringList{"T3|T6|U8", "T+", "SQL"}));
    // In this order, so that leaving the plain databases has to bring the account controls back.
    const std::tuple<const char*, int, bool, QStringList, QString> rows[] = {
        {"plain databases: no account sets, the databases go", 2, false, {"全部"}, "路径"},
        {"shared catalogue", 0, true, {"全部", "[001]总公司"}, "账套号"},
        {"cloud product", 1, true, {"全部"}, "数据库"},
    };
    for (const auto& [name, entry, accountsShown, accounts, lastColumn] : rows) {
        SCOPED_TRACE(name);
        choose(cboType(), entry);
        EXPECT_EQ(control("lblAcc")->isVisibleTo(window.get()), accountsShown);
        EXPECT_EQ(cboAcc()->isVisibleTo(window.get()), accountsShown);
        EXPECT_EQ(entries(cboAcc()), accounts);
        EXPECT_EQ(control<QCheckBox>("chkDeleteDB")->isChecked(), !accountsShown);
        EXPECT_EQ(control<QCheckBox>("chkDeleteDB")->isEnabled(), accountsShown);
        const int columns = grid()->model()->columnCount();
        EXPECT_EQ(grid()->model()->headerData(columns - 1, Qt::Horizontal).toString(), lastColumn);
    }
}

TEST_F(FrmMainWindowTest, ProductNamedByTheErpReplacesTheSharedCatalogue) {
    ClsUFLoginTestAccess::setVersion(st().UFLogin(), ProductFamily::U8);
    has("ufsystem");
    open();
    EXPECT_EQ(entries(cboType()), (QStringList{"U8", "SQL"}));
    EXPECT_FALSE(server.log.join('\n').contains("name='ufsystem'"));
}

TEST_F(FrmMainWindowTest, EachOperatorActionListsExactlyOnce) {
    has("ufsystem");
    has("uftsystem");
    accounts({{"[001]总公司"}, {"[003]分公司"}});
    open();
    EXPECT_EQ(listings(), QStringList{accountSetListing()}) << "start-up";
    const std::pair<const char*, std::function<void()>> actions[] = {
        {"account changed from the keyboard", [&] { pressKey(cboAcc(), Qt::Key_Down); }},
        {"the same account chosen again", [&] { choose(cboAcc(), cboAcc()->currentIndex()); }},
        {"product changed from the keyboard", [&] { pressKey(cboType(), Qt::Key_Down); }},
        {"product chosen in the list", [&] { choose(cboType(), 2); }},
        {"refresh button", [&] { click(control("cmdBrush")); }},
    };
    for (const auto& [name, act] : actions) {
        const qsizetype before = listings().size();
        act();
        EXPECT_EQ(listings().size(), before + 1) << name;
    }
    EXPECT_EQ(listings().mid(3), (QStringList{tplusListing(), kSqlListing, kSqlListing}));
}

// --- The grid ---

// One window throughout: each input, in turn, leaves these ticks. Nothing else can change: no
// cell is edited and one cell at most is selected.
TEST_F(FrmMainWindowTest, OperatorTicksRowsWithTheMouseSpaceAndTheButtons) {
    const std::tuple<const char*, std::function<void()>, QString> inputs[] = {
        {"Space on the first cell", [&] { pressKey(grid(), Qt::Key_Space); }, "Y--"},
        {"double-click on a tick cell", [&] { clickCell(2, 0, true); }, "Y-Y"},
        {"double-click on another column", [&] { clickCell(1, 1, true); }, "Y-Y"},
        {"Space on another column", [&] { pressKey(grid(), Qt::Key_Space); }, "Y-Y"},
        {"F2", [&] { pressKey(grid(), Qt::Key_F2); }, "Y-Y"},
        {"select all", [&] { click(control("cmdSelect")); }, "YYY"},
        {"clear all", [&] { click(control("cmdClear")); }, "---"},
    };
    threeDatabases();
    open();
    for (const auto& [name, input, expected] : inputs) {
        SCOPED_TRACE(name);
        input();
        EXPECT_EQ(ticks(), expected);
        EXPECT_EQ(window->CountTicked(), expected.count(u'Y'));
        EXPECT_TRUE(grid()->findChildren<QLineEdit*>().isEmpty());
        EXPECT_LE(grid()->selectionModel()->selectedIndexes().size(), 1);
    }
}

// --- Keyboard, mouse and the frame ---

TEST_F(FrmMainWindowTest, TabWalksTheControlsInWorkingOrder) {
    has("ufsystem");
    accounts({{"[001]总公司"}});
    open();
    window->activateWindow();
    control("cmdStop")->setEnabled(true);
    cboType()->setFocus(Qt::OtherFocusReason);
    QStringList order{window->focusWidget()->objectName()};
    for (int i = 0; i < 10; ++i) {
        typeKey(window.get(), Qt::Key_Tab);
        order.append(window->focusWidget()->objectName());
    }
    EXPECT_EQ(order,
              (QStringList{"cboType", "cboAcc", "chkDeleteDB", "cmdBrush", "grdTable", "cmdSelect",
                           "cmdClear", "cmdConfirm", "cmdStop", "cmdCancel", "cboType"}));
}

TEST_F(FrmMainWindowTest, ClosePictureAndCancelEndTheProgramAtOnceAndNothingElseDoes) {
    open();
    const std::tuple<const char*, std::function<void()>, int> inputs[] = {
        {"Esc", [&] { pressKey(grid(), Qt::Key_Escape); }, 0},
        {"right button", [&] { pressMouse(control("imgExit"), Qt::RightButton, QPoint(8, 8)); }, 0},
        {"close picture", [&] { click(control("imgExit")); }, 1},
        {"cancel button", [&] { click(control("cmdCancel")); }, 2},
    };
    for (const auto& [name, input, ends] : inputs) {
        input();
        EXPECT_EQ(system->endCalls, ends) << name;
        EXPECT_EQ(system->lastExitCode, ends > 0 ? 0 : -1) << name;
    }
    EXPECT_TRUE(messages->shown.isEmpty()) << "nothing is asked first";
}

// A left press on a window's background, frame, caption or plain labels moves that window; other
// buttons, and presses on what can be clicked or typed into, never do.
TEST_F(FrmMainWindowTest, WhatAPressMoves) {
    open();
    frmMsg msg;
    frmSQLLogin login;
    frmAbout about;
    const auto in = [](QWidget* w, const char* name) {
        w->show();
        return w->findChild<QWidget*>(QString::fromLatin1(name));
    };
    QWidget* main = window.get();
    const QPoint background(grid()->geometry().center().x(),
                            (grid()->geometry().bottom() + control("cmdSelect")->y()) / 2);
    ASSERT_EQ(main->childAt(background), nullptr);
    const std::tuple<const char*, QWidget*, Qt::MouseButton, QWidget*> presses[] = {
        {"main window background", main, Qt::LeftButton, main},
        {"right button", main, Qt::RightButton, nullptr},
        {"top bar", control("imgTop"), Qt::LeftButton, main},
        {"caption", control("labCaption"), Qt::LeftButton, main},
        {"button", control("cmdSelect"), Qt::LeftButton, nullptr},
        {"message box caption", in(&msg, "labHint"), Qt::LeftButton, &msg},
        {"login label", in(&login, "Label1"), Qt::LeftButton, &login},
        {"login box", in(&login, "txtUser"), Qt::LeftButton, nullptr},
        {"about box label", in(&about, "Label1"), Qt::LeftButton, &about},
        {"about box close picture", in(&about, "picExit"), Qt::LeftButton, nullptr},
    };
    for (const auto& [name, target, button, mover] : presses) {
        QList<QWidget*> moved;
        auto previous = WindowDrag::setWindowMoveHook([&](QWidget* w) { moved.append(w); });
        pressMouse(target, button, target == main ? background : QPoint(3, 3));
        WindowDrag::setWindowMoveHook(std::move(previous));
        EXPECT_EQ(moved, mover != nullptr ? QList<QWidget*>{mover} : QList<QWidget*>{}) << name;
    }
}

// The frame follows the window's size; the body stays. The window keeps its size, so restoring,
// maximising and minimising are not offered.
TEST_F(FrmMainWindowTest, FrameFollowsTheWindowsSize) {
    open();
    for (const char* name : {"imgResum", "imgMax", "imgMin"})
        EXPECT_FALSE(control(name)->isVisibleTo(window.get())) << name;
    const QRect body = grid()->geometry();
    const std::pair<const char*, QSize> sizes[] = {
        {"larger", {900, 600}},
        {"narrower than the top corners", {10, 600}},
        {"lower than the side corners", {900, 20}},
    };
    for (const auto& [name, size] : sizes) {
        SCOPED_TRACE(name);
        window->resize(size);
        ASSERT_EQ(window->size(), size);
        EXPECT_EQ(control("imgTopRight")->geometry().right(), size.width() - 1);
        EXPECT_EQ(control("imgBottomRight")->geometry().bottom(), size.height() - 1);
        // The close picture stays at the right end of the top bar.
        EXPECT_LT(control("imgExit")->geometry().right(), size.width() - 1);
        EXPECT_GT(control("imgExit")->geometry().right(), size.width() - 30);
        // A size left negative would take the piece off the window.
        for (const char* piece : {"imgTop", "imgBottom", "imgLeft", "imgRight"})
            EXPECT_FALSE(control(piece)->geometry().isEmpty()) << piece;
        EXPECT_EQ(grid()->geometry(), body);
    }
}

// --- The caption, the logo and the about box ---

TEST_F(FrmMainWindowTest, DownloadedReadmeFeedsTheCaptionAndTheLogoAsWritten) {
    const QString intro = QStringLiteral("<img src=\"p.png\">简介 &amp; <br>更多");
    http->next = {true, *encodeGbk("[说明]\r\n作者=<b>郑十</b>\r\n简介=" + intro + "\r\n"), {}};
    open();
    EXPECT_EQ(http->asked.size(), 1) << "one refresh per loading";
    const auto* caption = control<QLabel>("labCaption");
    EXPECT_TRUE(caption->text().contains(QStringLiteral("作者:<b>郑十</b>")));
    EXPECT_EQ(caption->textFormat(), Qt::PlainText);
    // Read as Qt shows a tooltip: as rich text only when it looks so.
    const QString tip = control("imgLogo")->toolTip();
    QTextDocument shown;
    Qt::mightBeRichText(tip) ? shown.setHtml(tip) : shown.setPlainText(tip);
    EXPECT_EQ(shown.toPlainText(), intro);
}

// The logo opens the maker's site. 关于 opens one box at a time, which takes its texts when it
// loads; closed by its picture or Esc it is unloaded, and the next one takes them afresh.
TEST_F(FrmMainWindowTest, LogoOpensTheMakersSiteAndAboutOpensOneBoxAtATime) {
    writeProgramFile(QStringLiteral("Readme.txt"), "[说明]\n网址=www.example.test/q\n");
    open();
    click(control("imgLogo"));
    EXPECT_EQ(system->openedUrls, QStringList{"http://www.example.test/q"});
    const std::pair<const char*, std::function<void(QWidget*)>> closes[] = {
        {"close picture", [](QWidget* box) { click(box->findChild<QWidget*>("picExit")); }},
        {"Esc", [](QWidget* box) { typeKey(box, Qt::Key_Escape); }},
    };
    for (const auto& [name, close] : closes) {
        SCOPED_TRACE(name);
        const QString link = st().ReadmeWebUrl;
        click(control("labAbout"));
        QPointer<QWidget> box = dynamic_cast<QWidget*>(st().frmAbout.get());
        ASSERT_FALSE(box.isNull());
        EXPECT_TRUE(box->isVisible());
        click(box->findChild<QWidget*>("labMaker"));
        EXPECT_EQ(system->openedUrls.last(), link);
        st().ReadmeWebUrl += QStringLiteral("/later");
        click(control("labAbout"));
        EXPECT_EQ(dynamic_cast<QWidget*>(st().frmAbout.get()), box) << "the same box";
        EXPECT_FALSE(box->isModal());
        EXPECT_EQ(box->findChild<QLabel*>("labMaker")->text(), link) << "taken when it loaded";
        for (QLabel* label : box->findChildren<QLabel*>())
            EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->objectName().toStdString();
        close(box);
        EXPECT_EQ(st().frmAbout, nullptr);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(box.isNull());
    }
}

// --- The deletion run ---

using Shown = QPair<short, QString>;
const Shown kQuestion{2, "重要提示:数据库删除后将不可恢复，确认操作吗？"};
const Shown kDone{1, "已成功删除！"};

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

// While the run goes, the window shows its progress and only the stop button works; however the
// run ends, the operator is told and every control is as it was.
TEST_F(FrmMainRunTest, RunLocksTheWindowAndEveryEndPutsItBack) {
    const Shown stopped{1, "已停止：已完成 1 项，其余 2 项未处理。"};
    const Shown inUse{4, "数据库正在使用。"};
    const std::tuple<const char*, bool, const char*, Shown, QString, int> rows[] = {
        {"every row goes", false, nullptr, kDone, "---", 1},
        {"stop between rows", true, nullptr, stopped, "---", 1},
        // Last, as the failure stays scripted. The ticks stay for another try.
        {"second row fails", false, "drop database [Stock]", inUse, "YYY", 0},
    };
    for (const auto& [name, stop, failing, outcome, ticksAfter, reloads] : rows) {
        SCOPED_TRACE(name);
        if (failing != nullptr)
            server.fail(QString::fromLatin1(failing), DbError{"42000", 3702, inUse.second});
        threeDatabases();
        for (const char* db : {"Sales", "Stock", "Archive2019"})
            server.answer("select name from master..sysdatabases where 1=1 and name='" +
                              QString::fromLatin1(db) + "'",
                          table({"name"}, {{db}}));
        open();
        click(control("cmdSelect"));
        server.log.clear();
        messages->shown.clear();
        const QStringList before = usable();
        QStringList during;
        bool closed = true;
        QObject context;
        // The first time the run lets the window take input, which is between rows.
        QTimer::singleShot(0, &context, [&] {
            during = progress() + usable();
            // Each of these would change the ticks or the listing under the run.
            click(control("cmdClear"));
            pressKey(cboType(), Qt::Key_Up);
            clickCell(2, 0, true);
            click(control("cmdConfirm"));
            closed = window->close();
            if (stop)
                click(control("cmdStop"));
        });
        confirmYes();

        EXPECT_EQ(during, (QStringList{"1 of 3", "正在删除数据库：Sales", "cmdStop"}));
        EXPECT_FALSE(closed);
        EXPECT_EQ(messages->shown, (QList<Shown>{kQuestion, outcome}));
        EXPECT_EQ(progress(), QStringList{});
        EXPECT_EQ(usable(), before);
        EXPECT_EQ(ticks(), ticksAfter);
        EXPECT_EQ(listings().count(kSqlListing), reloads);
        // Database names come from the server: never read as markup.
        EXPECT_EQ(control<QLabel>("labReport")->textFormat(), Qt::PlainText);
        if (stop) {
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
    for (const auto& [name, dropDatabases] :
         {std::pair{"box ticked", true}, std::pair{"box left clear", false}}) {
        SCOPED_TRACE(name);
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
        // Success lists again, from every account set.
        EXPECT_EQ(cboAcc()->currentText(), QStringLiteral("全部"));
        EXPECT_EQ(listings().last(), accountSetListing());
        EXPECT_FALSE(control<QCheckBox>("chkDeleteDB")->isChecked());
    }
}

} // namespace
} // namespace test
} // namespace quenlor
