#include "ui/frmAbout.h"

#include "core/info/ReadmeInfo.h"
#include "support/TestState.h"
#include "support/UiDriver.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextDocument>

namespace quenlor::test {
namespace {

// The about box as the main window holds it: a single instance in the Program state.
class FrmAboutTest : public StateFixture {
protected:
    FrmAboutTest() {
        st().frmAbout = std::make_unique<frmAbout>();
        box = static_cast<frmAbout*>(st().frmAbout.get());
        box->ProductName = QStringLiteral("Quenlor");
        box->ProductVersion = QStringLiteral(" V2.5");
        box->MakerLink = QStringLiteral("http://quenlor.invalid/");
        box->CopyrightText = QStringLiteral("Copyright © Quenlor 项目组");
    }
    ~FrmAboutTest() override { flushDeletes(); }

    template <typename T = QWidget> T* control(const char* name) {
        T* w = box->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QString textOf(const char* name) { return control<QLabel>(name)->text(); }
    static void flushDeletes() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    QPointer<frmAbout> box;
};

TEST_F(FrmAboutTest, FramelessBoxWithItsFixedTexts) {
    box->Show();
    EXPECT_TRUE(box->isVisible());
    EXPECT_FALSE(box->isModal());
    EXPECT_TRUE(box->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(box->windowTitle(), QStringLiteral("提示"));
    EXPECT_EQ(textOf("labHint"), QStringLiteral("关于"));
    EXPECT_EQ(textOf("Label1"), QStringLiteral("版权信息"));
    EXPECT_EQ(control("PicManage")->toolTip(), QStringLiteral("导入"));
    EXPECT_EQ(control("picExit")->toolTip(), QStringLiteral("关闭"));
    EXPECT_FALSE(control<QLabel>("imgLogo")->pixmap().isNull());
    EXPECT_FALSE(control<QLabel>("PicManage")->pixmap().isNull());
    EXPECT_TRUE(control<QPlainTextEdit>("txtMessage")->isReadOnly());
}

TEST_F(FrmAboutTest, LoadingShowsTheFieldsAndTheNoticeAsPlainText) {
    st().ReadmeIntro = QStringLiteral("<img src=\"file:///x.png\">简介 &amp; <b>粗</b>");
    st().ReadmeCompany = QStringLiteral("<a href=\"javascript:x\">公司</a>");
    box->ProductName = QStringLiteral("<i>甲</i>");
    box->ProductVersion = QStringLiteral("乙");
    box->MakerLink = QStringLiteral("<a href=\"file:///etc\">link</a>");
    box->CopyrightText = QStringLiteral("&copy; 丙");
    box->Show();
    EXPECT_EQ(textOf("LabToolText"), QStringLiteral("<i>甲</i>乙")) << "no blank between them";
    EXPECT_EQ(textOf("labMaker"), QStringLiteral("<a href=\"file:///etc\">link</a>"));
    EXPECT_EQ(textOf("labCopyRight"), QStringLiteral("&copy; 丙"));
    for (QLabel* label : box->findChildren<QLabel*>())
        EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->objectName().toStdString();
    const QString notice = control<QPlainTextEdit>("txtMessage")->toPlainText();
    EXPECT_TRUE(notice.startsWith(st().ReadmeIntro + QLatin1Char('\n'))) << notice.toStdString();
    EXPECT_TRUE(notice.contains(QStringLiteral("公司：<a href=\"javascript:x\">公司</a>")));
}

TEST_F(FrmAboutTest, TextsAreTakenWhenTheBoxLoadsNotWhenItIsShownAgain) {
    box->Show();
    box->MakerLink = QStringLiteral("http://other.invalid/");
    box->Show();
    EXPECT_EQ(textOf("labMaker"), QStringLiteral("http://quenlor.invalid/"));
    EXPECT_TRUE(box->loaded());
}

TEST_F(FrmAboutTest, LogoAndLinkOpenTheMakerLink) {
    box->Show();
    click(control("labMaker"));
    click(control("imgLogo"));
    EXPECT_EQ(system->openedUrls,
              (QStringList{"http://quenlor.invalid/", "http://quenlor.invalid/"}));

    // An empty link goes to the app market.
    box->MakerLink.clear();
    click(control("labMaker"));
    click(control("imgLogo"));
    EXPECT_EQ(system->openedUrls.mid(2), (QStringList{appMarketAddress(), appMarketAddress()}));

    // A link from a tampered file opens nothing.
    system->openedUrls.clear();
    box->MakerLink = QStringLiteral("file:///C:/Windows/System32/cmd.exe");
    click(control("labMaker"));
    click(control("imgLogo"));
    EXPECT_TRUE(system->openedUrls.isEmpty());
}

TEST_F(FrmAboutTest, LeftPressOnTheBackgroundMovesTheBox) {
    box->Show();
    QApplication::processEvents();
    const QPoint background(4, box->height() - 4);
    ASSERT_EQ(box->childAt(background), nullptr);
    MoveRecorder moves;
    pressMouse(box, Qt::RightButton, background);
    pressMouse(box, Qt::MiddleButton, background);
    EXPECT_TRUE(moves.moved.isEmpty());
    pressMouse(box, Qt::LeftButton, background);
    // Plain labels leave the press to the box.
    pressMouse(control("Label1"), Qt::LeftButton, QPoint(2, 2));
    pressMouse(control("labHint"), Qt::LeftButton, QPoint(2, 2));
    EXPECT_EQ(moves.moved, (QList<QWidget*>{box, box, box}));

    // What can be clicked takes its press.
    moves.moved.clear();
    for (const char* name : {"labMaker", "imgLogo", "picExit"})
        pressMouse(control(name), Qt::LeftButton, QPoint(2, 2));
    pressMouse(control<QPlainTextEdit>("txtMessage")->viewport(), Qt::LeftButton, QPoint(2, 2));
    EXPECT_TRUE(moves.moved.isEmpty());
}

TEST_F(FrmAboutTest, ClosePictureAndEscUnloadTheBox) {
    for (const bool byEsc : {false, true}) {
        SCOPED_TRACE(byEsc ? "Esc" : "close picture");
        if (!box) {
            st().frmAbout = std::make_unique<frmAbout>();
            box = static_cast<frmAbout*>(st().frmAbout.get());
        }
        box->Show();
        QApplication::processEvents();
        if (byEsc)
            typeKey(box, Qt::Key_Escape);
        else
            click(control("picExit"));
        EXPECT_EQ(st().frmAbout, nullptr) << "the Program state lets go of it";
        ASSERT_FALSE(box.isNull()) << "not while its own handler runs";
        EXPECT_FALSE(box->isVisible());
        flushDeletes();
        EXPECT_TRUE(box.isNull());
    }
}

TEST_F(FrmAboutTest, ToolTipsFromOutsideAreShownAsWritten) {
    for (const QString& text : {QStringLiteral("<b>粗</b> & <img src=x>"),
                                QStringLiteral("普通的一行简介"), QStringLiteral("a < b > c")}) {
        const QString tip = plainToolTip(text);
        QTextDocument shown;
        shown.setHtml(tip);
        EXPECT_EQ(shown.toPlainText(), text);
        EXPECT_TRUE(Qt::mightBeRichText(tip)) << "so Qt does not guess";
    }
    EXPECT_TRUE(plainToolTip(QString()).isEmpty()) << "no empty tooltip box";
}

} // namespace
} // namespace quenlor::test
