#include "support/TestState.h"

#include <QFile>

namespace quenlor::test {

namespace {
// Puts a new fake into the state's slot and keeps a pointer to it for the test.
template <class Fake, class Slot> Fake* install(std::unique_ptr<Slot>& slot) {
    auto fake = std::make_unique<Fake>();
    Fake* kept = fake.get();
    slot = std::move(fake);
    return kept;
}
} // namespace

StateFixture::StateFixture() {
    auto fresh = std::make_unique<ProgramState>();
    fresh->connector = std::make_unique<FakeConnector>(server);
    automation = install<FakeAutomation>(fresh->automation);
    services = install<FakeServices>(fresh->services);
    registry = install<FakeRegistry>(fresh->registry);
    system = install<FakeSystem>(fresh->system);
    system->folder = programDir.path();
    // The run log stays in the test's own folder.
    fresh->LogFolder = programDir.filePath("log");
    http = install<FakeHttp>(fresh->http);
    windows = install<FakeWindows>(fresh->windows);
    messages = install<MessageQueue>(fresh->frmMsg);
    m_saved = installState(std::move(fresh));
}

StateFixture::~StateFixture() {
    installState(std::move(m_saved));
}

void StateFixture::writeProgramFile(const QString& name, const QByteArray& bytes) {
    QFile f(programDir.filePath(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

} // namespace quenlor::test
