#include "support/TestState.h"

#include <QFile>

namespace quenlor::test {

StateFixture::StateFixture() {
    auto fresh = std::make_unique<ProgramState>();
    fresh->connector = std::make_unique<FakeConnector>(server);

    auto a = std::make_unique<FakeAutomation>();
    automation = a.get();
    fresh->automation = std::move(a);

    auto sv = std::make_unique<FakeServices>();
    services = sv.get();
    fresh->services = std::move(sv);

    auto r = std::make_unique<FakeRegistry>();
    registry = r.get();
    fresh->registry = std::move(r);

    auto sys = std::make_unique<FakeSystem>();
    sys->folder = programDir.path();
    system = sys.get();
    fresh->system = std::move(sys);

    auto h = std::make_unique<FakeHttp>();
    http = h.get();
    fresh->http = std::move(h);

    auto w = std::make_unique<FakeWindows>();
    windows = w.get();
    fresh->windows = std::move(w);

    auto m = std::make_unique<MessageQueue>();
    messages = m.get();
    fresh->frmMsg = std::move(m);

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
