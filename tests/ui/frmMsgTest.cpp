#include "ui/frmMsg.h"
#include "support/UiDriver.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

namespace quenlor::test {
namespace {

using Answer = frmMsg::Answer;

const QString kRetry = QStringLiteral("输入数据库用户名或密码有误, 请重新输入!");

class FrmMsgTest : public ::testing::Test {
protected:
    template <typename T = QWidget> T* control(const char* name) {
        T* w = dlg.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QString shownText() { return control<QPlainTextEdit>("txtMessage")->toPlainText(); }
    // The pictures and buttons the last message left for the operator to see.
    QStringList shownControls() {
        QStringList names;
        for (const char* name :
             {"picWarm", "picQuery", "picError", "cmdConfirm", "cmdYes", "cmdNo", "picExit"})
            if (control(name)->isVisibleTo(&dlg))
                names.append(QString::fromLatin1(name));
        return names;
    }

    frmMsg dlg;
};

TEST_F(FrmMsgTest, EachAnswerGivesItsResultAndClosesTheBox) {
    struct Case {
        short kind;
        Answer answer;
        short result;
    };
    const Case cases[] = {
        {2, Answer::Yes, 1},      {2, Answer::No, 0},       {2, Answer::Exit, 0},
        {3, Answer::Yes, 1},      {3, Answer::No, 0},       {3, Answer::Exit, 0},
        {1, Answer::Confirm, -1}, {4, Answer::Confirm, -1}, {1, Answer::Exit, 0},
        {4, Answer::Exit, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << c.kind << " answer " << int(c.answer));
        // The previous result must not leak into this one.
        dlg.MsgResult = 7;
        dlg.presetAnswers({c.answer});
        EXPECT_EQ(dlg.ShowMsg(c.kind, QStringLiteral("删除账套？")), c.result);
        EXPECT_EQ(dlg.MsgResult, c.result);
        EXPECT_FALSE(dlg.isVisible());
    }
}

TEST_F(FrmMsgTest, AnswerForAButtonTheKindHidesClosesWithoutPressingIt) {
    dlg.presetAnswers({Answer::Yes, Answer::Confirm, Answer::No, Answer::Confirm});
    EXPECT_EQ(dlg.ShowMsg(1, QStringLiteral("完成")), 0);
    EXPECT_EQ(dlg.ShowMsg(2, QStringLiteral("删除？")), 0);
    EXPECT_EQ(dlg.ShowMsg(4, QStringLiteral("失败")), 0);
    // A kind without buttons: only the close picture can end it.
    EXPECT_EQ(dlg.ShowMsg(9, QStringLiteral("消息")), 0);
    EXPECT_FALSE(dlg.isVisible());
}

TEST_F(FrmMsgTest, ShowsOnlyThePictureAndButtonsOfItsKind) {
    // One instance throughout, so controls of an earlier kind must be hidden again.
    const QList<QPair<short, QStringList>> cases = {
        {2, {"picQuery", "cmdYes", "cmdNo", "picExit"}},
        {1, {"picWarm", "cmdConfirm", "picExit"}},
        {3, {"picWarm", "cmdYes", "cmdNo", "picExit"}},
        {4, {"picError", "cmdConfirm", "picExit"}},
        {5, {"picExit"}},
        {-1, {"picExit"}},
    };
    for (const auto& [kind, expected] : cases) {
        SCOPED_TRACE(kind);
        dlg.presetAnswers({Answer::Exit});
        EXPECT_EQ(dlg.ShowMsg(kind, QStringLiteral("消息")), 0);
        EXPECT_EQ(shownControls(), expected);
    }
}

TEST_F(FrmMsgTest, KindAndTextCarryOverToTheNextCall) {
    dlg.presetAnswers({Answer::Confirm, Answer::Confirm, Answer::Confirm});
    EXPECT_EQ(dlg.ShowMsg(1, QStringLiteral("已成功删除！")), -1);

    EXPECT_EQ(dlg.ShowMsg(4), -1);
    EXPECT_EQ(dlg.MsgKind, 4);
    EXPECT_EQ(dlg.MsgText, QStringLiteral("已成功删除！"));
    EXPECT_EQ(shownText(), QStringLiteral("已成功删除！"));
    EXPECT_EQ(shownControls(), (QStringList{"picError", "cmdConfirm", "picExit"}));

    EXPECT_EQ(dlg.ShowMsg(0, kRetry), -1);
    EXPECT_EQ(dlg.MsgKind, 4);
    EXPECT_EQ(shownText(), kRetry);
}

TEST_F(FrmMsgTest, FirstCallWithoutTextSaysTheMessageIsEmpty) {
    EXPECT_EQ(dlg.MsgKind, 0);
    EXPECT_TRUE(dlg.MsgText.isEmpty());
    dlg.presetAnswers({Answer::Confirm});
    EXPECT_EQ(dlg.ShowMsg(1), -1);
    EXPECT_EQ(dlg.MsgText, QStringLiteral("消息为空"));
    EXPECT_EQ(shownText(), QStringLiteral("消息为空"));
}

TEST_F(FrmMsgTest, MarkupInTheMessageIsShownLiterally) {
    const QString text =
        QStringLiteral("数据库 <b>UFDATA_001</b> &amp; <a href=\"x\">链接</a>\n第二行");
    dlg.presetAnswers({Answer::Confirm});
    dlg.ShowMsg(1, text);
    EXPECT_EQ(shownText(), text);
}

TEST_F(FrmMsgTest, FontSizeAndColourAreTakenOnceThenKept) {
    EXPECT_EQ(dlg.MsgFontSize, 0);
    EXPECT_EQ(dlg.MsgForeColor, 0u);
    auto* txt = control<QPlainTextEdit>("txtMessage");

    dlg.presetAnswers({Answer::Confirm, Answer::Confirm});
    dlg.ShowMsg(1, QStringLiteral("一"));
    EXPECT_EQ(dlg.MsgFontSize, qRound(dlg.font().pointSizeF()));
    EXPECT_EQ(QColor::fromRgba(dlg.MsgForeColor), dlg.palette().color(QPalette::WindowText));
    EXPECT_EQ(txt->font().pointSize(), dlg.MsgFontSize);

    // Values set by the program survive later calls and reach the text.
    dlg.MsgFontSize = 21;
    dlg.MsgForeColor = qRgb(0xC0, 0x10, 0x20);
    dlg.ShowMsg(1, QStringLiteral("二"));
    EXPECT_EQ(dlg.MsgFontSize, 21);
    EXPECT_EQ(dlg.MsgForeColor, qRgb(0xC0, 0x10, 0x20));
    EXPECT_EQ(txt->font().pointSize(), 21);
    EXPECT_EQ(txt->palette().color(QPalette::Text), QColor(0xC0, 0x10, 0x20));
}

TEST_F(FrmMsgTest, ModalShowingWaitsForTheOperatorAndIgnoresASecondCall) {
    short nestedResult = -99;
    bool stillShown = false;
    WhenModal drive([&](QWidget* modal) {
        EXPECT_EQ(modal, &dlg);
        EXPECT_TRUE(control("cmdYes")->isVisible());
        EXPECT_FALSE(control("cmdConfirm")->isVisible());
        nestedResult = dlg.ShowMsg(2, QStringLiteral("第二条"));
        stillShown = dlg.isVisible() && QApplication::activeModalWidget() == &dlg;
        click(control("cmdYes"));
    });
    EXPECT_EQ(dlg.ShowMsg(2, QStringLiteral("删除所选账套？")), 1);
    EXPECT_EQ(nestedResult, 0);
    EXPECT_TRUE(stillShown);
    EXPECT_EQ(shownText(), QStringLiteral("第二条"));
    EXPECT_FALSE(dlg.isVisible());
}

TEST_F(FrmMsgTest, EscClosesLikeTheClosePicture) {
    for (short kind : {1, 2, 5}) {
        SCOPED_TRACE(kind);
        WhenModal drive([&](QWidget* modal) { typeKey(modal, Qt::Key_Escape); });
        EXPECT_EQ(dlg.ShowMsg(kind, QStringLiteral("消息")), 0);
        EXPECT_FALSE(dlg.isVisible());
    }
}

TEST_F(FrmMsgTest, EnterConfirmsNoticesButAnswersNoToQuestions) {
    struct Case {
        short kind;
        const char* focused;
        short result;
    };
    for (const Case& c : {Case{1, "cmdConfirm", -1}, Case{4, "cmdConfirm", -1}, Case{2, "cmdNo", 0},
                          Case{3, "cmdNo", 0}}) {
        SCOPED_TRACE(c.kind);
        QString focused;
        WhenModal drive([&](QWidget* modal) {
            if (modal->focusWidget() != nullptr)
                focused = modal->focusWidget()->objectName();
            typeKey(modal, Qt::Key_Return);
        });
        EXPECT_EQ(dlg.ShowMsg(c.kind, QStringLiteral("消息")), c.result);
        EXPECT_EQ(focused, QString::fromLatin1(c.focused));
        EXPECT_FALSE(dlg.isVisible());
    }
}

TEST_F(FrmMsgTest, TabMovesBetweenTheVisibleButtonsAndEnterPressesTheFocusedOne) {
    QStringList visited;
    WhenModal drive([&](QWidget* modal) {
        for (int i = 0; i < 3; ++i) {
            typeKey(modal, Qt::Key_Tab);
            visited.append(modal->focusWidget()->objectName());
        }
        typeKey(modal, Qt::Key_Enter, Qt::KeypadModifier);
    });
    // Focus starts on "否"; Tab leads to "是" and back, skipping hidden "确定" and the text.
    EXPECT_EQ(dlg.ShowMsg(2, QStringLiteral("删除？")), 1);
    EXPECT_EQ(visited, (QStringList{"cmdYes", "cmdNo", "cmdYes"}));
}

TEST_F(FrmMsgTest, LeftPressOnTheBackgroundOrCaptionMovesTheWindow) {
    dlg.show();
    MoveRecorder moves;
    const QPoint background(dlg.width() - 3, dlg.height() - 3);
    ASSERT_EQ(dlg.childAt(background), nullptr);

    pressMouse(&dlg, Qt::RightButton, background);
    pressMouse(&dlg, Qt::MiddleButton, background);
    pressMouse(control("labHint"), Qt::RightButton, QPoint(2, 2));
    EXPECT_TRUE(moves.moved.isEmpty());

    pressMouse(&dlg, Qt::LeftButton, background);
    pressMouse(control("labHint"), Qt::LeftButton, QPoint(2, 2));
    EXPECT_EQ(moves.moved, (QList<QWidget*>{&dlg, &dlg}));
    dlg.hide();
}

TEST_F(FrmMsgTest, PressOnAControlDoesNotMoveTheWindow) {
    MoveRecorder moves;
    for (const char* name : {"cmdConfirm", "picExit"}) {
        SCOPED_TRACE(name);
        dlg.presetAnswers({Answer::Exit});
        dlg.ShowMsg(1, QStringLiteral("消息"));
        dlg.show();
        // The click itself closes the box; it must not also start a move.
        pressMouse(control(name), Qt::LeftButton, QPoint(2, 2));
        EXPECT_FALSE(dlg.isVisible());
    }
    EXPECT_TRUE(moves.moved.isEmpty());
}

TEST_F(FrmMsgTest, CaptionAndTooltips) {
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("提示"));
    EXPECT_EQ(control<QLabel>("labHint")->text(), QStringLiteral("提示"));
    EXPECT_TRUE(dlg.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(control("picExit")->toolTip(), QStringLiteral("关闭"));
    for (const auto& [name, face] :
         {std::pair{"cmdConfirm", "确定"}, std::pair{"cmdYes", "是"}, std::pair{"cmdNo", "否"}}) {
        auto* b = control<QPushButton>(name);
        EXPECT_EQ(b->text(), QString::fromUtf8(face));
        EXPECT_EQ(b->toolTip(), QString::fromUtf8(face));
    }
    EXPECT_TRUE(control<QPlainTextEdit>("txtMessage")->isReadOnly());
}

} // namespace
} // namespace quenlor::test
