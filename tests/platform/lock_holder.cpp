// Takes the single-instance lock named on the command line, says so, and waits to be killed.
#include "platform/PortableSystem.h"

#include <QThread>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    quenlor::PortableSystem system(QString::fromLocal8Bit(argv[1]));
    const bool locked = system.acquireSingleInstance();
    std::puts(locked ? "locked" : "refused");
    std::fflush(stdout);
    while (locked)
        QThread::sleep(1);
    return 1;
}
