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

void QtWindowFactory::showMainWindow() {
    if (!m_main) {
        m_main = std::make_unique<frmMain>();
        // The lists and the first listing are read on the server worker while the window shows.
        m_main->Form_Load();
    }
    m_main->show();
    m_main->raise();
    m_main->activateWindow();
}

} // namespace quenlor
