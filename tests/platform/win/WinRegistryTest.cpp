#include "platform/win/WinPlatform.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace quenlor::win {
namespace {

const std::wstring kBase = L"SOFTWARE\\QuenlorTest";

// Creates a key below HKEY_LOCAL_MACHINE in one registry view and removes it again.
class TestKey {
public:
    TestKey(const std::wstring& path, REGSAM view) : m_path(path), m_view(view) {
        HKEY key = nullptr;
        m_ok = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE | view,
                               nullptr, &key, nullptr) == ERROR_SUCCESS;
        if (key)
            RegCloseKey(key);
    }
    ~TestKey() { RegDeleteKeyExW(HKEY_LOCAL_MACHINE, m_path.c_str(), m_view, 0); }
    bool ok() const { return m_ok; }

private:
    std::wstring m_path;
    REGSAM m_view;
    bool m_ok = false;
};

TEST(WinRegistry, ExistingAndMissingKeys) {
    TestKey key(kBase + L"\\Present", KEY_WOW64_64KEY);
    ASSERT_TRUE(key.ok());
    EXPECT_TRUE(registryKeyExists(kBase + L"\\Present"));
    EXPECT_TRUE(registryKeyExists(kBase + L"\\Present\\"))
        << "a trailing separator is the same key";
    EXPECT_FALSE(registryKeyExists(kBase + L"\\Absent"));
    EXPECT_TRUE(registryKeyExists(L"SOFTWARE\\Microsoft"));
}

TEST(WinRegistry, KeyWithAChineseName) {
    const std::wstring path = kBase + L"\\\u7528\u53CB\u6D4B\u8BD5\\8.61.000"; // 用友测试
    TestKey key(path, KEY_WOW64_64KEY);
    ASSERT_TRUE(key.ok());
    EXPECT_TRUE(registryKeyExists(path));
    EXPECT_FALSE(registryKeyExists(kBase + L"\\\u7528\u53CB\u6D4B\u8BD5\\8.10.000"));
}

TEST(WinRegistry, KeysOfA32BitProgramAreFoundInTheirView) {
    // A 32-bit installer writes below WOW6432Node; the 64-bit view alone would miss it.
    TestKey key(kBase + L"\\Only32", KEY_WOW64_32KEY);
    ASSERT_TRUE(key.ok());
    EXPECT_TRUE(registryKeyExistsInView(kBase + L"\\Only32", KEY_WOW64_32KEY));
    EXPECT_FALSE(registryKeyExistsInView(kBase + L"\\Only32", KEY_WOW64_64KEY));
    EXPECT_TRUE(registryKeyExists(kBase + L"\\Only32"));
}

TEST(WinRegistry, AskingOftenLeavesNoKeyOpen) {
    TestKey key(kBase + L"\\Often", KEY_WOW64_64KEY);
    ASSERT_TRUE(key.ok());
    DWORD before = 0;
    GetProcessHandleCount(GetCurrentProcess(), &before);
    for (int i = 0; i < 200; ++i)
        ASSERT_TRUE(registryKeyExists(kBase + L"\\Often"));
    DWORD after = 0;
    GetProcessHandleCount(GetCurrentProcess(), &after);
    EXPECT_LE(after, before + 2);
}

} // namespace
} // namespace quenlor::win
