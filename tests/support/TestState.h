#pragma once

#include "core/app/ProgramState.h"
#include "support/FakeAutomation.h"
#include "support/FakeDatabase.h"
#include "support/FakeHttp.h"
#include "support/FakeRegistry.h"
#include "support/FakeServices.h"
#include "support/FakeSystem.h"
#include "support/FakeWindows.h"
#include "support/MessageQueue.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace quenlor::test {

// Installs a fresh Program state whose every platform service is a fake, and puts the old one
// back afterwards. The program folder is a new temporary folder; the profile is the real
// portable reader, so INI files written there are read as the program reads them.
class StateFixture : public ::testing::Test {
protected:
    StateFixture();
    ~StateFixture() override;

    ProgramState& st() { return state(); }
    // Writes a file into the program folder.
    void writeProgramFile(const QString& name, const QByteArray& bytes);

    QTemporaryDir programDir;
    FakeServer server;
    FakeAutomation* automation = nullptr;
    FakeServices* services = nullptr;
    FakeRegistry* registry = nullptr;
    FakeSystem* system = nullptr;
    FakeHttp* http = nullptr;
    FakeWindows* windows = nullptr;
    MessageQueue* messages = nullptr;

private:
    std::unique_ptr<ProgramState> m_saved;
};

// Lets this thread's event loop turn until `done` holds, 10 seconds at most; whether it held.
inline bool turnUntil(const std::function<bool()>& done) {
    QElapsedTimer clock;
    for (clock.start(); !done() && !clock.hasExpired(10000);)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return done();
}

} // namespace quenlor::test
