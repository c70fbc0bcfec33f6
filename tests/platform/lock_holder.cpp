// Takes the single-instance lock named on the command line, says so, and waits to be killed.
#include "platform/PortableSystem.h"

#include <QThread>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    quenlor::PortableSystem system(QString::fromLocal8Bit(argv[1]));
    if (!system.acquireSingleInstance()) {
        std::puts("refused");
        std::fflush(stdout);
        return 1;
    }
    std::puts("locked");
    std::fflush(stdout);
    for (;;)
        QThread::sleep(1);
}
