#include "core/config/IniFile.h"
#include "core/login/ManualLogin.h"

#include "platform/Gbk.h"
#include "support/TestState.h"

#include <QFile>

namespace quenlor {
namespace {

class IniFileTest : public test::StateFixture {};

TEST_F(IniFileTest, CommentMarkerTakesTheCharacterBeforeItAlong) {
    const std::pair<const char*, const char*> cases[] = {
        {"192.168.0.5 //office", "192.168.0.5"}, {"10.0.0.15//x", "10.0.0.1"}, {"a//b", ""},
        {"db01   //   several blanks", "db01"},  {"http://host", "http"},      {"plain", "plain"},
    };
    for (const auto& [line, value] : cases) {
        writeProgramFile("Config.ini", "[Login]\r\nServer=" + QByteArray(line) + "\r\n");
        EXPECT_EQ(ReadIniValue("Login", "Server", "127.0.0.1"), QString::fromLatin1(value)) << line;
    }
}

TEST_F(IniFileTest, LoginDefaultsComeFromConfigIni) {
    const struct {
        const char* name;
        const char* file; // null: none
        QByteArray bytes;
        const char* login; // server|user|password the dialog shows
    } cases[] = {
        {"without a file the dialog is left alone", nullptr, {}, "untouched|untouched|untouched"},
        {"values trimmed, one pair of quotes removed, an empty user stays empty", "Config.ini",
         "[Login]\r\nServer=  erp-db,1433  \r\nSa=\r\nPwd=\"p@ss word\"\r\n",
         "erp-db,1433||p@ss word"},
        {"missing keys give the defaults", "Config.ini", "[Login]\r\n[Other]\r\nServer=x\r\n",
         "127.0.0.1|SA|"},
        {"file, section and key names ignore letter case", "CONFIG.INI", "[LOGIN]\nSERVER=upper\n",
         "upper|SA|"},
        {"written on a Chinese Windows: GBK", "Config.ini",
         *encodeGbk(QStringLiteral("[Login]\r\nServer=财务服务器 //总部\r\nPwd=密码\r\n")),
         "财务服务器|SA|密码"},
    };
    for (const auto& c : cases) {
        QFile::remove(programDir.filePath(QStringLiteral("Config.ini")));
        QFile::remove(programDir.filePath(QStringLiteral("CONFIG.INI")));
        if (c.file)
            writeProgramFile(QLatin1String(c.file), c.bytes);
        test::ScriptedLoginDialog d;
        d.ServerName = d.UserName = d.Password = QStringLiteral("untouched");
        LoadLoginDefaults(d);
        EXPECT_EQ(QStringList({d.ServerName, d.UserName, d.Password}).join('|'),
                  QString::fromUtf8(c.login))
            << c.name;
    }
}

} // namespace
} // namespace quenlor
