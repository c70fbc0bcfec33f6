#include "ui/frmMsg.h"
#include "support/UiDriver.h"
#include "ui/DesktopSystem.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>

namespace quenlor::test {
namespace {

using Answer = frmMsg::Answer;

class FrmMsgTest : public ::testing::Test {
protected:
    QString shownText() { return dlg.findChild<QPlainTextEdit*>()->toPlainText(); }
    // The pictures and buttons the last message left for the operator to see.
    QStringList shownControls() {
        QStringList names;
        for (const char* name : {"picWarm", "picQuery", "picError", "txtAnswer", "cmdConfirm",
                                 "cmdYes", "cmdNo", "cmdCancel", "picExit"})
            if (dlg.findChild<QWidget*>(QString::fromLatin1(name))->isVisibleTo(&dlg))
                names.append(QString::fromLatin1(name));
        return names;
    }

    frmMsg dlg;
};

// Each kind shows only its own picture and buttons, each button gives its result, and an answer
// the kind has no button for closes the box as the close picture does. One box throughout, so the
// controls of an earlier kind must be hidden again.
TEST_F(FrmMsgTest, EachKindShowsItsButtonsAndEachAnswerGivesItsResult) {
    const QStringList question = {"picQuery", "cmdYes", "cmdNo", "picExit"};
    const QStringList error = {"picError", "cmdConfirm", "picExit"};
    const std::tuple<const char*, short, Answer, short, QStringList> rows[] = {
        {"question, yes", 2, Answer::Yes, 1, question},
        {"question, no", 2, Answer::No, 0, question},
        {"question has no OK", 2, Answer::Confirm, 0, question},
        {"notice, OK", 1, Answer::Confirm, -1, {"picWarm", "cmdConfirm", "picExit"}},
        {"error, OK", 4, Answer::Confirm, -1, error},
        {"error, closed", 4, Answer::Exit, 0, error},
        {"unknown kind: only the close picture", 9, Answer::Confirm, 0, {"picExit"}},
    };
    for (const auto& [name, kind, answer, result, shown] : rows) {
        SCOPED_TRACE(name);
        dlg.MsgResult = 7; // the previous result must not leak into this one
        dlg.presetAnswers({answer});
        EXPECT_EQ(dlg.ShowMsg(kind, QStringLiteral("删除账套？")), result);
        EXPECT_EQ(dlg.MsgResult, result);
        EXPECT_EQ(shownControls(), shown);
        EXPECT_FALSE(dlg.isVisible());
    }
}

// Shown modally, the box waits for the operator; a second message meanwhile only changes its
// text. Esc closes like the close picture. Enter presses the focused button: OK on notices, No on
// questions, so a stray Enter never confirms. Tab walks only the visible buttons.
TEST_F(FrmMsgTest, ModalBoxWaitsForTheKeyboard) {
    const std::tuple<const char*, short, QList<int>, short> rows[] = {
        {"Esc on a notice", 1, {Qt::Key_Escape}, 0},
        {"Enter on an error", 4, {Qt::Key_Return}, -1},
        {"Enter on a warning question", 3, {Qt::Key_Return}, 0},
        {"Tab to yes, keypad Enter", 2, {Qt::Key_Tab, Qt::Key_Enter}, 1},
        {"Tab past the hidden OK and the text", 2, {Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Enter}, 0},
    };
    for (const auto& [name, kind, keys, result] : rows) {
        SCOPED_TRACE(name);
        short nested = -99;
        WhenModal drive([&](QWidget* modal) {
            nested = dlg.ShowMsg(kind, QStringLiteral("第二条"));
            for (const int key : keys)
                typeKey(modal, key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        });
        EXPECT_EQ(dlg.ShowMsg(kind, QStringLiteral("消息")), result);
        EXPECT_FALSE(dlg.isVisible());
        EXPECT_EQ(nested, 0);
        EXPECT_EQ(shownText(), QStringLiteral("第二条"));
    }
}

// A name asked for: the box starts empty with the focus in it; Enter takes what was typed, Esc
// or 取消 gives nothing. The message remembered for a repeat is still the last one shown.
TEST_F(FrmMsgTest, TypedAnswerCountsOnlyWhenAccepted) {
    dlg.presetAnswers({Answer::Confirm});
    dlg.ShowMsg(4, QStringLiteral("上一条"));
    const std::tuple<const char*, int, QString> rows[] = {
        {"Enter", Qt::Key_Return, "UFSystem "}, {"Esc", Qt::Key_Escape, ""}, {"取消", 0, ""}};
    for (const auto& [name, key, result] : rows) {
        SCOPED_TRACE(name);
        WhenModal drive([&](QWidget* modal) {
            auto* answer = dlg.findChild<QLineEdit*>("txtAnswer");
            EXPECT_EQ(modal->focusWidget(), answer);
            EXPECT_EQ(answer->text(), QString());
            EXPECT_EQ(shownControls(),
                      (QStringList{"picWarm", "txtAnswer", "cmdConfirm", "cmdCancel", "picExit"}));
            answer->insert(QStringLiteral("UFSystem "));
            key != 0 ? typeKey(modal, key) : click(dlg.findChild<QWidget*>("cmdCancel"));
        });
        EXPECT_EQ(dlg.AskText(QStringLiteral("请输入数据库名：UFSystem")), result);
        EXPECT_EQ(shownText(), QStringLiteral("请输入数据库名：UFSystem"));
    }
    dlg.presetAnswers({Answer::Confirm});
    EXPECT_EQ(dlg.ShowMsg(), -1);
    EXPECT_EQ(shownText(), QStringLiteral("上一条")) << "the message a repeat shows";
}

// The system's own message box, for what is told before any window of the program exists: a
// warning with one OK button, its text as written.
TEST(DesktopSystemTest, MessageBoxWarnsWithOneOkButtonAndPlainText) {
    const QString text = QStringLiteral("[Microsoft][ODBC] <b>登录失败</b> & 重试");
    WhenModal drive([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ((QStringList{box->windowTitle(), box->text()}), (QStringList{"Quenlor", text}));
        EXPECT_EQ(box->icon(), QMessageBox::Warning);
        EXPECT_EQ(box->textFormat(), Qt::PlainText);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
        box->buttons().at(0)->click();
    });
    DesktopSystem().messageBox(QStringLiteral("Quenlor"), text);
}

} // namespace
} // namespace quenlor::test
