#include "core/app/ProgramState.h"

#include "core/app/QueuedSinks.h"
#include "core/app/ServerWorker.h"
#include "core/login/clsUFLogin.h"
#include "platform/PortableProfile.h"
#include "platform/PortableSystem.h"
#include "platform/QtHttp.h"
#include "platform/odbc/OdbcConnector.h"

namespace quenlor {

namespace {
// Core code run without windows (a tool, a benchmark) gets "No" to every question.
class SilentMessages final : public MessageSink {
public:
    short ShowMsg(short, const QString&) override { return MsgResult::No; }
};

std::unique_ptr<ProgramState>& current() {
    static std::unique_ptr<ProgramState> s = std::make_unique<ProgramState>();
    return s;
}
} // namespace

ProgramState::ProgramState()
    : connector(std::make_unique<OdbcConnector>()), automation(std::make_unique<NoAutomation>()),
      services(std::make_unique<NoServices>()), registry(std::make_unique<NoRegistry>()),
      system(std::make_unique<PortableSystem>()), http(std::make_unique<QtHttp>()),
      profile(std::make_unique<PortableProfile>()),
      m_queuedMsg(std::make_unique<QueuedMessageSink>([this]() -> MessageSink& { return msg(); })) {
}

ProgramState::~ProgramState() = default;

MessageSink& ProgramState::msg() {
    if (QThread::currentThread() != m_queuedMsg->thread())
        return *m_queuedMsg;
    if (!frmMsg)
        frmMsg = windows ? windows->createMessageDialog() : std::make_unique<SilentMessages>();
    return *frmMsg;
}

ServerWorker& ProgramState::worker() {
    if (!m_worker)
        m_worker = std::make_unique<ServerWorker>();
    return *m_worker;
}

bool ProgramState::serverBusy() const {
    return m_worker && m_worker->busy();
}

clsUFLogin& ProgramState::UFLogin() {
    if (!ufLogin)
        ufLogin = std::make_unique<clsUFLogin>();
    return *ufLogin;
}

void ProgramState::releaseWindows() {
    m_worker.reset();
    frmAbout.reset();
    frmSQLLogin.reset();
    frmMsg.reset();
    if (ufLogin)
        ufLogin->releaseDialog();
    windows.reset();
}

ProgramState& state() {
    return *current();
}

std::unique_ptr<ProgramState> installState(std::unique_ptr<ProgramState> fresh) {
    auto old = std::move(current());
    current() = std::move(fresh);
    return old;
}

bool isSql2000Family(int majorVersion) {
    return majorVersion > 0 && majorVersion <= 8;
}

} // namespace quenlor
