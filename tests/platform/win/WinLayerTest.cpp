// The Windows layer against the system itself, run under Wine: registry views, services started
// through NET by a hidden command and seen through WMI, names, pauses and UTF-8 text.
#include "platform/win/WinPlatform.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace quenlor::win {
namespace {

// A key below HKEY_LOCAL_MACHINE in one registry view, there for the test's lifetime.
struct TestKey {
    TestKey(std::wstring p, REGSAM v) : path(std::move(p)), view(v) {
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE | view, nullptr,
                        &key, nullptr);
        RegCloseKey(key);
    }
    ~TestKey() { RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), view, 0); }
    std::wstring path;
    REGSAM view;
};

TEST(WinRegistry, KeysAreFoundInEitherViewAndOnlyWhenPresent) {
    const std::wstring base = L"SOFTWARE\\QuenlorTest\\";
    const std::wstring chinese = base + L"\u7528\u53CB\u6D4B\u8BD5\\"; // 用友测试
    const TestKey keys[] = {
        {base + L"Present", KEY_WOW64_64KEY},
        {chinese + L"8.61.000", KEY_WOW64_64KEY},
        // A 32-bit installer writes below WOW6432Node: the 64-bit view misses it.
        {base + L"Only32", KEY_WOW64_32KEY}};
    const std::pair<std::wstring, bool> rows[] = {
        {base + L"Present", true},     {base + L"Present\\", true},    {base + L"Absent", false},
        {chinese + L"8.61.000", true}, {chinese + L"8.10.000", false}, {base + L"Only32", true}};
    for (const auto& [path, exists] : rows)
        EXPECT_EQ(registryKeyExists(path), exists) << wideToUtf8(path);
    EXPECT_TRUE(registryKeyExistsInView(keys[2].path, KEY_WOW64_32KEY));
    EXPECT_FALSE(registryKeyExistsInView(keys[2].path, KEY_WOW64_64KEY));
}

// Waits for a state the way the program does: a check, then a pause, ten times at most.
bool reaches(const std::wstring& displayName, const std::wstring& state) {
    for (int i = 0; i < 10; ++i, sleepMs(1000)) {
        for (const ServiceRow& r : listServices()) {
            if (r.displayName == displayName && r.state == state)
                return true;
        }
    }
    return false;
}

// NET takes service names under Wine (display names on Windows); MSIServer is the Wine service
// whose display name is its service name, as the ERP's task service's is.
TEST(WinServices, StartAndStopThroughNetAreSeenByWmi) {
    ASSERT_TRUE(runHidden(L"cmd /c NET START MSIServer"));
    EXPECT_TRUE(reaches(L"MSIServer", L"Running"));
    ASSERT_TRUE(runHidden(L"cmd /c NET STOP MSIServer"));
    EXPECT_TRUE(reaches(L"MSIServer", L"Stopped"));
    EXPECT_FALSE(runHidden(L"quenlor-no-such-program.exe"));
}

TEST(WinSystem, ComputerNameSleepAndTextThroughUtf8) {
    const DWORD start = GetTickCount();
    sleepMs(200);
    EXPECT_GE(GetTickCount() - start, 150u);
    wchar_t env[256] = {};
    ASSERT_GT(GetEnvironmentVariableW(L"COMPUTERNAME", env, 256), 0u);
    EXPECT_EQ(computerName(), std::wstring(env));
    EXPECT_EQ(utf8ToWide(wideToUtf8(L"\u8D26\u5957 001")), L"\u8D26\u5957 001"); // 账套 001
}

} // namespace
} // namespace quenlor::win
