#include "platform/win/WinPlatform.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace quenlor::win {
namespace {

TEST(WinServices, WmiListsTheInstalledServicesWithTheirStates) {
    std::vector<ServiceRow> rows;
    ASSERT_NO_THROW(rows = listServices());
    ASSERT_FALSE(rows.empty());
    for (const ServiceRow& r : rows) {
        EXPECT_FALSE(r.displayName.empty());
        EXPECT_FALSE(r.state.empty());
    }
    const bool someStopped = std::any_of(rows.begin(), rows.end(),
                                         [](const ServiceRow& r) { return r.state == L"Stopped"; });
    EXPECT_TRUE(someStopped) << "a fresh prefix has services that are not running";
}

} // namespace
} // namespace quenlor::win
