#include "ui/MainWindowFixture.h"

#include <QElapsedTimer>
#include <QHeaderView>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>

namespace quenlor::test {
namespace {

// Twips to pixels on the offscreen screen (96 dpi: 15 twips a pixel).
int px(int twips) {
    return qRound(twips / 15.0);
}

class FrmMainGridTest : public MainWindowFixture {
protected:
    FrmMainGridTest() {
        hasUftSystem();
        threeDatabases();
    }
    // The plain database listing, chosen from the product list.
    void showDatabases() {
        pressKey(cboType(), Qt::Key_Down);
        ASSERT_EQ(cboType()->currentText(), QStringLiteral("SQL"));
    }
    QImage shot(QWidget* w) { return w->grab().toImage(); }
};

// --- Listings in the grid ---

TEST_F(FrmMainGridTest, HeaderAndColumnsFollowTheListing) {
    server.answer(kTnListing, table(kTnColumns, {{QString(), QStringLiteral("UFTData001"),
                                                  QStringLiteral("001"), QStringLiteral("总公司"),
                                                  2021, QStringLiteral("正常"),
                                                  QStringLiteral("D:\\T\\UFTData001.mdf")}}));
    open();
    EXPECT_EQ(headerTexts(), kTnColumns);
    EXPECT_EQ(grid()->model()->rowCount(), 1);
    EXPECT_EQ(grid()->model()->index(0, 4).data().toString(), QStringLiteral("2021"));

    showDatabases();
    EXPECT_EQ(headerTexts(), kSqlColumns);
    EXPECT_EQ(model().Cols(), 4);
    EXPECT_EQ(model().Rows(), 4);
    EXPECT_EQ(grid()->model()->index(2, 1).data().toString(), QStringLiteral("Archive2019"));
}

TEST_F(FrmMainGridTest, EmptyListingShowsItsHeaderOverOneBlankRow) {
    server.answer(kTnListing, table(kTnColumns));
    open();
    EXPECT_EQ(model().Rows(), 2);
    EXPECT_EQ(grid()->model()->rowCount(), 1);
    EXPECT_EQ(headerTexts(), kTnColumns);
    for (int col = 0; col < model().Cols(); ++col)
        EXPECT_EQ(model().TextMatrix(1, col), QString()) << col;
}

TEST_F(FrmMainGridTest, FailingListingIsShownOnceAndKeepsTheHeader) {
    server.fail(kSqlListing, DbError{QStringLiteral("42000"), 229,
                                     QStringLiteral("The SELECT permission was denied.")});
    open();
    showDatabases();
    ASSERT_EQ(messages->shown.size(), 1);
    EXPECT_EQ(messages->shown.first().first, 4);
    EXPECT_EQ(messages->shown.first().second, QStringLiteral("The SELECT permission was denied."));
    EXPECT_EQ(headerTexts(), kSqlColumns);
    EXPECT_EQ(model().Rows(), 2);
}

// --- The grid's look ---

TEST_F(FrmMainGridTest, ColumnsRowsAndHeaderTakeTheirSizes) {
    open();
    showDatabases();
    const QList<int> widths = {px(model().colWidthTwips(0)), px(model().colWidthTwips(1)),
                               px(model().colWidthTwips(2)), px(model().colWidthTwips(3))};
    ASSERT_GT(widths.at(3), 100) << "every listing gives its columns widths";
    for (int col = 0; col < 4; ++col)
        EXPECT_EQ(grid()->columnWidth(col), widths.at(col)) << col;
    EXPECT_EQ(grid()->horizontalHeader()->height(), px(500));
    EXPECT_GE(grid()->rowHeight(0), px(400));
    for (int row = 1; row < 3; ++row)
        EXPECT_EQ(grid()->rowHeight(row), grid()->rowHeight(0)) << row;
    EXPECT_FALSE(grid()->verticalHeader()->isVisibleTo(grid()));
    EXPECT_EQ(grid()->currentIndex(), grid()->model()->index(0, 0));
}

TEST_F(FrmMainGridTest, CellsHeaderSelectionAndSpareAreaHaveTheirColours) {
    open();
    showDatabases();
    clickCell(grid(), 1, 1);
    const QImage cells = shot(grid()->viewport());
    const auto pixelAt = [&](int row, int col) {
        const QRect r = grid()->visualRect(grid()->model()->index(row, col));
        return cells.pixelColor(r.left() + 2, r.top() + 3);
    };
    EXPECT_EQ(pixelAt(1, 1), QColor(70, 105, 159)) << "the selected cell";
    EXPECT_EQ(pixelAt(0, 1), grid()->palette().color(QPalette::Window)) << "an ordinary cell";
    EXPECT_EQ(pixelAt(2, 0), grid()->palette().color(QPalette::Window)) << "a tick cell";

    const QRect last = grid()->visualRect(grid()->model()->index(2, 3));
    ASSERT_LT(last.right() + 5, cells.width());
    EXPECT_EQ(cells.pixelColor(last.right() + 4, last.center().y()), QColor(Qt::white))
        << "right of the last column";
    ASSERT_LT(last.bottom() + 5, cells.height());
    EXPECT_EQ(cells.pixelColor(last.center().x(), last.bottom() + 4), QColor(Qt::white))
        << "below the last row";

    QHeaderView* header = grid()->horizontalHeader();
    const QImage head = shot(header);
    EXPECT_EQ(head.pixelColor(header->sectionViewportPosition(2) + 2, 3), QColor(198, 227, 255));
}

TEST_F(FrmMainGridTest, OneCellIsSelectedAndNoneCanBeEdited) {
    open();
    showDatabases();
    clickCell(grid(), 0, 1);
    clickCell(grid(), 2, 2);
    const QModelIndexList selected = grid()->selectionModel()->selectedIndexes();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected.first(), grid()->model()->index(2, 2));

