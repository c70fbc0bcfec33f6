#pragma once

#include "core/app/WindowFactory.h"

#include <memory>

namespace quenlor {

class frmMain;

// The program's real windows.
class QtWindowFactory final : public WindowFactory {
public:
    QtWindowFactory();
    ~QtWindowFactory() override;

    std::unique_ptr<MessageSink> createMessageDialog() override;
    std::unique_ptr<SqlLoginDialog> createSqlLoginDialog() override;
    void showMainWindow(std::function<void()> startup) override;

    // The main window once shown, else null.
    [[nodiscard]] frmMain* mainWindow() const { return m_main.get(); }

private:
    // Created once and kept for the rest of the process.
    std::unique_ptr<frmMain> m_main;
};

} // namespace quenlor
