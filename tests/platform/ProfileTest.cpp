// The profile readers. The portable one's own rules (that it agrees with the system's profile call
// on the same files is shown by ProfileDifferential, run under Wine), and on Windows the one
// through the system's call: the program's built-in Chinese defaults come back whole whatever the
// ANSI code page (the tests' Wine runs with a Western one).
#include "platform/PortableProfile.h"
#ifdef _WIN32
#include "platform/WindowsPlatform.h"

#include <QFile>
#include <QTemporaryDir>
#endif

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QStringEncoder>

using namespace Qt::StringLiterals;

namespace quenlor {
namespace {

QString read(const QByteArray& file, const char* section, const char* key, int size = 255) {
    return PortableProfile::readFromBytes(file, QString::fromUtf8(section), QString::fromUtf8(key),
                                          u"DEF"_s, size);
}

TEST(PortableProfile, ReadsTheNamedSectionAndKey) {
    const QByteArray ini = "Server=before\n[Other]\nServer=wrong\n  [ login ]  \r\n"
                           "  SERVER  =  10.0.0.5  \r\n;Sa=x\r\nPwd=\"quoted value\"\r\nBare\r\n";
    const struct {
        const char* name;
        QByteArray ini;
        const char* section;
        const char* key;
        QString value;
    } rows[] = {
        {"NamesIgnoreCaseAndBlanks", ini, "LOGIN", "server", u"10.0.0.5"_s},
        {"CommentLineIsNoValue", ini, "Login", "Sa", u"DEF"_s},
        {"OnePairOfQuotesGoes", ini, "Login", "Pwd", u"quoted value"_s},
        {"LineWithoutEqualsIsNoValue", ini, "Login", "Bare", u"DEF"_s},
        {"NoFile", QByteArray(), "Login", "Server", u"DEF"_s},
        {"GbkFile", "[\xB5\xC7\xC2\xBC]\nk=\xCB\xB5\xC3\xF7\n", "登录", "k", u"说明"_s},
        {"Utf8File", "\xEF\xBB\xBF[登录]\nk=说明\n", "登录", "k", u"说明"_s},
        {"Utf16File",
         QStringEncoder(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom)
             .encode(u"[Login]\r\nServer=宽字符\r\n"_s),
         "Login", "Server", u"宽字符"_s},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(read(row.ini, row.section, row.key), row.value);
    }
}

TEST(PortableProfile, ValueIsCutToOneByteLessThanTheBuffer) {
    EXPECT_EQ(read("[s]\nk=abcdef\n", "s", "k", 4), u"abc"_s);
    // 中 takes two bytes in GBK: 127 fit into 254 bytes.
    EXPECT_EQ(read("[s]\nk=" + QByteArray("\xD6\xD0").repeated(200) + "\n", "s", "k"),
              QString(127, QChar(0x4E2D)));
    // In UTF-8 it takes three: 84 fit, the 85th would be cut in half and is left out.
    EXPECT_EQ(read("[s]\nk=" + QString(200, QChar(0x4E2D)).toUtf8() + "\n", "s", "k"),
              QString(84, QChar(0x4E2D)));
    EXPECT_EQ(read("[s]\nk=" + QByteArray(253, 'a') + "\xD6\xD0\n", "s", "k"),
              QString(253, QLatin1Char('a')));
}

TEST(PortableProfile, FirstSectionAndFirstKeyOfANameWin) {
    EXPECT_EQ(read("[Login]\nServer=one\nServer=two\n[Login]\nServer=three\n", "Login", "Server"),
              u"one"_s);
    // The first section of the name ends the search: a later one is not looked at.
    EXPECT_EQ(read("[Login]\nSa=x\n[Login]\nServer=later\n", "Login", "Server"), u"DEF"_s);
}

#ifdef _WIN32
TEST(WindowsProfile, ChineseDefaultsAndValuesComeBackWhole) {
    QTemporaryDir dir;
    QFile f(dir.filePath(u"Readme.txt"_s));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[Login]\r\nQQ=10001\r\nEmpty=\r\nZero=0\r\n");
    f.close();
    // Key, and what comes back with a Chinese default: a missing key, a present one, an empty
    // value (not the default) and the value the call is probed with.
    const std::pair<const char*, QString> rows[] = {
        {"作者", u"Quenlor 开发组"_s}, {"QQ", u"10001"_s}, {"Empty", QString()}, {"Zero", u"0"_s}};
    for (const auto& [key, expected] : rows) {
        SCOPED_TRACE(key);
        EXPECT_EQ(WindowsProfile().readString(u"Login"_s, QString::fromUtf8(key),
                                              u"Quenlor 开发组"_s, f.fileName(), 255),
                  expected);
    }
}
#endif

} // namespace
} // namespace quenlor
