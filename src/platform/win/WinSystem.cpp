#include "platform/win/WinPlatform.h"

#include <windows.h>

namespace quenlor::win {

bool runHidden(const std::wstring& commandLine) {
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION pi{};
    std::wstring mutableLine = commandLine; // CreateProcessW may write into it
    if (!CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &si, &pi))
        return false;
    // Not waited for: the caller watches the outcome through the service state.
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

void sleepMs(unsigned milliseconds) {
    Sleep(milliseconds);
}

bool registryKeyExistsInView(const std::wstring& keyPath, unsigned long viewFlag) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE | viewFlag, &key) !=
        ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

bool registryKeyExists(const std::wstring& keyPath) {
    return registryKeyExistsInView(keyPath, KEY_WOW64_64KEY) ||
           registryKeyExistsInView(keyPath, KEY_WOW64_32KEY);
}

std::wstring computerName() {
    wchar_t buffer[MAX_COMPUTERNAME_LENGTH + 1 + 256] = {};
    DWORD size = DWORD(sizeof(buffer) / sizeof(buffer[0]));
    if (!GetComputerNameW(buffer, &size))
        return {};
    return std::wstring(buffer, size);
}

std::string profileStringA(const std::string& section, const std::string& key,
                           const std::string& defaultValue, const std::string& file,
                           int bufferSize) {
    if (bufferSize <= 0)
        return {};
    std::string buffer(size_t(bufferSize), '\0');
    const DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(),
                                             buffer.data(), DWORD(bufferSize), file.c_str());
    buffer.resize(n);
    // Some implementations count a terminating NUL into a cut value; it is no part of it.
    while (!buffer.empty() && buffer.back() == '\0')
        buffer.pop_back();
    // The call cuts at a byte count and may leave the first byte of a double-byte character at
    // the end; that half character would read as garbage, so it goes.
    size_t i = 0;
    while (i < buffer.size())
        i += IsDBCSLeadByte(BYTE(buffer[i])) ? 2 : 1;
    if (i > buffer.size())
        buffer.pop_back();
    return buffer;
}

} // namespace quenlor::win
