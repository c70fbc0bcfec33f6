#include "core/config/IniFile.h"
#include "core/app/Environment.h"
#include "core/login/ManualLogin.h"

#include "platform/Gbk.h"
#include "support/TestState.h"

#include <QDir>
#include <QFile>

namespace quenlor {
namespace {

class IniFileTest : public test::StateFixture {
protected:
    QString serverFrom(const QByteArray& line) {
        writeProgramFile(QStringLiteral("Config.ini"), "[Login]\r\nServer=" + line + "\r\n");
        return ReadIniValue(QStringLiteral("Login"), QStringLiteral("Server"),
                            QStringLiteral("127.0.0.1"));
    }
};

TEST_F(IniFileTest, CommentMarkerTakesTheCharacterBeforeItAlong) {
    EXPECT_EQ(serverFrom("192.168.0.5 //office"), QStringLiteral("192.168.0.5"));
    EXPECT_EQ(serverFrom("10.0.0.15//x"), QStringLiteral("10.0.0.1"));
    EXPECT_EQ(serverFrom("//only a comment"), QString());
    EXPECT_EQ(serverFrom("a//b"), QString());
    EXPECT_EQ(serverFrom("db01   //   several blanks"), QStringLiteral("db01"));
    EXPECT_EQ(serverFrom("http://host"), QStringLiteral("http"))
        << "the rule knows nothing of addresses";
    EXPECT_EQ(serverFrom("plain"), QStringLiteral("plain"));
    EXPECT_EQ(applyIniCommentRule(QString::fromUtf16(u"ab\u0000cd  \u0000", 7)),
              QStringLiteral("abcd"));
    // The default passes through the same rule.
    EXPECT_EQ(
        ReadIniValue(QStringLiteral("Other"), QStringLiteral("Server"), QStringLiteral("db //x")),
        QStringLiteral("db"));
}

TEST_F(IniFileTest, LoginDefaultsComeFromConfigIni) {
    const struct {
        const char* name;
        const char* file; // null: none
        QByteArray bytes;
        const char* server;
        const char* user;
        const char* password;
    } cases[] = {
        {"without a file the dialog is left alone",
         nullptr,
         {},
         "untouched",
         "untouched",
         "untouched"},
        {"values trimmed, one pair of quotes removed, an empty user stays empty", "Config.ini",
         "[Login]\r\nServer=  erp-db,1433  \r\nSa=\r\nPwd=\"p@ss word\"\r\n", "erp-db,1433", "",
         "p@ss word"},
        {"missing keys give the defaults", "Config.ini", "[Login]\r\n[Other]\r\nServer=x\r\n",
         "127.0.0.1", "SA", ""},
        {"file, section and key names ignore letter case", "CONFIG.INI", "[LOGIN]\nSERVER=upper\n",
         "upper", "SA", ""},
        {"written on a Chinese Windows: GBK", "Config.ini",
         *encodeGbk(QStringLiteral("[Login]\r\nServer=财务服务器 //总部\r\nPwd=密码\r\n")),
         "财务服务器", "SA", "密码"},
        {"garbled or binary", "Config.ini",
         [] {
             QByteArray junk;
             for (int i = 0; i < 4096; ++i)
                 junk.append(char((i * 7919) & 0xFF));
             return junk.replace('[', 'x'); // no section header can appear by accident
         }(),
         "127.0.0.1", "SA", ""},
    };
    for (const auto& c : cases) {
        QFile::remove(programDir.filePath(QStringLiteral("Config.ini")));
        QFile::remove(programDir.filePath(QStringLiteral("CONFIG.INI")));
        if (c.file)
            writeProgramFile(QLatin1String(c.file), c.bytes);
        test::ScriptedLoginDialog d;
        d.ServerName = d.UserName = d.Password = QStringLiteral("untouched");
        LoadLoginDefaults(d);
        EXPECT_EQ(d.ServerName, QString::fromUtf8(c.server)) << c.name;
        EXPECT_EQ(d.UserName, QString::fromUtf8(c.user)) << c.name;
        EXPECT_EQ(d.Password, QString::fromUtf8(c.password)) << c.name;
    }
}

TEST(ReplaceCharTest, ReplacesOrRemovesByCharacterCode) {
    EXPECT_EQ(ReplaceChar(QStringLiteral("a-b-c"), '-', '_'), QStringLiteral("a_b_c"));
    EXPECT_EQ(ReplaceChar(QStringLiteral("a-b-c"), '-', 0), QStringLiteral("abc"));
    EXPECT_EQ(ReplaceChar(QString::fromUtf16(u"x\u0000y\u0000", 4), 0, 0), QStringLiteral("xy"));
    EXPECT_EQ(ReplaceChar(QStringLiteral("账套-1"), '-', 0), QStringLiteral("账套1"));
    // 中 is D6D0 in the ANSI code page, a negative 16-bit code.
    EXPECT_EQ(ReplaceChar(QStringLiteral("中文中"), static_cast<short>(0xD6D0), 0),
              QStringLiteral("文"));
}

TEST_F(IniFileTest, FileExistsForNormalFilesAndFoldersOnly) {
    writeProgramFile(QStringLiteral("Readme.txt"), "x");
    writeProgramFile(QStringLiteral(".hidden"), "x");
    QDir(programDir.path()).mkdir(QStringLiteral("sub"));
    EXPECT_TRUE(FileExists(programDir.filePath(QStringLiteral("Readme.txt"))));
    EXPECT_TRUE(FileExists(programDir.filePath(QStringLiteral("sub"))));
    EXPECT_FALSE(FileExists(programDir.filePath(QStringLiteral(".hidden"))));
    EXPECT_FALSE(FileExists(programDir.filePath(QStringLiteral("missing.txt"))));
    EXPECT_FALSE(FileExists(QString()));
}

} // namespace
} // namespace quenlor
