#include "platform/win/WinPlatform.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <thread>

namespace quenlor::win {
namespace {

TEST(WinSystem, ComputerNameIsTheSystemsName) {
    const std::wstring name = computerName();
    ASSERT_FALSE(name.empty());
    wchar_t env[256] = {};
    if (GetEnvironmentVariableW(L"COMPUTERNAME", env, 256) > 0) {
        EXPECT_EQ(name, std::wstring(env));
    }
}

TEST(WinSystem, HiddenCommandRunsWithoutBeingWaitedFor) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring marker =
        std::wstring(temp) + L"quenlor-hidden-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    DeleteFileW(marker.c_str());
    ASSERT_TRUE(runHidden(L"cmd /c echo done > \"" + marker + L"\""));
    bool seen = false;
    for (int i = 0; i < 100 && !seen; ++i) {
        seen = GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES;
        if (!seen)
            sleepMs(100);
    }
    EXPECT_TRUE(seen);
    DeleteFileW(marker.c_str());
    EXPECT_FALSE(runHidden(L"quenlor-no-such-program.exe"));
}

TEST(WinSystem, SleepPauses) {
    const auto start = std::chrono::steady_clock::now();
    sleepMs(200);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(190));
}

TEST(WinStrings, RoundTripsThroughUtf8AndTheAnsiCodePage) {
    const std::wstring text = L"\u8D26\u5957 001"; // 账套 001
    EXPECT_EQ(utf8ToWide(wideToUtf8(text)), text);
    EXPECT_EQ(wideToUtf8(L"abc"), "abc");
    EXPECT_EQ(ansiToWide(wideToAnsi(L"plain ascii")), L"plain ascii");
}

} // namespace
} // namespace quenlor::win
