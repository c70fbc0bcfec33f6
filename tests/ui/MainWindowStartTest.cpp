#include "core/startup/Startup.h"
#include "support/TestState.h"
#include "support/UiDriver.h"
#include "ui/QtWindowFactory.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace quenlor::test {
namespace {

// Start-up with the real windows; the server, the system and the messages stay fakes.
class MainWindowStartTest : public StateFixture {
protected:
    MainWindowStartTest() { st().windows = std::make_unique<QtWindowFactory>(); }

    static QWidget* child(QWidget* window, const char* name) {
        QWidget* w = window->findChild<QWidget*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    // Logs in through the dialog as the operator would.
    WhenModal loginWith(const QString& password) {
        return WhenModal([password](QWidget* modal) {
            EXPECT_EQ(modal->objectName(), QStringLiteral("frmSQLLogin"));
            EXPECT_EQ(visibleTopLevel(QStringLiteral("frmMain")), nullptr);
            modal->findChild<QLineEdit*>(QStringLiteral("txtPwd"))->setText(password);
            click(child(modal, "cmdConfirm"));
        });
    }
};

TEST_F(MainWindowStartTest, WorkingLoginShowsTheMainWindow) {
    {
        WhenModal drive = loginWith(QStringLiteral("pw"));
        Main();
    }
    QWidget* main = visibleTopLevel(QStringLiteral("frmMain"));
    ASSERT_NE(main, nullptr);
    EXPECT_FALSE(main->isModal());
    EXPECT_TRUE(main->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(static_cast<QLabel*>(child(main, "labCaption"))
                    ->text()
                    .startsWith(QStringLiteral("Quenlor For ")));
    EXPECT_EQ(system->endCalls, 0);
    EXPECT_EQ(st().SqlServer, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(st().SqlUser, QStringLiteral("SA"));
    EXPECT_EQ(st().SqlPassword, QStringLiteral("pw"));
    // The offscreen screen has 96 dpi, where 15 twips make a pixel: 11970 x 7605 twips.
    ASSERT_EQ(main->logicalDpiX(), 96);
    ASSERT_EQ(main->logicalDpiY(), 96);
    EXPECT_EQ(main->size(), QSize(798, 507));
}

TEST_F(MainWindowStartTest, MainWindowIsShownOnlyOnce) {
    st().MasterConn = std::make_unique<FakeDatabase>(server, QStringLiteral("master"));
    const QString lookup =
        QStringLiteral("master: select name from sysdatabases where 1=1 and name='ufsystem'");
    auto& windows = static_cast<QtWindowFactory&>(*st().windows);
    windows.showMainWindow();
    QWidget* first = visibleTopLevel(QStringLiteral("frmMain"));
    ASSERT_NE(first, nullptr);
    // Loaded before it was shown: the product list is filled.
    EXPECT_EQ(first->findChild<QComboBox*>(QStringLiteral("cboType"))->currentText(),
              QStringLiteral("SQL"));
    EXPECT_EQ(server.log.count(lookup), 1);
    first->hide();
    windows.showMainWindow();
    EXPECT_EQ(server.log.count(lookup), 1) << "loaded once";
    EXPECT_EQ(visibleTopLevel(QStringLiteral("frmMain")), first);
    int count = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        count += w->objectName() == QStringLiteral("frmMain") ? 1 : 0;
    EXPECT_EQ(count, 1);
}

TEST_F(MainWindowStartTest, CancellingTheLoginEndsTheProgram) {
    {
        WhenModal drive([](QWidget* modal) { click(child(modal, "cmdCancel")); });
        Main();
    }
    EXPECT_EQ(system->endCalls, 1);
    EXPECT_EQ(system->lastExitCode, 0);
    EXPECT_EQ(visibleTopLevel(QStringLiteral("frmMain")), nullptr);
    EXPECT_TRUE(server.opens.empty());
}

TEST_F(MainWindowStartTest, ClosePictureAndCancelOfTheMainWindowEndTheProgram) {
    st().windows->showMainWindow();
    QWidget* main = visibleTopLevel(QStringLiteral("frmMain"));
    ASSERT_NE(main, nullptr);
    QWidget* imgExit = child(main, "imgExit");
    EXPECT_EQ(imgExit->toolTip(), QStringLiteral("关闭"));
    EXPECT_EQ(static_cast<QPushButton*>(child(main, "cmdCancel"))->text(), QStringLiteral("取消"));

    pressMouse(imgExit, Qt::RightButton, imgExit->rect().center());
    EXPECT_EQ(system->endCalls, 0);
    click(imgExit);
    EXPECT_EQ(system->endCalls, 1);
    EXPECT_EQ(system->lastExitCode, 0);
    click(child(main, "cmdCancel"));
    EXPECT_EQ(system->endCalls, 2);
    EXPECT_EQ(system->lastExitCode, 0);
}

TEST_F(MainWindowStartTest, LeftPressOnTheMainWindowBackgroundMovesIt) {
    st().windows->showMainWindow();
    QWidget* main = visibleTopLevel(QStringLiteral("frmMain"));
    ASSERT_NE(main, nullptr);
    // Between the grid and the buttons below it.
    const QRect grid = child(main, "grdTable")->geometry();
    const QPoint background(grid.center().x(),
                            (grid.bottom() + child(main, "cmdCancel")->geometry().top()) / 2);
    ASSERT_EQ(main->childAt(background), nullptr);
    MoveRecorder moves;
    pressMouse(main, Qt::RightButton, background);
    EXPECT_TRUE(moves.moved.isEmpty());
    pressMouse(main, Qt::LeftButton, background);
    pressMouse(child(main, "labCaption"), Qt::LeftButton, QPoint(2, 2));
    EXPECT_EQ(moves.moved, (QList<QWidget*>{main, main}));
}

} // namespace
} // namespace quenlor::test
