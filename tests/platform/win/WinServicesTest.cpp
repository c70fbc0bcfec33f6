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

std::wstring stateOf(const std::wstring& displayName) {
    for (const ServiceRow& r : listServices()) {
        if (r.displayName == displayName)
            return r.state;
    }
    return {};
}

// Waits for a state the way the program does: a check, then a pause, ten times at most.
bool reaches(const std::wstring& displayName, const std::wstring& state) {
    for (int i = 0; i < 10; ++i) {
        if (stateOf(displayName) == state)
            return true;
        sleepMs(1000);
    }
    return false;
}

// NET takes service names under Wine (display names on Windows); MSIServer is the Wine service
// whose display name is its service name, as the ERP's task service's is.
TEST(WinServices, StartAndStopThroughNetAreSeenByWmi) {
    const std::wstring service = L"MSIServer";
    ASSERT_FALSE(stateOf(service).empty()) << "the service is installed";
    ASSERT_TRUE(runHidden(L"cmd /c NET START " + service));
    EXPECT_TRUE(reaches(service, L"Running"));
    ASSERT_TRUE(runHidden(L"cmd /c NET STOP " + service));
    EXPECT_TRUE(reaches(service, L"Stopped"));
}

TEST(WinServices, DisplayNamesAreComparedExactly) {
    EXPECT_TRUE(stateOf(L"msiserver").empty()) << "letter case counts";
    EXPECT_TRUE(stateOf(L"Quenlor No Such Service").empty());
}

} // namespace
} // namespace quenlor::win
