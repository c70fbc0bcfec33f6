#include "ui/MainWindowFixture.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace quenlor::test {
namespace {

// Twips to pixels on the offscreen screen (96 dpi: 15 twips a pixel).
int px(int twips) {
    return qRound(twips / 15.0);
}

QRect pxRect(const FrameRect& r) {
    return QRect(QPoint(px(r.left), px(r.top)),
                 QPoint(px(r.left + r.width) - 1, px(r.top + r.height) - 1));
}

class FrmMainWindowTest : public MainWindowFixture {
protected:
    QRect placeOf(const char* name) { return control(name)->geometry(); }
    // A point of the window's own background: between the grid and the buttons.
    QPoint background() {
        const QRect gridPlace = placeOf("grdTable");
        return {gridPlace.center().x(), (gridPlace.bottom() + placeOf("cmdSelect").top()) / 2};
    }
};

// --- Controls ---

TEST_F(FrmMainWindowTest, ControlsCarryTheirTexts) {
    open();
    const QList<QPair<const char*, const char*>> faces = {
        {"labAbout", "关于"},   {"lblAcc", "账套:"},   {"chkDeleteDB", "删除数据库"},
        {"cmdBrush", ""},       {"cmdSelect", "全选"}, {"cmdClear", "全清"},
        {"cmdConfirm", "确定"}, {"cmdStop", "停止"},   {"cmdCancel", "取消"},
    };
    for (const auto& [name, face] : faces) {
        const QVariant text = control(name)->property("text");
        EXPECT_EQ(text.toString(), QString::fromUtf8(face)) << name;
    }
    const QList<QPair<const char*, const char*>> tips = {
        {"imgExit", "关闭"},  {"imgResum", "还原"}, {"imgMax", "最大化"},
        {"imgMin", "最小化"}, {"cmdBrush", "刷新"},
    };
    for (const auto& [name, tip] : tips)
        EXPECT_EQ(control(name)->toolTip(), QString::fromUtf8(tip)) << name;
    EXPECT_FALSE(control<QPushButton>("cmdBrush")->icon().isNull());
    // Texts fed from outside must never be read as markup.
    EXPECT_EQ(control<QLabel>("labCaption")->textFormat(), Qt::PlainText);
    EXPECT_EQ(control<QLabel>("labReport")->textFormat(), Qt::PlainText);
    EXPECT_EQ(control<QProgressBar>("ProBar")->orientation(), Qt::Horizontal);
    EXPECT_EQ(control<QLabel>("lblType")->text(), QStringLiteral("数据库类型:"));
    // The rest of the caption comes from Readme.txt (frmMainAboutTest).
    EXPECT_TRUE(control<QLabel>("labCaption")->text().startsWith(QStringLiteral("Quenlor For ")));
}

TEST_F(FrmMainWindowTest, OutsideARunNothingOfTheRunShows) {
    open();
    for (const char* name : {"ProBar", "labReport", "imgResum", "imgMax", "imgMin"})
        EXPECT_FALSE(control(name)->isVisibleTo(window.get())) << name;
    EXPECT_FALSE(control("cmdStop")->isEnabled());
    EXPECT_TRUE(control("cmdConfirm")->isEnabled());
}

TEST_F(FrmMainWindowTest, BodyControlsFitTheWindowWithoutOverlapping) {
    open();
    const QRect body(7, 25, 798 - 14, 507 - 25 - 7);
    const char* names[] = {"lblType",  "cboType",    "lblAcc",    "cboAcc",   "chkDeleteDB",
                           "cmdBrush", "grdTable",   "labReport", "ProBar",   "cmdSelect",
                           "cmdClear", "cmdConfirm", "cmdStop",   "cmdCancel"};
    QList<QPair<QString, QRect>> places;
    for (const char* name : names)
        places.append({QString::fromLatin1(name), placeOf(name)});
    for (int i = 0; i < places.size(); ++i) {
        EXPECT_TRUE(body.contains(places[i].second)) << places[i].first.toStdString();
        for (int j = i + 1; j < places.size(); ++j)
            EXPECT_FALSE(places[i].second.intersects(places[j].second))
                << places[i].first.toStdString() << " / " << places[j].first.toStdString();
    }
    // Each row of controls shares one line.
    EXPECT_EQ(placeOf("cboType").center().y(), placeOf("cmdBrush").center().y());
    EXPECT_EQ(placeOf("cmdSelect").top(), placeOf("cmdCancel").top());
    EXPECT_EQ(placeOf("cmdBrush").right(), placeOf("grdTable").right());
    EXPECT_EQ(placeOf("cmdCancel").right(), placeOf("grdTable").right());
    EXPECT_EQ(placeOf("cmdSelect").left(), placeOf("grdTable").left());
}

TEST_F(FrmMainWindowTest, BodyStaysWhereItIsWhenTheWindowResizes) {
    open();
    const QRect grid = placeOf("grdTable");
    const QRect cancel = placeOf("cmdCancel");
    window->resize(900, 600);
    QApplication::processEvents();
    EXPECT_EQ(placeOf("grdTable"), grid);
    EXPECT_EQ(placeOf("cmdCancel"), cancel);
    EXPECT_EQ(placeOf("imgRight").left(), 900 - 7) << "the frame follows";
}

// --- Frame ---

TEST_F(FrmMainWindowTest, FrameAtTheDesignSize) {
    open();
    ASSERT_EQ(window->logicalDpiX(), 96);
    ASSERT_EQ(window->size(), QSize(798, 507));
    const FrameLayout& f = window->frameLayout();
    EXPECT_EQ(f.imgExit.left, 11615);
    EXPECT_EQ(f.labAbout.left + f.labAbout.width, f.imgExit.left - 200);

    const QList<QPair<const char*, QRect>> expected = {
        {"impTopLeft", {0, 0, 7, 25}},    {"imgTop", {7, 0, 784, 25}},
        {"imgTopRight", {791, 0, 7, 25}}, {"imgLeft", {0, 25, 7, 475}},
        {"imgRight", {791, 25, 7, 475}},  {"imgBottomLeft", {0, 500, 7, 7}},
        {"imgBottom", {7, 500, 784, 7}},  {"imgBottomRight", {791, 500, 7, 7}},
        {"imgExit", {774, 4, 17, 18}},    {"labAbout", {729, 6, 32, 14}},
    };
    for (const auto& [name, rect] : expected)
        EXPECT_EQ(placeOf(name), rect) << name;

    // Every placed element sits where its twips say.
    const QList<QPair<const char*, FrameRect>> placed = {
        {"impTopLeft", f.impTopLeft},
        {"imgTopRight", f.imgTopRight},
        {"imgBottomLeft", f.imgBottomLeft},
        {"imgBottomRight", f.imgBottomRight},
        {"imgTop", f.imgTop},
        {"imgBottom", f.imgBottom},
        {"imgLeft", f.imgLeft},
        {"imgRight", f.imgRight},
        {"imgExit", f.imgExit},
        {"imgResum", f.imgResum},
        {"imgMin", f.imgMin},
        {"imgMax", f.imgMax},
        {"labAbout", f.labAbout},
    };
    for (const auto& [name, rect] : placed)
        EXPECT_EQ(placeOf(name), pxRect(rect)) << name;
}

TEST_F(FrmMainWindowTest, WindowNarrowerThanItsTopCornersKeepsTheTopBarWidth) {
    open();
    const int topWidth = window->frameLayout().imgTop.width;
    window->resize(10, 507);
    QApplication::processEvents();
    ASSERT_EQ(window->width(), 10);
    EXPECT_EQ(window->frameLayout().imgTop.width, topWidth);
    EXPECT_EQ(placeOf("imgTop").width(), px(topWidth));
    EXPECT_EQ(placeOf("imgTopRight").left(), 10 - 7) << "the rest of the frame still moves";
}

TEST_F(FrmMainWindowTest, FramePiecesAreDrawnByTheProgram) {
    open();
    const QImage image = window->grab().toImage();
    const QColor top = image.pixelColor(400, 12);
    const QColor side = image.pixelColor(3, 250);
    EXPECT_GT(top.blue(), top.red() + 40) << "a blue title bar";
    EXPECT_NE(side, window->palette().color(QPalette::Window)) << "a border, not the background";
    EXPECT_EQ(image.pixelColor(3, 250), image.pixelColor(794, 250)) << "both sides alike";
}

// --- Mouse and keyboard ---

TEST_F(FrmMainWindowTest, LeftPressOnTheBackgroundMovesTheWindow) {
    open();
    ASSERT_EQ(window->childAt(background()), nullptr);
    MoveRecorder moves;
    pressMouse(window.get(), Qt::RightButton, background());
    pressMouse(window.get(), Qt::MiddleButton, background());
    EXPECT_TRUE(moves.moved.isEmpty());
    pressMouse(window.get(), Qt::LeftButton, background());
    pressMouse(control("imgTop"), Qt::LeftButton, QPoint(100, 10));
    pressMouse(control("imgLeft"), Qt::LeftButton, QPoint(3, 50));
    EXPECT_EQ(moves.moved, (QList<QWidget*>{window.get(), window.get(), window.get()}));
}

TEST_F(FrmMainWindowTest, PressOnAControlDoesNotMoveTheWindow) {
    open();
    MoveRecorder moves;
    for (const char* name : {"cboType", "cmdSelect", "labAbout"})
        pressMouse(control(name), Qt::LeftButton, QPoint(3, 3));
    pressMouse(grid()->viewport(), Qt::LeftButton, QPoint(5, 5));
    pressMouse(control("imgExit"), Qt::RightButton, QPoint(3, 3));
    EXPECT_TRUE(moves.moved.isEmpty());
}

TEST_F(FrmMainWindowTest, TabWalksTheControlsInWorkingOrder) {
    hasUfSystem();
    accounts({{QStringLiteral("[001]总公司")}});
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

TEST_F(FrmMainWindowTest, EscapeDoesNotEndTheProgram) {
    open();
    window->activateWindow();
    grid()->setFocus(Qt::OtherFocusReason);
    typeKey(window.get(), Qt::Key_Escape);
    pressKey(window.get(), Qt::Key_Escape);
    EXPECT_EQ(system->endCalls, 0);
    EXPECT_TRUE(window->isVisible());
}

TEST_F(FrmMainWindowTest, ClosePictureAndCancelEndTheProgramAtOnce) {
    open();
    pressMouse(control("imgExit"), Qt::RightButton, QPoint(8, 8));
    EXPECT_EQ(system->endCalls, 0);
    click(control("imgExit"));
    EXPECT_EQ(system->endCalls, 1);
    EXPECT_EQ(system->lastExitCode, 0);
    click(control("cmdCancel"));
    EXPECT_EQ(system->endCalls, 2);
    EXPECT_EQ(system->lastExitCode, 0);
    EXPECT_TRUE(messages->shown.isEmpty()) << "nothing is asked first";
}

// --- The whole window ---

TEST_F(FrmMainWindowTest, WholeWindowRenders) {
    hasUfSystem();
    accounts({{QStringLiteral("[001]总公司")}, {QStringLiteral("[002]华东分公司")}});
    server.answer(
        kUfListing,
        table(kUfColumns,
              {{QString(), QStringLiteral("001"), QStringLiteral("总公司"), QStringLiteral("正常")},
               {QString(), QStringLiteral("002"), QStringLiteral("华东分公司"),
                QStringLiteral("正常")},
               {QString(), QStringLiteral("005"), QString(), QStringLiteral("系统管理控制之外")},
               {QString(), QStringLiteral("009"), QStringLiteral("测试账套"),
                QStringLiteral("物理数据库丢失")}}));
    open();
    doubleClickCell(grid(), 1, 0);
    clickCell(grid(), 1, 2);
    const QImage image = window->grab().toImage();
    EXPECT_EQ(image.size(), window->size() * image.devicePixelRatio());
    EXPECT_EQ(image.size(), QSize(798, 507));

    const QString path = qEnvironmentVariable("QUENLOR_SCREENSHOT");
    if (!path.isEmpty()) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        EXPECT_TRUE(image.save(path, "PNG")) << path.toStdString();
    }
}

} // namespace
} // namespace quenlor::test
