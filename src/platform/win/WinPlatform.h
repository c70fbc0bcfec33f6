#pragma once

// The Windows side of the platform: plain C++ and Win32, no Qt, so it builds with MinGW-w64 and
// its tests run under Wine. The program's Qt adapters turn these into the platform interfaces.

#include <string>
#include <vector>

namespace quenlor::win {

// A Windows or COM failure: the HRESULT or system error code and its text.
struct WinError {
    long code = 0;
    std::wstring description;
};

struct ServiceRow {
    std::wstring displayName;
    std::wstring state; // "Running", "Stopped", "Stop Pending", ...
};

// The installed services as WMI's Win32_Service lists them, in WMI's order. Throws WinError.
std::vector<ServiceRow> listServices();

// Starts a command line without a window and without waiting for it; false when it could not
// start.
bool runHidden(const std::wstring& commandLine);

void sleepMs(unsigned milliseconds);

// True when the key below HKEY_LOCAL_MACHINE can be opened for reading in the 64-bit or the
// 32-bit registry view (a 32-bit program's keys live in the latter on 64-bit Windows). The key is
// closed again.
bool registryKeyExists(const std::wstring& keyPath);

// The same in one view only: KEY_WOW64_64KEY or KEY_WOW64_32KEY.
bool registryKeyExistsInView(const std::wstring& keyPath, unsigned long viewFlag);

// The computer's NetBIOS name, empty when the system cannot tell.
std::wstring computerName();

// GetPrivateProfileStringA: the value's bytes in the ANSI code page, cut to bufferSize - 1 and
// never inside a double-byte character.
std::string profileStringA(const std::string& section, const std::string& key,
                           const std::string& defaultValue, const std::string& file,
                           int bufferSize);

// Conversions between UTF-16 and the ANSI code page (or UTF-8, or a code page named by number:
// 936 is GBK whatever the system's own code page is).
std::string wideToAnsi(const std::wstring& text);
std::wstring ansiToWide(const std::string& text);
std::string wideToCodePage(const std::wstring& text, unsigned codePage);
std::wstring codePageToWide(const std::string& text, unsigned codePage);
std::string wideToUtf8(const std::wstring& text);
std::wstring utf8ToWide(const std::string& text);

// The system's text for an HRESULT or error code, trimmed.
std::wstring errorText(long code);

} // namespace quenlor::win
