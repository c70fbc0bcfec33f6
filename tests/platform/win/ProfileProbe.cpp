// Answers profile look-ups with GetPrivateProfileStringA, for the test that compares the portable
// reader with the system's. One request a line on standard input, every field as hex bytes:
//   <file> TAB <section> TAB <key> TAB <default> TAB <buffer size in decimal>
// One answer a line: the returned bytes as hex.
#include "platform/win/WinPlatform.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

namespace {

std::string fromHex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out += char(std::strtol(hex.substr(i, 2).c_str(), nullptr, 16));
    return out;
}

std::string toHex(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

} // namespace

int main() {
    std::string line;
    while (std::getline(std::cin, line)) {
        std::vector<std::string> f;
        size_t start = 0;
        for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
            f.push_back(line.substr(start, tab - start));
        f.push_back(line.substr(start));
        if (f.size() != 5) {
            std::puts("?");
            continue;
        }
        const std::string value = quenlor::win::profileStringA(
            fromHex(f[1]), fromHex(f[2]), fromHex(f[3]), fromHex(f[0]), std::atoi(f[4].c_str()));
        std::printf("%s\n", toHex(value).c_str());
        std::fflush(stdout);
    }
    return 0;
}
