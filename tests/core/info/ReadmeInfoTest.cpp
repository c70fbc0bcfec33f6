#include "core/info/ReadmeInfo.h"

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
QByteArray gbk(const char* text) {
    return *encodeGbk(QString::fromUtf8(text));
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

const QByteArray kOldReadme = "[说明]\r\n公司=旧公司\r\n简介=这是一段相当长的旧简介，"
                              "比新下载的文件长得多，用来检查旧文件的尾巴不会留下。\r\n";
const QByteArray kNewReadme = "[说明]\r\n作者=新作者\r\n";

// --- DownloadFile against a server on this computer ---

enum class Road { Served, Silent, Trickle };

struct DownloadRow {
    const char* name;
    Road road;
    int status;
    QByteArray body;
    bool previous; // a Readme.txt is there before
    bool kept;
    bool failure; // a failure is reported
};

// clang-format off
const DownloadRow kDownloads[] = {
    {"ValidDownloadWithoutPreviousFileBecomesTheFile", Road::Served, 200, kNewReadme, false, true, false},
    {"ShorterValidDownloadReplacesTheWholeFileAndBacksUpThePrevious", Road::Served, 200, kNewReadme,
     true, true, false},
    {"PageWithoutTheMarkerRestoresThePreviousFile", Road::Served, 200,
     "<html><body>Welcome to our portal</body></html>", true, false, false},
    // The error page carries the marker: only the status tells it from a Readme.txt.
    {"ErrorStatus", Road::Served, 404, "[说明]\r\n作者=错误页\r\n", true, false, true},
    // The main window waits for the download: three seconds at most, whatever the server does.
    {"SilentServerHoldsTheCallerThreeSecondsAtMost", Road::Silent, 0, {}, true, false, true},
    {"TricklingServerHoldsTheCallerThreeSecondsAtMost", Road::Trickle, 0, {}, true, false, true},
};
// clang-format on

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
    QtHttp inet;
    QElapsedTimer clock;
    clock.start();

    const Read<bool> kept = DownloadFile(inet, server.url("/Readme.txt"), local(), kMarker);

    const qint64 waited = clock.elapsed();
    EXPECT_EQ(kept.value, row.kept);
    EXPECT_EQ(!kept.outcome.text().isEmpty(), row.failure) << kept.outcome.text().toStdString();
    const bool slow = row.road == Road::Silent || row.road == Road::Trickle;
    EXPECT_GE(waited, slow ? 2500 : 0) << "it did wait for the server";
    EXPECT_LE(waited, slow ? 3500 : 2000);
    if (row.kept) {
        EXPECT_EQ(bytesOf(local()), row.body) << "no byte of an old file is left at the end";
        EXPECT_EQ(bytesOf(backup()), row.previous ? kOldReadme : QByteArray("<missing>"));
    } else {
        EXPECT_EQ(bytesOf(local()), kOldReadme);
        EXPECT_FALSE(QFile::exists(backup())) << "no backup of a failed attempt";
    }
}

INSTANTIATE_TEST_SUITE_P(Readme, ReadmeDownload, ::testing::ValuesIn(kDownloads),
                         [](const auto& info) { return std::string(info.param.name); });

// The about box's notice shows the values of Readme.txt's own section, read as Config.ini is
// (the character before "//" goes with the comment); the defaults fill the gaps.
TEST_F(ReadmeInfoTest, AboutNoticeComesFromTheReadmeValues) {
    writeProgramFile(kReadme, gbk("[说明]\r\n公司=华信软件 //总部\r\n作者=吴九\r\nqq=12345//x\r\n"
                                  "网址=a.invalid\r\n简介=<b>删除</b> 账套的工具\r\n"
                                  "[其他]\r\nQQ群=999\r\n"));
    LoadReadmeInfo();
    EXPECT_EQ(AboutNotice(), QStringLiteral("<b>删除</b> 账套的工具\n\n公司：华信软件\n作者：吴九\n"
                                            "QQ：1234\nQQ群：无\n网址：http://a.invalid"));
}

// Web addresses go to the browser, an empty one to the app market; anything else is refused,
// as the address may come from a downloaded file.
TEST_F(ReadmeInfoTest, OpenWebPageOpensOnlyWebAddressesAndTheAppMarketForNone) {
    EXPECT_TRUE(OpenWebPage("HTTPS://QUENLOR.INVALID/a?b=1"));
    EXPECT_TRUE(OpenWebPage(QString()));
    EXPECT_EQ(system->openedUrls,
              (QStringList{"HTTPS://QUENLOR.INVALID/a?b=1", appMarketAddress()}));
    for (const char* address :
         {"file:///etc/passwd", "javascript:alert(1)", "C:\\Windows\\System32\\cmd.exe",
          "\\\\server\\share\\x.exe", "www.quenlor.invalid", " http://quenlor.invalid/", "http:/x"})
        EXPECT_FALSE(OpenWebPage(QString::fromLatin1(address))) << address;
    EXPECT_EQ(system->openedUrls.size(), 2) << system->openedUrls.join(u' ').toStdString();
}

// The main window's refresh asks the maker's site; without file or network the defaults fill
// the caption.
TEST_F(ReadmeInfoTest, RefreshWithoutFileOrNetworkCaptionsWithTheDefaults) {
    st().ProductType = ProductFamily::U8;
    st().ServerVersionText = QStringLiteral("SQL Server 2008 R2");
    RefreshReadmeInfo();
    EXPECT_EQ(http->asked, QStringList{readmeDownloadFolder() + QStringLiteral("/Readme.txt")});
    EXPECT_FALSE(QFile::exists(local()));
    EXPECT_EQ(FormCaption(), QStringLiteral("Quenlor For U8 数据库版本：SQL Server 2008 R2 "
                                            "作者:Quenlor 开发组 QQ:无 QQ群:无"));
}

} // namespace
} // namespace quenlor::test
