#include "platform/PortableProfile.h"
#include "platform/Gbk.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace quenlor {
namespace {

QString read(const QByteArray& file, const char* section, const char* key,
             const QString& def = QStringLiteral("DEF"), int size = 255) {
    return PortableProfile::readFromBytes(file, QString::fromUtf8(section), QString::fromUtf8(key),
                                          def, size);
}

QByteArray gbk(const QString& s) {
    return *encodeGbk(s);
}

TEST(PortableProfile, NamesIgnoreCaseAndBlanksAroundThem) {
    const QByteArray ini = "[Other]\nServer=wrong\n"
                           "  [ login ]  \r\n"
                           "  SERVER  =  10.0.0.5  \r\n"
                           "sa=admin\r\n";
    EXPECT_EQ(read(ini, "Login", "Server"), QStringLiteral("10.0.0.5"));
    EXPECT_EQ(read(ini, "LOGIN", "Sa"), QStringLiteral("admin"));
    EXPECT_EQ(read(ini, "login", "Pwd"), QStringLiteral("DEF"));
    EXPECT_EQ(read(ini, "Other", "server"), QStringLiteral("wrong"));
}

TEST(PortableProfile, OnePairOfMatchingQuotesIsRemoved) {
    const QByteArray ini = "[s]\n"
                           "a=\"quoted value\"\n"
                           "b='single'\n"
                           "c=\"\"inner\"\"\n"
                           "d=\"unbalanced\n"
                           "e=\"mixed'\n"
                           "f=\"\n"
                           "g=\"\"\n"
                           "h=  \"  spaced  \"  \n";
    EXPECT_EQ(read(ini, "s", "a"), QStringLiteral("quoted value"));
    EXPECT_EQ(read(ini, "s", "b"), QStringLiteral("single"));
    EXPECT_EQ(read(ini, "s", "c"), QStringLiteral("\"inner\""));
    EXPECT_EQ(read(ini, "s", "d"), QStringLiteral("\"unbalanced"));
    EXPECT_EQ(read(ini, "s", "e"), QStringLiteral("\"mixed'"));
    EXPECT_EQ(read(ini, "s", "f"), QStringLiteral("\""));
    EXPECT_EQ(read(ini, "s", "g"), QString());
    EXPECT_EQ(read(ini, "s", "h"), QStringLiteral("  spaced  "));
}

TEST(PortableProfile, SemicolonLinesAreCommentsAndOnlyTheNamedSectionCounts) {
    const QByteArray ini = "Server=before-any-section\n"
                           "[Login]\n"
                           ";Server=commented\n"
                           "  ; Sa=also commented\n"
                           "Pwd=x ; not a comment here\n"
                           "[Next]\n"
                           "Sa=from next\n";
    EXPECT_EQ(read(ini, "Login", "Server"), QStringLiteral("DEF"));
    EXPECT_EQ(read(ini, "Login", "Sa"), QStringLiteral("DEF"));
    EXPECT_EQ(read(ini, "Login", "Pwd"), QStringLiteral("x ; not a comment here"));
}

TEST(PortableProfile, MissingKeyGivesTheDefaultAndAnEmptyValueIsEmpty) {
    const QByteArray ini = "[Login]\nServer=\nSa\n";
    EXPECT_EQ(read(ini, "Login", "Server"), QString());
    EXPECT_EQ(read(ini, "Login", "Sa"), QStringLiteral("DEF"))
        << "a line without \"=\" holds no value";
    EXPECT_EQ(read(ini, "Login", "Pwd", QStringLiteral("dflt  ")), QStringLiteral("dflt"))
        << "the profile API drops trailing blanks of the default";
    EXPECT_EQ(read(QByteArray(), "Login", "Server"), QStringLiteral("DEF"));
}

TEST(PortableProfile, ValueIsCutToOneByteLessThanTheBuffer) {
    const QByteArray longAscii(300, 'x');
    const QByteArray ini = "[s]\nk=" + longAscii + "\n";
    EXPECT_EQ(read(ini, "s", "k").size(), 254);

    // 200 two-byte characters in GBK: 127 fit into 254 bytes.
    const QString chinese(200, QChar(0x4E2D));
    const QString fromGbk = read("[s]\nk=" + gbk(chinese) + "\n", "s", "k");
    EXPECT_EQ(fromGbk, QString(127, QChar(0x4E2D)));
    // In UTF-8 they take three bytes each: 84 fit, the 85th would be cut in half and is dropped.
    const QString fromUtf8 = read("[s]\nk=" + chinese.toUtf8() + "\n", "s", "k");
    EXPECT_EQ(fromUtf8, QString(84, QChar(0x4E2D)));

    const QByteArray odd = "[s]\nk=" + QByteArray(253, 'a') + gbk(QStringLiteral("中")) + "\n";
    EXPECT_EQ(read(odd, "s", "k"), QString(253, QLatin1Char('a')))
        << "a double-byte character that does not fit whole is left out";
    EXPECT_EQ(read("[s]\nk=abcdef\n", "s", "k", QString(), 4), QStringLiteral("abc"));
}

TEST(PortableProfile, GbkAndUtf8FilesAreBothRead) {
    const QString server = QStringLiteral("财务服务器");
    EXPECT_EQ(read("[登录]\nServer=" + server.toUtf8() + "\n", "登录", "Server"), server);
    EXPECT_EQ(read(gbk(QStringLiteral("[登录]\nServer=") + server + QStringLiteral("\n")), "登录",
                   "Server"),
              server);
    EXPECT_EQ(read("\xEF\xBB\xBF[Login]\nServer=bom\n", "Login", "Server"), QStringLiteral("bom"));
    QByteArray utf16("\xFF\xFE");
    const QString text = QStringLiteral("[Login]\r\nServer=宽字符\r\n");
    utf16.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    EXPECT_EQ(read(utf16, "Login", "Server"), QStringLiteral("宽字符"));
}

TEST(PortableProfile, FirstSectionAndFirstKeyOfANameWin) {
    const QByteArray ini = "[Login]\nServer=one\nServer=two\n[Login]\nServer=three\n";
    EXPECT_EQ(read(ini, "Login", "Server"), QStringLiteral("one"));
    // The system stops at the end of the first section of the name: a later one is not searched.
    EXPECT_EQ(read("[Login]\nSa=x\n[Login]\nServer=later\n", "Login", "Server"),
              QStringLiteral("DEF"));
}

TEST(PortableProfile, FilesOnDiskAndMissingFiles) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Config.ini"));
    PortableProfile profile;
    EXPECT_EQ(profile.readString(QStringLiteral("Login"), QStringLiteral("Server"),
                                 QStringLiteral("127.0.0.1"), path, 255),
              QStringLiteral("127.0.0.1"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[Login]\r\nServer=db01\r\n");
    f.close();
    EXPECT_EQ(profile.readString(QStringLiteral("Login"), QStringLiteral("Server"),
                                 QStringLiteral("127.0.0.1"), path, 255),
              QStringLiteral("db01"));
    EXPECT_EQ(profile.readString(QStringLiteral("Login"), QStringLiteral("Server"),
                                 QStringLiteral("127.0.0.1"), dir.path(), 255),
              QStringLiteral("127.0.0.1"))
        << "a folder is no profile";
}

} // namespace
} // namespace quenlor
