#include "core/info/ReadmeInfo.h"

#include "core/info/AboutBox.h"
#include "platform/Gbk.h"
#include "platform/QtHttp.h"
#include "support/LocalHttpServer.h"
#include "support/TestState.h"

#include <QElapsedTimer>
#include <QFile>

namespace quenlor::test {
namespace {

const QString kReadme = QStringLiteral("Readme.txt");
const QString kMarker = QStringLiteral("说明");

// A Readme.txt as the maker publishes it, in the ANSI code page of a Chinese Windows.
QByteArray gbk(const QString& text) {
    return *encodeGbk(text);
}

class ReadmeInfoTest : public StateFixture {
protected:
    QString local() const { return programDir.filePath(kReadme); }
    QString backup() const { return local() + QStringLiteral(".tmp"); }
    QByteArray bytesOf(const QString& path) const {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    bool download(Http& inet, const QString& address) {
        const Read<bool> kept = DownloadFile(inet, address, local(), kMarker);
        last = kept.outcome;
        return kept.value;
    }
    // What a failed download must leave: the file as it was, no backup of this attempt.
    void expectUntouched(const QByteArray& before) {
        EXPECT_EQ(bytesOf(local()), before);
        EXPECT_FALSE(QFile::exists(backup()));
    }

    Outcome last;
};

const QByteArray kOldReadme =
    "[说明]\r\n公司=旧公司\r\n作者=旧作者\r\n简介=这是一段相当长的旧简介，"
    "比新下载的文件长得多，用来检查旧文件的尾巴不会留下。\r\n";
const QByteArray kNewReadme = "[说明]\r\n作者=新作者\r\n";

// --- DownloadFile against a server on this computer ---

TEST_F(ReadmeInfoTest, ValidDownloadWithoutPreviousFileBecomesTheFile) {
    LocalHttpServer server;
    ASSERT_NE(server.port(), 0);
    server.answer(200, kNewReadme);
    QtHttp inet;
    EXPECT_TRUE(download(inet, server.url(QStringLiteral("/download/Readme.txt"))));
    EXPECT_EQ(bytesOf(local()), kNewReadme);
    EXPECT_FALSE(QFile::exists(backup())) << "nothing to keep";
    EXPECT_EQ(server.requests(), QStringList{QStringLiteral("GET /download/Readme.txt HTTP/1.1")});
}

TEST_F(ReadmeInfoTest, ShorterValidDownloadReplacesTheWholeFileAndKeepsThePreviousAsTmp) {
    writeProgramFile(kReadme, kOldReadme);
    writeProgramFile(kReadme + QStringLiteral(".tmp"), "an older backup");
    ASSERT_GT(kOldReadme.size(), kNewReadme.size());
    LocalHttpServer server;
    server.answer(200, kNewReadme);
    QtHttp inet;
    EXPECT_TRUE(download(inet, server.url(QStringLiteral("/Readme.txt"))));
    EXPECT_EQ(bytesOf(local()), kNewReadme) << "no byte of the old file is left at the end";
    EXPECT_EQ(bytesOf(backup()), kOldReadme) << "the earlier backup is replaced";
    EXPECT_TRUE(last.ok());

    // A second valid download backs up the first one.
    server.answer(200, gbk(QStringLiteral("[说明]\r\n作者=第三版\r\n")));
    EXPECT_TRUE(download(inet, server.url(QStringLiteral("/Readme.txt"))));
    EXPECT_EQ(bytesOf(backup()), kNewReadme);
}

TEST_F(ReadmeInfoTest, DocumentWithoutTheMarkerIsDiscardedAndThePreviousFileRestored) {
    writeProgramFile(kReadme, kOldReadme);
    LocalHttpServer server;
    server.answer(200, "<html><body>Welcome to our portal</body></html>");
    QtHttp inet;
    EXPECT_FALSE(download(inet, server.url(QStringLiteral("/Readme.txt"))));
    expectUntouched(kOldReadme);
    EXPECT_TRUE(last.ok()) << "a page that is not the file is no failure";
}

TEST_F(ReadmeInfoTest, DocumentWithoutTheMarkerStaysWhenThereWasNoPreviousFile) {
    LocalHttpServer server;
    server.answer(200, "[Notes]\r\nAuthor=x\r\n");
    QtHttp inet;
    EXPECT_FALSE(download(inet, server.url(QStringLiteral("/Readme.txt"))));
    EXPECT_EQ(bytesOf(local()), QByteArray("[Notes]\r\nAuthor=x\r\n"));
    EXPECT_FALSE(QFile::exists(backup()));
}

TEST_F(ReadmeInfoTest, ErrorStatusLeavesTheFileAndReportsTheFailure) {
    writeProgramFile(kReadme, kOldReadme);
    LocalHttpServer server;
    QtHttp inet;
    // The error pages carry the marker: only the status tells them from a Readme.txt.
    for (const int status : {404, 500}) {
        SCOPED_TRACE(status);
        server.answer(status, "[说明]\r\n作者=错误页\r\n");
        EXPECT_FALSE(download(inet, server.url(QStringLiteral("/Readme.txt"))));
        expectUntouched(kOldReadme);
        EXPECT_FALSE(last.text().isEmpty());
    }
    EXPECT_EQ(server.requests().size(), 2);
}

TEST_F(ReadmeInfoTest, ClosedPortFailsAtOnceAndLeavesTheFile) {
    writeProgramFile(kReadme, kOldReadme);
    const quint16 port = LocalHttpServer::closedPort();
    ASSERT_NE(port, 0);
    QtHttp inet;
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(download(inet, QStringLiteral("http://127.0.0.1:%1/Readme.txt").arg(port)));
    EXPECT_LT(clock.elapsed(), 2000);
    expectUntouched(kOldReadme);
    EXPECT_FALSE(last.text().isEmpty());
}

// The main window waits for the download; three seconds is the most it may wait, whatever the
// server does.
TEST_F(ReadmeInfoTest, ServerThatNeverFinishesHoldsTheCallerForThreeSecondsAtMost) {
    writeProgramFile(kReadme, kOldReadme);
    LocalHttpServer server;
    QtHttp inet;
    for (const auto mode : {LocalHttpServer::Mode::Silent, LocalHttpServer::Mode::Trickle}) {
        SCOPED_TRACE(static_cast<int>(mode));
        server.setMode(mode);
        QElapsedTimer clock;
        clock.start();
        EXPECT_FALSE(download(inet, server.url(QStringLiteral("/Readme.txt"))));
        const qint64 waited = clock.elapsed();
        EXPECT_GE(waited, 2500) << "it did wait for the server";
        EXPECT_LE(waited, 3500);
        expectUntouched(kOldReadme);
        EXPECT_FALSE(last.text().isEmpty());
    }
    EXPECT_EQ(server.requests().size(), 2);
}

TEST_F(ReadmeInfoTest, FileThatCannotBeWrittenIsAFailure) {
    http->next = {true, kNewReadme, QString()};
    const QString nowhere = programDir.filePath(QStringLiteral("no-such-folder/Readme.txt"));
    const Read<bool> kept =
        DownloadFile(*http, QStringLiteral("https://x.invalid/Readme.txt"), nowhere, kMarker);
    EXPECT_FALSE(kept.value);
    EXPECT_FALSE(kept.outcome.text().isEmpty());
    EXPECT_FALSE(QFile::exists(nowhere));
}

TEST_F(ReadmeInfoTest, TransferWithoutAnErrorTextStillReportsOne) {
    writeProgramFile(kReadme, kOldReadme);
    http->next = {false, {}, QString()};
    EXPECT_FALSE(download(*http, QStringLiteral("https://x.invalid/Readme.txt")));
    EXPECT_TRUE(last.text().contains(QStringLiteral("https://x.invalid/Readme.txt")));
    expectUntouched(kOldReadme);
}

// --- FileHasText ---

TEST_F(ReadmeInfoTest, FileHasTextLooksForTheTextInAnyLineInEitherEncoding) {
    const QString path = programDir.filePath(QStringLiteral("probe.txt"));
    const auto has = [&](const QByteArray& bytes, const QString& text) {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        f.close();
        return FileHasText(path, text);
    };
    EXPECT_TRUE(has(gbk(QStringLiteral("第一行\r\n[说明]\r\n")), kMarker)) << "GBK";
    EXPECT_TRUE(has("first\n\xEF\xBB\xBF[说明]\n", kMarker)) << "UTF-8";
    EXPECT_TRUE(has("\xEF\xBB\xBF"
                    "abc 说明 def",
                    kMarker))
        << "no line end";
    EXPECT_FALSE(has(gbk(QStringLiteral("[说 明]\r\n说\r\n明\r\n")), kMarker))
        << "split over lines or by a blank";
    EXPECT_FALSE(has("Readme readme\n", QStringLiteral("README"))) << "case-sensitive";
    EXPECT_TRUE(has("Readme README\n", QStringLiteral("README")));
    EXPECT_FALSE(has(QByteArray(), kMarker));
    EXPECT_FALSE(FileHasText(programDir.filePath(QStringLiteral("missing.txt")), kMarker));
    EXPECT_FALSE(FileHasText(programDir.path(), kMarker)) << "a folder";
}

// --- Reading Readme.txt ---

TEST_F(ReadmeInfoTest, ReadmeValuesFollowTheConfigRuleIncludingComments) {
    writeProgramFile(kReadme, gbk(QStringLiteral("[说明]\r\n作者=张三 //维护人\r\nQQ=12345//x\r\n"
                                                 "QQ群=//没有\r\n")));
    const auto value = [](const char* key) {
        return ReadReadmeValue(QStringLiteral("说明"), QString::fromUtf8(key),
                               QStringLiteral("缺省"));
    };
    EXPECT_EQ(value("作者"), QStringLiteral("张三"));
    EXPECT_EQ(value("QQ"), QStringLiteral("1234")) << "the character before // goes with it";
    EXPECT_EQ(value("QQ群"), QString());
    EXPECT_EQ(value("公司"), QStringLiteral("缺省"));
    EXPECT_EQ(value("qq"), QStringLiteral("1234")) << "keys ignore letter case";

    // An explicit file instead of the one beside the program.
    const QString other = programDir.filePath(QStringLiteral("other.txt"));
    QFile f(other);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[说明]\n作者=李四\n");
    f.close();
    EXPECT_EQ(ReadReadmeValue(QStringLiteral("说明"), QStringLiteral("作者"), QString(), other),
              QStringLiteral("李四"));
}

TEST_F(ReadmeInfoTest, WithoutReadmeTheDefaultsDescribeQuenlor) {
    st().ReadmeAuthor = QStringLiteral("before");
    LoadReadmeInfo();
    EXPECT_EQ(st().ReadmeCompany, QStringLiteral("Quenlor 项目组"));
    EXPECT_EQ(st().ReadmeAuthor, QStringLiteral("Quenlor 开发组"));
    EXPECT_EQ(st().ReadmeQQ, QStringLiteral("无"));
    EXPECT_EQ(st().ReadmeQQGroup, QStringLiteral("无"));
    EXPECT_EQ(st().ReadmeWebUrl, QStringLiteral("http://") + makerWebSite());
    EXPECT_TRUE(st().ReadmeIntro.startsWith(QStringLiteral("Quenlor：")));
}

TEST_F(ReadmeInfoTest, ReadmeGivesEachValueAndTheDefaultsFillTheGaps) {
    writeProgramFile(kReadme, gbk(QStringLiteral("[说明]\r\n公司=华信软件 //总部\r\n作者=赵六\r\n"
                                                 "网址=www.example.test/quenlor\r\n"
                                                 "简介=<b>删除</b> 账套的工具\r\n"
                                                 "[其他]\r\nQQ=999\r\n")));
    LoadReadmeInfo();
    EXPECT_EQ(st().ReadmeCompany, QStringLiteral("华信软件"));
    EXPECT_EQ(st().ReadmeAuthor, QStringLiteral("赵六"));
    EXPECT_EQ(st().ReadmeQQ, QStringLiteral("无")) << "another section's key does not count";
    EXPECT_EQ(st().ReadmeQQGroup, QStringLiteral("无"));
    EXPECT_EQ(st().ReadmeWebUrl, QStringLiteral("http://www.example.test/quenlor"));
    EXPECT_EQ(st().ReadmeIntro, QStringLiteral("<b>删除</b> 账套的工具"));
}

TEST_F(ReadmeInfoTest, EmptyWebAddressStillGivesHttpAndThatIsWhatOpens) {
    writeProgramFile(kReadme, "[说明]\n网址=\n");
    LoadReadmeInfo();
    EXPECT_EQ(st().ReadmeWebUrl, QStringLiteral("http://"));
    EXPECT_TRUE(OpenWebPage(st().ReadmeWebUrl));
    EXPECT_EQ(system->openedUrls, QStringList{QStringLiteral("http://")})
        << "not the app market: the address is not empty";
}

// --- OpenWebPage ---

TEST_F(ReadmeInfoTest, OpenWebPageOpensOnlyWebAddresses) {
    for (const char* address :
         {"http://quenlor.invalid/", "https://quenlor.invalid/a?b=1", "HTTPS://QUENLOR.INVALID/"}) {
        EXPECT_TRUE(OpenWebPage(QString::fromLatin1(address))) << address;
    }
    EXPECT_EQ(system->openedUrls,
              (QStringList{"http://quenlor.invalid/", "https://quenlor.invalid/a?b=1",
                           "HTTPS://QUENLOR.INVALID/"}));

    system->openedUrls.clear();
    for (const char* address :
         {"file:///etc/passwd", "FILE:///C:/Windows/System32/cmd.exe", "javascript:alert(1)",
          "JavaScript:alert(1)", "data:text/html,<script>alert(1)</script>", "ftp://host/x",
          "mailto:a@b.invalid", "C:\\Windows\\System32\\cmd.exe", "\\\\server\\share\\x.exe",
          "/usr/bin/xterm", "www.quenlor.invalid", " http://quenlor.invalid/", "http:/x",
          "httpx://quenlor.invalid/", "vbscript:msgbox(1)"}) {
        EXPECT_FALSE(OpenWebPage(QString::fromLatin1(address))) << address;
    }
    EXPECT_TRUE(system->openedUrls.isEmpty()) << system->openedUrls.join(u' ').toStdString();
}

TEST_F(ReadmeInfoTest, EmptyAddressOpensTheAppMarket) {
    EXPECT_TRUE(OpenWebPage(QString()));
    EXPECT_EQ(system->openedUrls, QStringList{appMarketAddress()});
}

TEST_F(ReadmeInfoTest, BuiltInAddressesAreWebAddressesAndTheSiteHasNoScheme) {
    for (const QString& address : {readmeDownloadFolder(), appMarketAddress()}) {
        EXPECT_TRUE(address.startsWith(QLatin1String("https://")) ||
                    address.startsWith(QLatin1String("http://")))
            << address.toStdString();
    }
    EXPECT_FALSE(readmeDownloadFolder().endsWith(QLatin1Char('/')));
    EXPECT_FALSE(makerWebSite().contains(QLatin1String("://")));
    EXPECT_FALSE(makerWebSite().isEmpty());
}

// --- What the main window does with it ---

TEST_F(ReadmeInfoTest, CaptionHoldsAllElevenPiecesWithoutFileOrNetwork) {
    st().ProductType = ProductFamily::U8;
    st().ServerVersionText = QStringLiteral("SQL Server 2008 R2");
    RefreshReadmeInfo();
    EXPECT_EQ(http->asked, QStringList{readmeDownloadFolder() + QStringLiteral("/Readme.txt")});
    EXPECT_FALSE(QFile::exists(local()));
    EXPECT_EQ(FormCaption(), QStringLiteral("Quenlor For U8 数据库版本：SQL Server 2008 R2 "
                                            "作者:Quenlor 开发组 QQ:无 QQ群:无"));
}

TEST_F(ReadmeInfoTest, RefreshWritesTheDownloadBesideTheProgramAndReadsIt) {
    writeProgramFile(kReadme, kOldReadme);
    http->next = {true, gbk(QStringLiteral("[说明]\r\n作者=孙七\r\nQQ=10001\r\nQQ群=20002\r\n")),
                  QString()};
    st().ProductType = ProductFamily::Tplus;
    st().ServerVersionText = QStringLiteral("SQL Server 2019");
    RefreshReadmeInfo();
    EXPECT_EQ(bytesOf(backup()), kOldReadme);
    EXPECT_EQ(FormCaption(), QStringLiteral("Quenlor For T+ 数据库版本：SQL Server 2019 作者:孙七 "
                                            "QQ:10001 QQ群:20002"));
    EXPECT_EQ(st().ReadmeCompany, QStringLiteral("Quenlor 项目组")) << "not in the new file";
}

class RecordingAboutBox final : public AboutBox {
public:
    int shown = 0;
    void Show() override { ++shown; }
};

TEST_F(ReadmeInfoTest, AboutBoxTextsComeFromTheReadmeValues) {
    writeProgramFile(kReadme, gbk(QStringLiteral("[说明]\r\n公司=华信软件\r\n作者=吴九\r\nQQ=1\r\n"
                                                 "QQ群=2\r\n网址=a.invalid\r\n简介=一行简介\r\n")));
    LoadReadmeInfo();
    RecordingAboutBox box;
    SetAboutFields(box);
    EXPECT_EQ(box.ProductName, QStringLiteral("Quenlor"));
    EXPECT_TRUE(box.ProductVersion.startsWith(QStringLiteral(" V")));
    EXPECT_EQ(box.MakerLink, QStringLiteral("http://a.invalid"));
    EXPECT_EQ(box.CopyrightText, QStringLiteral("Copyright © 华信软件"));
    EXPECT_EQ(box.shown, 0) << "showing is the caller's";
    EXPECT_EQ(AboutNotice(),
              QStringLiteral("一行简介\n\n公司：华信软件\n作者：吴九\nQQ：1\nQQ群：2\n"
                             "网址：http://a.invalid"));
}

} // namespace
} // namespace quenlor::test
