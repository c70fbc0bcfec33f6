#include "ui/QtWindowFactory.h"

#include "platform/Database.h" // the login dialog owns its test connection
#include "ui/frmMain.h"
#include "ui/frmMsg.h"
#include "ui/frmSQLLogin.h"

namespace quenlor {

QtWindowFactory::QtWindowFactory() = default;
QtWindowFactory::~QtWindowFactory() = default;

std::unique_ptr<MessageSink> QtWindowFactory::createMessageDialog() {
    return std::make_unique<frmMsg>();
}

std::unique_ptr<SqlLoginDialog> QtWindowFactory::createSqlLoginDialog() {
    return std::make_unique<frmSQLLogin>();
}

void QtWindowFactory::showMainWindow(std::function<void()> startup) {
    if (!m_main) {
        m_main = std::make_unique<frmMain>();
        // The start-up work, the lists and the first listing are read on the server worker
        // while the window shows.
        m_main->Form_Load(std::move(startup));
    }
    m_main->show();
    m_main->raise();
    m_main->activateWindow();
}

} // namespace quenlor
