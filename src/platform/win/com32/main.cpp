// quenlor-com32: holds the ERP's 32-bit automation objects for the 64-bit program, which drives
// it over standard input and output (see HostProtocol.h). A single-threaded apartment, so a
// component may show its own modal login window.
#include "platform/win/com32/Host.h"

#include <objbase.h>

#include <cstdio>
#include <iostream>
#include <string>

int main() {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 3;
    int exitCode = 0;
    {
        quenlor::win::Host host;
        std::string line;
        // The program ends the conversation by closing the pipe.
        while (std::getline(std::cin, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (line == "quit")
                break;
            const std::string answer = host.handle(line);
            std::fwrite(answer.data(), 1, answer.size(), stdout);
            std::fputc('\n', stdout);
            std::fflush(stdout);
        }
    }
    CoUninitialize();
    return exitCode;
}
