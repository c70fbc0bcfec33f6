#include "platform/win/WinPlatform.h"

#include <windows.h>

namespace quenlor::win {

namespace {

std::string fromWide(const std::wstring& text, UINT codePage) {
    if (text.empty())
        return {};
    const int n = WideCharToMultiByte(codePage, 0, text.data(), int(text.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(size_t(n), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), int(text.size()), out.data(), n, nullptr,
                        nullptr);
    return out;
}

std::wstring toWide(const std::string& text, UINT codePage) {
    if (text.empty())
        return {};
    const int n = MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring out(size_t(n), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), out.data(), n);
    return out;
}

} // namespace

std::string wideToAnsi(const std::wstring& text) {
    return fromWide(text, CP_ACP);
}

std::wstring ansiToWide(const std::string& text) {
    return toWide(text, CP_ACP);
}

std::string wideToCodePage(const std::wstring& text, unsigned codePage) {
    return fromWide(text, codePage);
}

std::wstring codePageToWide(const std::string& text, unsigned codePage) {
    return toWide(text, codePage);
}

std::string wideToUtf8(const std::wstring& text) {
    return fromWide(text, CP_UTF8);
}

std::wstring utf8ToWide(const std::string& text) {
    return toWide(text, CP_UTF8);
}

std::wstring errorText(long code) {
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, DWORD(code), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = n && buffer ? std::wstring(buffer, n) : std::wstring();
    if (buffer)
        LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' ||
                             text.back() == L'.'))
        text.pop_back();
    return text;
}

} // namespace quenlor::win
