#pragma once

#include "core/login/clsUFLogin.h"
#include "support/ListingStatements.h"
#include "support/TestState.h"
#include "support/UiDriver.h"
#include "ui/frmMain.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTableView>

#include <memory>

namespace quenlor {

struct ClsUFLoginTestAccess {
    static void setVersion(clsUFLogin& bridge, ProductFamily version) {
        bridge.m_Version = version;
    }
};

namespace test {

// The statements the main window sends, as the server receives them.
inline const QString kUfSystemLookup =
    QStringLiteral("select name from sysdatabases where 1=1 and name='ufsystem'");
inline const QString kUftSystemLookup =
    QStringLiteral("select name from sysdatabases where 1=1 and name='uftsystem'");
inline const QString kAccountQuery = QStringLiteral(
    "select '['+cAcc_Id+']'+cAcc_Name as Acc from ufsystem..ua_account order by cAcc_Id");

inline const QString kSqlListing = sqlListing();
inline const QString kTnListing = tplusListing();
inline const QString kUfListing = accountSetListing();
// The years of account set 003, in the classic catalogue and in the one of year ranges.
inline const QString kYearListing003 = yearListing(QStringLiteral("003"));
inline const QString kYearListingU8N003 = yearRangeListing(QStringLiteral("003"));

inline const QStringList kSqlColumns = {QStringLiteral("选择"), QStringLiteral("数据库"),
                                        QStringLiteral("状态"), QStringLiteral("路径")};
inline const QStringList kTnColumns = {QStringLiteral("选择"),     QStringLiteral("数据库"),
                                       QStringLiteral("账套号"),   QStringLiteral("账套名称"),
                                       QStringLiteral("开始年度"), QStringLiteral("状态"),
                                       QStringLiteral("路径")};
inline const QStringList kUfColumns = {QStringLiteral("选择"), QStringLiteral("账套号"),
                                       QStringLiteral("账套名称"), QStringLiteral("状态")};

// The main window over a scripted server: master and tempdb connections are open, nothing is
// installed until a test says so.
class MainWindowFixture : public StateFixture {
protected:
    MainWindowFixture() {
        st().MasterConn = std::make_unique<FakeDatabase>(server, QStringLiteral("master"));
        st().TempdbConn = std::make_unique<FakeDatabase>(server, QStringLiteral("Tempdb"));
    }
    ~MainWindowFixture() override {
        // The window goes before the state that its listing reads.
        window.reset();
    }

    void hasUfSystem() {
        server.answer(kUfSystemLookup,
                      table({QStringLiteral("name")}, {{QStringLiteral("UFSystem")}}));
    }
    void hasUftSystem() {
        server.answer(kUftSystemLookup,
                      table({QStringLiteral("name")}, {{QStringLiteral("UFTSystem")}}));
    }
    void setErpVersion(ProductFamily version) {
        ClsUFLoginTestAccess::setVersion(st().UFLogin(), version);
    }
    void accounts(const QList<QList<QVariant>>& rows) {
        server.answer(kAccountQuery, table({QStringLiteral("Acc")}, rows));
    }
    // Three databases on the server, as the plain database listing shows them.
    void threeDatabases() {
        server.answer(
            kSqlListing,
            table(kSqlColumns, {{QString(), QStringLiteral("Sales"), QStringLiteral("正常"),
                                 QStringLiteral("D:\\Data\\Sales.mdf")},
                                {QString(), QStringLiteral("Stock"), QStringLiteral("只读"),
                                 QStringLiteral("D:\\Data\\Stock.mdf")},
                                {QString(), QStringLiteral("Archive2019"), QStringLiteral("脱机"),
                                 QStringLiteral("E:\\Old\\Archive2019.mdf")}}));
    }

    // Creates, loads and shows the window as the program does.
    frmMain& open() {
        window = std::make_unique<frmMain>();
        window->Form_Load();
        window->show();
        QApplication::processEvents();
        return *window;
    }

    template <typename T = QWidget> T* control(const char* name) {
        T* w = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QComboBox* cboType() { return control<QComboBox>("cboType"); }
    QComboBox* cboAcc() { return control<QComboBox>("cboAcc"); }
    QTableView* grid() { return control<QTableView>("grdTable"); }
    const GridModel& model() { return window->listing().grid(); }

    static QStringList entries(const QComboBox* combo) {
        QStringList texts;
        for (int i = 0; i < combo->count(); ++i)
            texts.append(combo->itemText(i));
        return texts;
    }
    // The header texts the grid's view shows.
    QStringList headerTexts() {
        QStringList texts;
        for (int c = 0; c < grid()->model()->columnCount(); ++c)
            texts.append(grid()->model()->headerData(c, Qt::Horizontal).toString());
        return texts;
    }
    // Statements sent to master apart from the product lookups: the listings.
    QStringList listings() const {
        QStringList found;
        const QString prefix = QStringLiteral("master: ");
        for (const QString& entry : server.log)
            if (entry.startsWith(prefix) && entry != prefix + kUfSystemLookup &&
                entry != prefix + kUftSystemLookup)
                found.append(entry.mid(prefix.size()));
        return found;
    }

    // A choice in the drop-down list, which reports the entry even when it was current already.
    static void choose(QComboBox* combo, int index) {
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }
    // A double-click on a cell of the view (row 0 is the first data row).
    static void doubleClickCell(QTableView* view, int row, int col) {
        QWidget* target = view->viewport();
        const QPoint at = view->visualRect(view->model()->index(row, col)).center();
        const QPointF global = target->mapToGlobal(QPointF(at));
        const auto send = [&](QEvent::Type type, Qt::MouseButtons buttons) {
            QMouseEvent e(type, QPointF(at), global, Qt::LeftButton, buttons, Qt::NoModifier);
            QApplication::sendEvent(target, &e);
        };
        send(QEvent::MouseButtonPress, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, Qt::NoButton);
        send(QEvent::MouseButtonDblClick, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, Qt::NoButton);
    }
    static void clickCell(QTableView* view, int row, int col) {
        pressMouse(view->viewport(), Qt::LeftButton,
                   view->visualRect(view->model()->index(row, col)).center());
    }
    // A key sent straight to a control, as the window system delivers it to the focus widget.
    static void pressKey(QWidget* target, int key) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
        QApplication::sendEvent(target, &release);
    }
    // The ticks column, top to bottom.
    QStringList ticks() {
        QStringList marks;
        for (int row = 1; row < model().Rows(); ++row)
            marks.append(model().TextMatrix(row, 0));
        return marks;
    }

    std::unique_ptr<frmMain> window;
};

} // namespace test
} // namespace quenlor
