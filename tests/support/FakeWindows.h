#pragma once

#include "core/app/WindowFactory.h"
#include "core/login/SqlLoginDialog.h"
#include "support/MessageQueue.h"

#include <QList>

#include <functional>
#include <memory>

namespace quenlor::test {

// A login dialog whose ConnSql runs a script instead of a modal loop.
class ScriptedLoginDialog final : public SqlLoginDialog {
public:
    std::function<void(SqlLoginDialog&)> script;
    void ConnSql() override {
        if (script)
            script(*this);
    }
};

// Window stand-ins for core tests: the message dialog is a MessageQueue, the login dialog is
// scripted, and showing the main window is only counted.
class FakeWindows final : public WindowFactory {
public:
    std::function<void(SqlLoginDialog&)> loginScript;
    int mainWindowShown = 0;
    int loginDialogsCreated = 0;
    // Every message dialog made, in order; each is owned by whoever asked for it.
    QList<MessageQueue*> messageDialogs;

    std::unique_ptr<MessageSink> createMessageDialog() override {
        auto dialog = std::make_unique<MessageQueue>();
        messageDialogs.append(dialog.get());
        return dialog;
    }
    std::unique_ptr<SqlLoginDialog> createSqlLoginDialog() override {
        ++loginDialogsCreated;
        auto d = std::make_unique<ScriptedLoginDialog>();
        d->script = loginScript;
        return d;
    }
    // Runs the start-up work as the window would, at once.
    void showMainWindow(std::function<void()> startup) override {
        ++mainWindowShown;
        startup();
    }
};

} // namespace quenlor::test
