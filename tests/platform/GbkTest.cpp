#include "platform/Gbk.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace quenlor {
namespace {

// Text and its bytes in code page 936, as a Chinese Windows writes them.
struct GbkCase {
    const char* name;
    QString text;
    QByteArray bytes;
};

void PrintTo(const GbkCase& c, std::ostream* out) {
    *out << c.name;
}

class GbkTest : public ::testing::TestWithParam<GbkCase> {};

TEST_P(GbkTest, ReadsAndWritesTheBytesOfAChineseWindows) {
    const GbkCase& c = GetParam();
    ASSERT_TRUE(decodeGbk(c.bytes).has_value()) << "GBK must be available on every system";
    EXPECT_EQ(*decodeGbk(c.bytes), c.text);
    EXPECT_EQ(encodeGbk(c.text).value_or("(none)"), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, GbkTest,
    ::testing::Values(GbkCase{"ascii", QStringLiteral("Server=10.0.0.5"), "Server=10.0.0.5"},
                      GbkCase{"chinese", QStringLiteral("说明"), "\xCB\xB5\xC3\xF7"},
                      GbkCase{"mixed", QStringLiteral("财务服务器 01"),
                              "\xB2\xC6\xCE\xF1\xB7\xFE\xCE\xF1\xC6\xF7 01"},
                      GbkCase{"empty", QString(), QByteArray()}),
    [](const ::testing::TestParamInfo<GbkCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace quenlor
