// Answers profile look-ups with GetPrivateProfileStringA, for the test that compares the portable
// reader with the system's. Each look-up is five arguments: the file, section, key and default,
// each as "x" and its bytes in hex, then the buffer size. One answer a line: the bytes in hex.
#include "platform/win/WinPlatform.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    const auto fromHex = [](const std::string& hex) {
        std::string out;
        for (size_t i = 1; i + 1 < hex.size(); i += 2)
            out += char(std::stoi(hex.substr(i, 2), nullptr, 16));
        return out;
    };
    for (int i = 1; i + 4 < argc; i += 5) {
        for (unsigned char c : quenlor::win::profileStringA(
                 fromHex(argv[i + 1]), fromHex(argv[i + 2]), fromHex(argv[i + 3]), fromHex(argv[i]),
                 std::atoi(argv[i + 4])))
            std::printf("%02x", c);
        std::printf("\n");
    }
    return 0;
}
