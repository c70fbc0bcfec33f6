#include "ui/MainWindowFixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <functional>

namespace quenlor::test {
namespace {

const QString kQuestion = QStringLiteral("重要提示:数据库删除后将不可恢复，确认操作吗？");
const QStringList kYearColumns = {"选择", "账套号", "账套名称", "年度", "状态", "路径"};

// What the window shows of a run at one moment.
struct Seen {
    bool barVisible = false;
    bool reportVisible = false;
    int maximum = -1;
    int value = -1;
    QString report;
    QStringList enabled; // the controls the operator can use
};

class FrmMainRunTest : public MainWindowFixture {
protected:
    QPushButton* button(const char* name) { return control<QPushButton>(name); }
    QProgressBar* bar() { return control<QProgressBar>("ProBar"); }
    QLabel* report() { return control<QLabel>("labReport"); }
    QCheckBox* chkDeleteDB() { return control<QCheckBox>("chkDeleteDB"); }

    void databasesExist(std::initializer_list<const char*> names) {
        for (const char* name : names)
            server.answer("select name from master..sysdatabases where 1=1 and name='" +
                              QString::fromUtf8(name) + "'",
                          table({"name"}, {{QString::fromUtf8(name)}}));
    }
    // The plain database listing with every row ticked.
    void allDatabasesTicked() {
        threeDatabases();
        databasesExist({"Sales", "Stock", "Archive2019"});
        open();
        choose(cboType(), cboType()->findText(QStringLiteral("SQL")));
        click(button("cmdSelect"));
        ASSERT_EQ(ticks(), (QStringList{"Y", "Y", "Y"}));
    }
    void confirmYes() {
        messages->answers.append(MsgResult::Yes);
        click(button("cmdConfirm"));
    }
    // Runs `step` the first time the run lets the window take input, which is between rows.
    void betweenRows(std::function<void()> step) {
        QTimer::singleShot(0, &m_context, std::move(step));
    }
    Seen seen() {
        Seen s;
        s.barVisible = bar()->isVisible();
        s.reportVisible = report()->isVisible();
        s.maximum = bar()->maximum();
        s.value = bar()->value();
        s.report = report()->text();
        for (const char* name :
             {"cboType", "cboAcc", "chkDeleteDB", "cmdBrush", "grdTable", "cmdSelect", "cmdClear",
              "cmdConfirm", "cmdStop", "cmdCancel", "imgExit", "labAbout"}) {
            if (control(name)->isEnabled())
                s.enabled.append(QString::fromLatin1(name));
        }
        return s;
    }
    int droppedCount(const QString& name) const {
        return int(server.log.count("master: drop database [" + name + "]"));
    }

private:
    // Owns the steps, so a step that never ran cannot outlive the test.
    QObject m_context;
};

TEST_F(FrmMainRunTest, ProgressShowsAndTheWindowIsLockedOnlyWhileTheRunGoes) {
    allDatabasesTicked();
    const Seen before = seen();
    EXPECT_FALSE(before.barVisible);
    EXPECT_FALSE(before.reportVisible);
    EXPECT_FALSE(before.enabled.contains("cmdStop"));
    EXPECT_TRUE(before.enabled.contains("cmdConfirm"));

    Seen during;
    betweenRows([&] { during = seen(); });
    confirmYes();

    EXPECT_TRUE(during.barVisible);
    EXPECT_TRUE(during.reportVisible);
    EXPECT_EQ(during.maximum, 3);
    EXPECT_EQ(during.value, 1);
    EXPECT_EQ(during.report, QStringLiteral("正在删除数据库：Sales"));
    EXPECT_EQ(during.enabled, QStringList{"cmdStop"});

    const Seen after = seen();
    EXPECT_FALSE(after.barVisible);
    EXPECT_FALSE(after.reportVisible);
    EXPECT_EQ(after.enabled, before.enabled) << "every control as it was, the stop button off";
    EXPECT_EQ(messages->shown, (QList<QPair<short, QString>>{{2, kQuestion}, {1, "已成功删除！"}}));
}

TEST_F(FrmMainRunTest, StopButtonEndsTheRunAfterTheRowInHand) {
    allDatabasesTicked();
    betweenRows([&] { click(button("cmdStop")); });
    const qsizetype listingsBefore = listings().count(kSqlListing);
    confirmYes();

    EXPECT_EQ(droppedCount("Sales"), 1);
    EXPECT_EQ(droppedCount("Stock"), 0);
    EXPECT_EQ(droppedCount("Archive2019"), 0);
    EXPECT_EQ(messages->shown, (QList<QPair<short, QString>>{
                                   {2, kQuestion}, {1, "已停止：已完成 1 项，其余 2 项未处理。"}}));
    EXPECT_EQ(listings().count(kSqlListing), listingsBefore + 1) << "the grid is listed again";
    EXPECT_EQ(ticks(), (QStringList{"", "", ""}));
    EXPECT_FALSE(button("cmdStop")->isEnabled());

    // The next run starts without the old stop request.
    click(button("cmdSelect"));
    confirmYes();
    EXPECT_EQ(droppedCount("Stock"), 1);
    EXPECT_EQ(messages->shown.last(), (QPair<short, QString>{1, "已成功删除！"}));
}

TEST_F(FrmMainRunTest, LockedWindowIgnoresTheOperatorUntilTheRunEnds) {
    allDatabasesTicked();
    bool closed = true;
    betweenRows([&] {
        // Each of these would change the ticks or the listing under the run.
        click(button("cmdClear"));
        pressKey(cboType(), Qt::Key_Up);
        doubleClickCell(grid(), 2, 0);
        click(button("cmdConfirm"));
        closed = window->close();
    });
    confirmYes();

    EXPECT_FALSE(closed);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(droppedCount("Archive2019"), 1) << "the run went through to the last row";
    EXPECT_EQ(messages->shown, (QList<QPair<short, QString>>{{2, kQuestion}, {1, "已成功删除！"}}));
}

TEST_F(FrmMainRunTest, ConfirmHandsTheSelectedYearsAndTheCheckBoxToTheRun) {
    hasUfSystem();
    accounts({{QStringLiteral("[003]演示账套")}});
    server.answer(kYearListing003,
                  table(kYearColumns, {{"", "003", "演示账套", 2014, "正常", ""},
                                       {"", "003", "演示账套", 2015, "正常", ""}}));
    open();
    choose(cboAcc(), 1);
    ASSERT_EQ(model().Rows(), 3);
    doubleClickCell(grid(), 1, 0);
    ASSERT_EQ(ticks(), (QStringList{"", "Y"}));
    click(chkDeleteDB());
    ASSERT_TRUE(chkDeleteDB()->isChecked());
    confirmYes();

    // The year worker with the check box starts by looking for the year's databases.
    const QString year2015 = QStringLiteral("master: select name,filename from "
                                            "master..sysdatabases where name like "
                                            "'ufdata[_]003[_]2015'");
    EXPECT_TRUE(server.log.contains(year2015));
    EXPECT_FALSE(server.log.join('\n').contains("ufdata[_]003[_]2014"));
    EXPECT_FALSE(server.log.join('\n').contains("ufdata[_]003[_]%"))
        << "the account set itself stays";
    // Success rebuilds the lists: back to every account set.
    EXPECT_EQ(cboAcc()->currentText(), QStringLiteral("全部"));
    EXPECT_EQ(listings().last(), kUfListing);
    EXPECT_FALSE(chkDeleteDB()->isChecked());
}

TEST_F(FrmMainRunTest, UncheckedBoxLeavesTheDatabaseInPlace) {
    hasUftSystem();
    server.answer(kTnListing, table(kTnColumns, {{"", "UFTData001", "001", "总公司", 2021, "正常",
                                                  "D:\\T\\UFTData001.mdf"}}));
    const QString databaseRows = QStringLiteral(
        "master: select name,filename from master..sysdatabases where name='UFTData001'");
    open();
    ASSERT_EQ(cboType()->currentText(), QStringLiteral("T+"));
    ASSERT_FALSE(chkDeleteDB()->isChecked());
    click(button("cmdSelect"));
    confirmYes();
    EXPECT_FALSE(server.log.contains(databaseRows));

    click(button("cmdSelect"));
    click(chkDeleteDB());
    confirmYes();
    EXPECT_TRUE(server.log.contains(databaseRows));
    EXPECT_EQ(messages->shown.size(), 4);
}

TEST_F(FrmMainRunTest, FailureIsShownAndTheGridKeepsItsTicks) {
    allDatabasesTicked();
    server.fail("drop database [Stock]", DbError{"42000", 3702, "数据库正在使用。"});
    const qsizetype listingsBefore = listings().count(kSqlListing);
    const Seen before = seen();
    confirmYes();
    EXPECT_EQ(messages->shown,
              (QList<QPair<short, QString>>{{2, kQuestion}, {4, "数据库正在使用。"}}));
    // Without a reload the window must put back exactly what it locked: in the plain database
    // listing the check box stays fixed.
    EXPECT_EQ(seen().enabled, before.enabled);
    EXPECT_FALSE(seen().enabled.contains("chkDeleteDB"));
    EXPECT_EQ(listings().count(kSqlListing), listingsBefore) << "no reload after a failure";
    EXPECT_EQ(ticks(), (QStringList{"Y", "Y", "Y"}));
    EXPECT_FALSE(bar()->isVisible());
    EXPECT_FALSE(report()->isVisible());
}

} // namespace
} // namespace quenlor::test
