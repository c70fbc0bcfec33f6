#include "ui/MainWindowFixture.h"

#include "core/info/ReadmeInfo.h"
#include "platform/Gbk.h"
#include "ui/frmAbout.h"

#include <QLabel>
#include <QPointer>
#include <QTextDocument>

namespace quenlor::test {
namespace {

// The caption, the logo and the about box of the main window.
class FrmMainAboutTest : public MainWindowFixture {
protected:
    ~FrmMainAboutTest() override { flushDeletes(); }

    QString caption() { return control<QLabel>("labCaption")->text(); }
    // The logo's tooltip as the operator reads it.
    QString logoTip() {
        QTextDocument shown;
        shown.setHtml(control("imgLogo")->toolTip());
        return shown.toPlainText();
    }
    QWidget* aboutBox() { return visibleTopLevel(QStringLiteral("frmAbout")); }
    static QString textIn(QWidget* window, const char* name) {
        auto* label = window->findChild<QLabel*>(QString::fromLatin1(name));
        EXPECT_NE(label, nullptr) << name;
        return label != nullptr ? label->text() : QString();
    }
    static void flushDeletes() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

TEST_F(FrmMainAboutTest, WithoutReadmeOrNetworkTheCaptionHasItsElevenPieces) {
    st().ProductType = ProductFamily::U8;
    st().ServerVersionText = QStringLiteral("SQL Server 2008 R2");
    open();
    EXPECT_EQ(http->asked.size(), 1) << "one refresh per loading";
    EXPECT_EQ(caption(), QStringLiteral("Quenlor For U8 数据库版本：SQL Server 2008 R2 "
                                        "作者:Quenlor 开发组 QQ:无 QQ群:无"));
    EXPECT_EQ(logoTip(), st().ReadmeIntro);
    EXPECT_TRUE(st().ReadmeIntro.startsWith(QStringLiteral("Quenlor：")));
}

TEST_F(FrmMainAboutTest, DownloadedReadmeFeedsTheCaptionBeforeTheWindowShows) {
    st().ProductType = ProductFamily::Tplus;
    st().ServerVersionText = QStringLiteral("SQL Server 2019");
    http->next = {true,
                  *encodeGbk(QStringLiteral("[说明]\r\n作者=郑十\r\nQQ=30003\r\nQQ群=40004\r\n"
                                            "简介=新的简介\r\n")),
                  QString()};
    open();
    EXPECT_EQ(caption(), QStringLiteral("Quenlor For T+ 数据库版本：SQL Server 2019 作者:郑十 "
                                        "QQ:30003 QQ群:40004"));
    EXPECT_EQ(logoTip(), QStringLiteral("新的简介"));
    EXPECT_TRUE(QFile::exists(programDir.filePath(QStringLiteral("Readme.txt"))));
}

TEST_F(FrmMainAboutTest, ValuesFromTheFileAreShownAsWrittenNeverAsMarkup) {
    // No "//" in the values: the comment rule would cut them there.
    writeProgramFile(QStringLiteral("Readme.txt"),
                     "[说明]\n作者=<b>粗体</b>\nQQ=<a href=\"javascript:x()\">x</a>\n"
                     "简介=<img src=\"p.png\">简介 &amp; <br>更多\n");
    open();
    EXPECT_TRUE(
        caption().contains(QStringLiteral("作者:<b>粗体</b> QQ:<a href=\"javascript:x()\">x</a>")));
    EXPECT_EQ(control<QLabel>("labCaption")->textFormat(), Qt::PlainText);
    EXPECT_EQ(logoTip(), QStringLiteral("<img src=\"p.png\">简介 &amp; <br>更多"));
}

TEST_F(FrmMainAboutTest, LogoSitsOnTheTopBarBeforeTheCaption) {
    open();
    const QRect logo = control("imgLogo")->geometry();
    const QRect bar = control("imgTop")->geometry();
    EXPECT_TRUE(logo.isValid());
    EXPECT_GE(logo.top(), bar.top());
    EXPECT_LE(logo.bottom(), bar.bottom());
    EXPECT_LT(logo.right(), control("labCaption")->geometry().left());
    EXPECT_LT(control("labCaption")->geometry().right(), control("labAbout")->geometry().left());
    EXPECT_TRUE(control("imgLogo")->isVisible());
    // Drawn above the bar, not hidden under it.
    EXPECT_EQ(window->childAt(logo.center()), control("imgLogo"));
    MoveRecorder moves;
    pressMouse(control("imgLogo"), Qt::LeftButton, QPoint(3, 3));
    EXPECT_TRUE(moves.moved.isEmpty()) << "the logo is clicked, not dragged";
}

TEST_F(FrmMainAboutTest, LogoOpensTheMakersWebAddress) {
    writeProgramFile(QStringLiteral("Readme.txt"), "[说明]\n网址=www.example.test/q\n");
    open();
    click(control("imgLogo"));
    EXPECT_EQ(system->openedUrls, QStringList{QStringLiteral("http://www.example.test/q")});
}

TEST_F(FrmMainAboutTest, LabAboutOpensOneAboutBoxWithTheReadmeTexts) {
    writeProgramFile(QStringLiteral("Readme.txt"),
                     "[说明]\n公司=华信软件\n网址=www.example.test\n简介=一行简介\n");
    open();
    EXPECT_EQ(aboutBox(), nullptr);
    click(control("labAbout"));
    QWidget* box = aboutBox();
    ASSERT_NE(box, nullptr);
    EXPECT_FALSE(box->isModal());
    EXPECT_EQ(st().frmAbout.get(), dynamic_cast<AboutBox*>(box));
    EXPECT_TRUE(textIn(box, "LabToolText").startsWith(QStringLiteral("Quenlor V")));
    EXPECT_EQ(textIn(box, "labMaker"), QStringLiteral("http://www.example.test"));
    EXPECT_EQ(textIn(box, "labCopyRight"), QStringLiteral("Copyright © 华信软件"));

    // A second click brings the same box forward.
    click(control("labAbout"));
    int boxes = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        boxes += w->objectName() == QStringLiteral("frmAbout") ? 1 : 0;
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(aboutBox(), box);
}

TEST_F(FrmMainAboutTest, ClosedAboutBoxComesBackWithFreshTexts) {
    open();
    click(control("labAbout"));
    QPointer<QWidget> first = aboutBox();
    ASSERT_FALSE(first.isNull());
    click(first->findChild<QWidget*>(QStringLiteral("picExit")));
    flushDeletes();
    EXPECT_TRUE(first.isNull()) << "closing unloads it";
    EXPECT_EQ(st().frmAbout, nullptr);

    st().ReadmeWebUrl = QStringLiteral("http://changed.invalid");
    click(control("labAbout"));
    QWidget* second = aboutBox();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(textIn(second, "labMaker"), QStringLiteral("http://changed.invalid"));
    click(second->findChild<QWidget*>(QStringLiteral("labMaker")));
    EXPECT_EQ(system->openedUrls, QStringList{QStringLiteral("http://changed.invalid")});
}

} // namespace
} // namespace quenlor::test
