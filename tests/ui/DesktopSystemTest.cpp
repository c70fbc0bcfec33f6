#include "ui/DesktopSystem.h"
#include "support/UiDriver.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QMessageBox>

namespace quenlor::test {
namespace {

TEST(DesktopSystemTest, MessageBoxWarnsWithOneOkButtonAndPlainText) {
    DesktopSystem system;
    const QString text = QStringLiteral("[Microsoft][ODBC] <b>登录失败</b> & 重试");
    QString title;
    QString shownText;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    Qt::TextFormat format = Qt::RichText;
    QList<QAbstractButton*> buttons;
    WhenModal drive([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        shownText = box->text();
        icon = box->icon();
        format = box->textFormat();
        buttons = box->buttons();
        ASSERT_EQ(buttons.size(), 1);
        EXPECT_EQ(box->standardButton(buttons[0]), QMessageBox::Ok);
        EXPECT_EQ(buttons[0]->text(), QStringLiteral("确定"));
        buttons[0]->click();
    });
    system.messageBox(QStringLiteral("Quenlor"), text);
    EXPECT_EQ(title, QStringLiteral("Quenlor"));
    EXPECT_EQ(shownText, text);
    EXPECT_EQ(icon, QMessageBox::Warning);
    EXPECT_EQ(format, Qt::PlainText);
}

} // namespace
} // namespace quenlor::test
