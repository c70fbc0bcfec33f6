#include "core/app/Environment.h"
#include "core/config/IniFile.h"
#include "core/login/ManualLogin.h"

#include "platform/Gbk.h"
#include "support/TestState.h"

#include <QDir>
#include <QFile>

namespace quenlor {
namespace {

class IniFileTest : public test::StateFixture {
protected:
    test::ScriptedLoginDialog dialog;

    QString serverFrom(const QByteArray& line) {
        writeProgramFile(QStringLiteral("Config.ini"), "[Login]\r\nServer=" + line + "\r\n");
        return ReadIniValue(QStringLiteral("Login"), QStringLiteral("Server"),
                            QStringLiteral("127.0.0.1"));
    }
};

TEST_F(IniFileTest, CommentMarkerTakesTheCharacterBeforeItAlong) {
    EXPECT_EQ(serverFrom("192.168.0.5 //office"), QStringLiteral("192.168.0.5"));
    EXPECT_EQ(serverFrom("10.0.0.15//x"), QStringLiteral("10.0.0.1"));
    EXPECT_EQ(serverFrom("10.0.0.15 //x"), QStringLiteral("10.0.0.15"));
    EXPECT_EQ(serverFrom("//only a comment"), QString());
    EXPECT_EQ(serverFrom("a//b"), QString());
    EXPECT_EQ(serverFrom("ab//"), QStringLiteral("a"));
    EXPECT_EQ(serverFrom("db01   //   several blanks"), QStringLiteral("db01"));
    EXPECT_EQ(serverFrom("http://host"), QStringLiteral("http"))
        << "the rule knows nothing of addresses";
    EXPECT_EQ(serverFrom("plain"), QStringLiteral("plain"));
}

TEST_F(IniFileTest, DefaultAppliesToAMissingFileKeyOrSection) {
    EXPECT_EQ(ReadIniValue(QStringLiteral("Login"), QStringLiteral("Server"),
                           QStringLiteral("127.0.0.1")),
              QStringLiteral("127.0.0.1"));
    writeProgramFile(QStringLiteral("Config.ini"), "[Other]\nServer=x\n");
    EXPECT_EQ(ReadIniValue(QStringLiteral("Login"), QStringLiteral("Server"),
                           QStringLiteral("127.0.0.1")),
              QStringLiteral("127.0.0.1"));
    // The default passes through the same comment rule.
    EXPECT_EQ(
        ReadIniValue(QStringLiteral("Login"), QStringLiteral("Server"), QStringLiteral("db //x")),
        QStringLiteral("db"));
}

TEST_F(IniFileTest, ExplicitFileAndNulCharacters) {
    const QString other = programDir.filePath(QStringLiteral("other.ini"));
    QFile f(other);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[说明]\n作者=张三 // 维护人\n");
    f.close();
    EXPECT_EQ(ReadIniValue(QStringLiteral("说明"), QStringLiteral("作者"), QString(), other),
              QStringLiteral("张三"));
    EXPECT_EQ(applyIniCommentRule(QString::fromUtf16(u"ab\u0000cd  \u0000", 7)),
              QStringLiteral("abcd"));
}

TEST_F(IniFileTest, ConfigFileNameIgnoresLetterCase) {
    writeProgramFile(QStringLiteral("CONFIG.INI"), "[LOGIN]\nSERVER=upper\n");
    EXPECT_EQ(ReadIniValue(QStringLiteral("Login"), QStringLiteral("Server"), QString()),
              QStringLiteral("upper"));
    LoadLoginDefaults(dialog);
    EXPECT_EQ(dialog.ServerName, QStringLiteral("upper"));
}

TEST_F(IniFileTest, LoadLoginDefaultsWithoutAFileLeavesTheDialogAlone) {
    dialog.ServerName = QStringLiteral("untouched");
    LoadLoginDefaults(dialog);
    EXPECT_EQ(dialog.ServerName, QStringLiteral("untouched"));
    EXPECT_EQ(dialog.UserName, QString());
}

TEST_F(IniFileTest, LoadLoginDefaultsCopiesTheThreeValues) {
    writeProgramFile(QStringLiteral("Config.ini"),
                     "[Login]\r\nServer=  erp-db,1433  \r\nSa=\r\nPwd=\"p@ss word\"\r\n");
    LoadLoginDefaults(dialog);
    EXPECT_EQ(dialog.ServerName, QStringLiteral("erp-db,1433"));
    EXPECT_EQ(dialog.UserName, QString()) << "present but empty stays empty; the dialog fills SA";
    EXPECT_EQ(dialog.Password, QStringLiteral("p@ss word"));

    writeProgramFile(QStringLiteral("Config.ini"), "[Login]\r\n");
    LoadLoginDefaults(dialog);
    EXPECT_EQ(dialog.ServerName, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(dialog.UserName, QStringLiteral("SA"));
    EXPECT_EQ(dialog.Password, QString());
}

TEST_F(IniFileTest, ConfigWrittenOnAChineseWindowsIsReadAsGbk) {
    writeProgramFile(
        QStringLiteral("Config.ini"),
        *encodeGbk(QStringLiteral("[Login]\r\nServer=财务服务器 //总部\r\nPwd=密码\r\n")));
    LoadLoginDefaults(dialog);
    EXPECT_EQ(dialog.ServerName, QStringLiteral("财务服务器"));
    EXPECT_EQ(dialog.Password, QStringLiteral("密码"));
}

TEST_F(IniFileTest, GarbledOrBinaryConfigGivesTheDefaults) {
    QByteArray junk;
    for (int i = 0; i < 4096; ++i)
        junk.append(char((i * 7919) & 0xFF));
    junk.replace('[', 'x'); // no section header can appear by accident
    writeProgramFile(QStringLiteral("Config.ini"), junk);
    LoadLoginDefaults(dialog);
    EXPECT_EQ(dialog.ServerName, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(dialog.UserName, QStringLiteral("SA"));
    EXPECT_EQ(dialog.Password, QString());
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