    doubleClickCell(grid(), 2, 1);
    pressKey(grid(), Qt::Key_F2);
    pressKey(grid(), Qt::Key_A);
    EXPECT_TRUE(grid()->findChildren<QLineEdit*>().isEmpty());
    EXPECT_EQ(model().TextMatrix(3, 1), QStringLiteral("Archive2019"));

    // The header row is not a row the operator can pick.
    pressMouse(grid()->horizontalHeader(), Qt::LeftButton,
               QPoint(grid()->horizontalHeader()->sectionViewportPosition(1) + 5, 5));
    EXPECT_EQ(grid()->selectionModel()->selectedIndexes().size(), 1);
}

TEST_F(FrmMainGridTest, TenThousandRowsLoadWithoutAWidgetPerCell) {
    QList<QList<QVariant>> rows;
    for (int i = 0; i < 10000; ++i)
        rows.append({QString(), QStringLiteral("db%1").arg(i, 5, 10, QLatin1Char('0')),
                     QStringLiteral("正常"), QStringLiteral("D:\\Data\\db%1.mdf").arg(i)});
    server.answer(kSqlListing, table(kSqlColumns, rows));
    open();
    const int widgetsBefore = int(window->findChildren<QWidget*>().size());
    QElapsedTimer clock;
    clock.start();
    showDatabases();
    grid()->scrollToBottom();
    const QImage image = shot(window.get());
    // Generous for a debug build on a busy machine; sizing rows one by one takes far longer.
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_FALSE(image.isNull());
    EXPECT_EQ(model().Rows(), 10001);
    EXPECT_EQ(grid()->rowHeight(9999), grid()->rowHeight(0));
    EXPECT_EQ(int(window->findChildren<QWidget*>().size()), widgetsBefore);
}

// --- Ticks ---

TEST_F(FrmMainGridTest, DoubleClickOnTheTickColumnTogglesTheRow) {
    open();
    showDatabases();
    doubleClickCell(grid(), 1, 0);
    EXPECT_EQ(ticks(), (QStringList{"", "Y", ""}));
    EXPECT_EQ(window->CountTicked(), 1);
    EXPECT_TRUE(window->HasTicked());
    doubleClickCell(grid(), 2, 0);
    EXPECT_EQ(window->CountTicked(), 2);
    doubleClickCell(grid(), 1, 0);
    EXPECT_EQ(ticks(), (QStringList{"", "", "Y"}));
    doubleClickCell(grid(), 2, 0);
    EXPECT_EQ(ticks(), (QStringList{"", "", ""}));
    EXPECT_FALSE(window->HasTicked());
}

TEST_F(FrmMainGridTest, DoubleClickElsewhereTicksNothing) {
    open();
    showDatabases();
    for (int col = 1; col < 4; ++col)
        doubleClickCell(grid(), 0, col);
    EXPECT_EQ(ticks(), (QStringList{"", "", ""}));
    EXPECT_EQ(window->CountTicked(), 0);
}

TEST_F(FrmMainGridTest, SpaceTicksLikeADoubleClick) {
    open();
    showDatabases();
    grid()->setCurrentIndex(grid()->model()->index(2, 0));
    pressKey(grid(), Qt::Key_Space);
    EXPECT_EQ(ticks(), (QStringList{"", "", "Y"}));
    pressKey(grid(), Qt::Key_Space);
    EXPECT_EQ(ticks(), (QStringList{"", "", ""}));
    grid()->setCurrentIndex(grid()->model()->index(1, 2));
    pressKey(grid(), Qt::Key_Space);
    EXPECT_EQ(window->CountTicked(), 0) << "only the tick column ticks";
}

TEST_F(FrmMainGridTest, SelectAllAndClearAllTickEveryRow) {
    open();
    showDatabases();
    doubleClickCell(grid(), 0, 0);
    click(control("cmdSelect"));
    EXPECT_EQ(ticks(), (QStringList{"Y", "Y", "Y"}));
    EXPECT_EQ(window->CountTicked(), 3);
    click(control("cmdClear"));
    EXPECT_EQ(ticks(), (QStringList{"", "", ""}));
    EXPECT_EQ(window->CountTicked(), 0);
    EXPECT_EQ(model().TextMatrix(1, 1), QStringLiteral("Sales")) << "only the ticks change";
}

TEST_F(FrmMainGridTest, SelectAllOnAnEmptyListingTicksItsBlankRow) {
    server.answer(kTnListing, table(kTnColumns));
    open();
    click(control("cmdSelect"));
    EXPECT_EQ(window->CountTicked(), 1);
    EXPECT_EQ(ticks(), QStringList{"Y"});
}

TEST_F(FrmMainGridTest, RefreshDropsEveryTick) {
    open();
    showDatabases();
    click(control("cmdSelect"));
    ASSERT_EQ(window->CountTicked(), 3);
    click(control("cmdBrush"));
    EXPECT_EQ(window->CountTicked(), 0);
    EXPECT_EQ(model().Rows(), 4);
    EXPECT_EQ(listings().count(kSqlListing), 2);
}

} // namespace
} // namespace quenlor::test
