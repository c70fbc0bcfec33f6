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
};

const QByteArray kOldReadme =
    "[说明]\r\n公司=旧公司\r\n作者=旧作者\r\n简介=这是一段相当长的旧简介，"
    "比新下载的文件长得多，用来检查旧文件的尾巴不会留下。\r\n";
const QByteArray kNewReadme = "[说明]\r\n作者=新作者\r\n";

// --- DownloadFile against a server on this computer ---

enum class Road { Served, Silent, Trickle, ClosedPort, Unwritable };

struct DownloadRow {
    const char* name;
    Road road;
    int status;
    QByteArray body;
    bool previous; // a Readme.txt is there before
    bool kept;
    bool failure; // a failure is reported
};

const DownloadRow kDownloads[] = {
    {"ValidDownloadWithoutPreviousFileBecomesTheFile", Road::Served, 200, kNewReadme, false, true,
     false},
    {"ShorterValidDownloadReplacesTheWholeFileAndBacksUpThePrevious", Road::Served, 200, kNewReadme,
     true, true, false},
    {"PageWithoutTheMarkerRestoresThePreviousFile", Road::Served, 200,
     "<html><body>Welcome to our portal</body></html>", true, false, false},
    {"PageWithoutTheMarkerStaysWhenThereWasNoPreviousFile", Road::Served, 200,
     "[Notes]\r\nAuthor=x\r\n", false, false, false},
    // The error page carries the marker: only the status tells it from a Readme.txt.
    {"ErrorStatus", Road::Served, 404, "[说明]\r\n作者=错误页\r\n", true, false, true},
    {"ServerErrorStatus", Road::Served, 500, "[说明]\r\n作者=错误页\r\n", true, false, true},
    {"ClosedPortFailsAtOnce", Road::ClosedPort, 0, {}, true, false, true},
    // The main window waits for the download: three seconds at most, whatever the server does.
    {"SilentServerHoldsTheCallerThreeSecondsAtMost", Road::Silent, 0, {}, true, false, true},
    {"TricklingServerHoldsTheCallerThreeSecondsAtMost", Road::Trickle, 0, {}, true, false, true},
    {"FileThatCannotBeWritten", Road::Unwritable, 200, kNewReadme, false, false, true},
};

class ReadmeDownload : public ReadmeInfoTest, public ::testing::WithParamInterface<DownloadRow> {};

TEST_P(ReadmeDownload, KeepsOnlyAValidFileAndReportsFailures) {
    const DownloadRow& row = GetParam();
    if (row.previous)
        writeProgramFile(kReadme, kOldReadme);
    if (row.previous && row.kept)
        writeProgramFile(kReadme + QStringLiteral(".tmp"), "an earlier backup, to be replaced");
    LocalHttpServer server;
    ASSERT_NE(server.port(), 0);
    server.answer(row.status, row.body);
    if (row.road == Road::Silent)
        server.setMode(LocalHttpServer::Mode::Silent);
    if (row.road == Road::Trickle)
        server.setMode(LocalHttpServer::Mode::Trickle);
    const QString address =
        row.road == Road::ClosedPort
            ? QStringLiteral("http://127.0.0.1:%1/Readme.txt").arg(LocalHttpServer::closedPort())
            : server.url(QStringLiteral("/download/Readme.txt"));
    const QString target = row.road == Road::Unwritable
                               ? programDir.filePath(QStringLiteral("no-such-folder/Readme.txt"))
                               : local();
    QtHttp inet;
    QElapsedTimer clock;
    clock.start();

    const Read<bool> kept = DownloadFile(inet, address, target, kMarker);

    const qint64 waited = clock.elapsed();
    EXPECT_EQ(kept.value, row.kept);
    EXPECT_EQ(!kept.outcome.text().isEmpty(), row.failure) << kept.outcome.text().toStdString();
    if (row.road == Road::Served) {
        EXPECT_EQ(server.requests(),
                  QStringList{QStringLiteral("GET /download/Readme.txt HTTP/1.1")});
    }
    if (row.road == Road::Silent || row.road == Road::Trickle) {
        EXPECT_GE(waited, 2500) << "it did wait for the server";
        EXPECT_LE(waited, 3500);
    } else {
        EXPECT_LT(waited, 2000);
    }
    if (row.road == Road::Unwritable) {
        EXPECT_FALSE(QFile::exists(target));
    } else if (row.kept) {
        EXPECT_EQ(bytesOf(local()), row.body) << "no byte of an old file is left at the end";
        EXPECT_EQ(bytesOf(backup()), row.previous ? kOldReadme : QByteArray("<missing>"));
    } else if (row.previous) {
        EXPECT_EQ(bytesOf(local()), kOldReadme);
        EXPECT_FALSE(QFile::exists(backup())) << "no backup of a failed attempt";
    } else {
        EXPECT_EQ(bytesOf(local()), row.body) << "nothing to restore";
        EXPECT_FALSE(QFile::exists(backup()));
    }
}

INSTANTIATE_TEST_SUITE_P(Readme, ReadmeDownload, ::testing::ValuesIn(kDownloads),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ReadmeInfoTest, TransferWithoutAnErrorTextStillReportsOne) {
    writeProgramFile(kReadme, kOldReadme);
    http->next = {false, {}, QString()};
    const Read<bool> kept =
        DownloadFile(*http, QStringLiteral("https://x.invalid/Readme.txt"), local(), kMarker);
    EXPECT_FALSE(kept.value);
    EXPECT_TRUE(kept.outcome.text().contains(QStringLiteral("https://x.invalid/Readme.txt")));
    EXPECT_EQ(bytesOf(local()), kOldReadme);
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

TEST_F(ReadmeInfoTest, OpenWebPageOpensOnlyWebAddressesAndTheAppMarketForNone) {
    const QStringList web = {QStringLiteral("http://quenlor.invalid/"),
                             QStringLiteral("https://quenlor.invalid/a?b=1"),
                             QStringLiteral("HTTPS://QUENLOR.INVALID/")};
    for (const QString& address : web)
        EXPECT_TRUE(OpenWebPage(address)) << address.toStdString();
    EXPECT_TRUE(OpenWebPage(QString()));
    EXPECT_EQ(system->openedUrls, web + QStringList{appMarketAddress()});

    system->openedUrls.clear();
    for (const char* address :
         {"file:///etc/passwd", "FILE:///C:/Windows/System32/cmd.exe", "javascript:alert(1)",
          "data:text/html,<script>alert(1)</script>", "ftp://host/x", "mailto:a@b.invalid",
          "C:\\Windows\\System32\\cmd.exe", "\\\\server\\share\\x.exe", "/usr/bin/xterm",
          "www.quenlor.invalid", " http://quenlor.invalid/", "http:/x",
          "httpx://quenlor.invalid/"}) {
        EXPECT_FALSE(OpenWebPage(QString::fromLatin1(address))) << address;
    }
    EXPECT_TRUE(system->openedUrls.isEmpty()) << system->openedUrls.join(u' ').toStdString();
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
