#include "platform/win/WinPlatform.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>

namespace quenlor::win {
namespace {

std::string tempIni(const std::string& content) {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string path =
        std::string(temp) + "quenlor-profile-" + std::to_string(GetCurrentProcessId()) + ".ini";
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

TEST(WinProfile, ReadsWithTheProfileRules) {
    const std::string ini = tempIni("[login]\r\n  SERVER = \"db01\" \r\n;Sa=x\r\nPwd=a//b\r\n");
    EXPECT_EQ(profileStringA("Login", "Server", "127.0.0.1", ini, 255), "db01");
    EXPECT_EQ(profileStringA("Login", "Sa", "SA", ini, 255), "SA");
    EXPECT_EQ(profileStringA("Login", "Pwd", "", ini, 255), "a//b");
    EXPECT_EQ(profileStringA("Login", "Server", "dflt", ini + ".missing", 255), "dflt");
    DeleteFileA(ini.c_str());
}

TEST(WinProfile, ValueIsCutToOneLessThanTheBuffer) {
    const std::string ini = tempIni("[s]\r\nk=" + std::string(300, 'x') + "\r\n");
    EXPECT_EQ(profileStringA("s", "k", "", ini, 255), std::string(254, 'x'));
    DeleteFileA(ini.c_str());
}

} // namespace
} // namespace quenlor::win
