#include "platform/WindowsPlatform.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace quenlor {
namespace {

// What the system's profile call gives for one key of a small file.
struct ProfileCase {
    const char* name;
    QString key;
    QString defaultValue;
    QString expected;
};

void PrintTo(const ProfileCase& c, std::ostream* out) {
    *out << c.name;
}

class WindowsProfileTest : public ::testing::TestWithParam<ProfileCase> {};

// The program's built-in Chinese defaults come back whole on any Windows, whatever its ANSI code
// page (the tests' Wine runs with a Western one).
TEST_P(WindowsProfileTest, DefaultsAndValuesComeBackWhole) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Readme.txt"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[Login]\r\nQQ=10001\r\nEmpty=\r\nZero=0\r\n");
    f.close();

    const ProfileCase& c = GetParam();
    WindowsProfile profile;
    EXPECT_EQ(profile.readString(QStringLiteral("Login"), c.key, c.defaultValue, path, 255),
              c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, WindowsProfileTest,
    ::testing::Values(ProfileCase{"chinese_default_of_a_missing_key", QStringLiteral("作者"),
                                  QStringLiteral("Quenlor 开发组"),
                                  QStringLiteral("Quenlor 开发组")},
                      ProfileCase{"value_of_a_present_key", QStringLiteral("QQ"),
                                  QStringLiteral("默认"), QStringLiteral("10001")},
                      ProfileCase{"empty_value_is_not_the_default", QStringLiteral("Empty"),
                                  QStringLiteral("默认"), QString()},
                      ProfileCase{"value_that_looks_like_a_probe", QStringLiteral("Zero"),
                                  QStringLiteral("默认"), QStringLiteral("0")}),
    [](const ::testing::TestParamInfo<ProfileCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace quenlor
