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

TEST(PortableProfile, ReadsTheNamedSectionAndKey) {
    const QByteArray names = "Server=before-any-section\n[Other]\nServer=wrong\n"
                             "  [ login ]  \r\n  SERVER  =  10.0.0.5  \r\n;Sa=commented\r\n"
                             "Pwd=x ; not a comment here\r\nEmpty=\r\nBare\r\n[Next]\nSa=next\n";
    const QByteArray quotes = "[s]\na=\"quoted value\"\nb='single'\nc=\"\"inner\"\"\n"
                              "d=\"unbalanced\ne=\"mixed'\nf=\"\ng=\"\"\nh=  \"  spaced  \"  \n";
    const QString server = QStringLiteral("财务服务器");
    QByteArray utf16("\xFF\xFE");
    const QString wide = QStringLiteral("[Login]\r\nServer=宽字符\r\n");
    utf16.append(reinterpret_cast<const char*>(wide.utf16()), wide.size() * 2);
    const struct {
        const char* why;
        QByteArray ini;
        const char* section;
        const char* key;
        QString value;
    } cases[] = {
        {"names ignore case and blanks around them", names, "LOGIN", "server",
         QStringLiteral("10.0.0.5")},
        {"another section of the file", names, "Other", "SERVER", QStringLiteral("wrong")},
        {"a ';' line is a comment", names, "Login", "Sa", QStringLiteral("DEF")},
        {"a ';' inside a value is not", names, "Login", "Pwd",
         QStringLiteral("x ; not a comment here")},
        {"an empty value is empty", names, "Login", "Empty", QString()},
        {"a line without '=' holds no value", names, "Login", "Bare", QStringLiteral("DEF")},
        {"no file", QByteArray(), "Login", "Server", QStringLiteral("DEF")},
        {"double quotes go", quotes, "s", "a", QStringLiteral("quoted value")},
        {"single quotes go", quotes, "s", "b", QStringLiteral("single")},
        {"only one pair", quotes, "s", "c", QStringLiteral("\"inner\"")},
        {"an unbalanced quote stays", quotes, "s", "d", QStringLiteral("\"unbalanced")},
        {"mixed quotes stay", quotes, "s", "e", QStringLiteral("\"mixed'")},
        {"a lone quote stays", quotes, "s", "f", QStringLiteral("\"")},
        {"an empty pair", quotes, "s", "g", QString()},
        {"blanks inside quotes stay", quotes, "s", "h", QStringLiteral("  spaced  ")},
        {"UTF-8", "[登录]\nServer=" + server.toUtf8() + "\n", "登录", "Server", server},
        {"GBK", gbk(QStringLiteral("[登录]\nServer=") + server + QStringLiteral("\n")), "登录",
         "Server", server},
        {"UTF-8 with a BOM", "\xEF\xBB\xBF[Login]\nServer=bom\n", "Login", "Server",
         QStringLiteral("bom")},
        {"UTF-16", utf16, "Login", "Server", QStringLiteral("宽字符")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(read(c.ini, c.section, c.key), c.value) << c.why;
    EXPECT_EQ(read(names, "Login", "Missing", QStringLiteral("dflt  ")), QStringLiteral("dflt"))
        << "the profile API drops trailing blanks of the default";
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
