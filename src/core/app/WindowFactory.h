#pragma once

#include <functional>
#include <memory>

namespace quenlor {

class MessageSink;
class SqlLoginDialog;

// Creates the program's windows for core code, which includes no widget header. The program
// installs the real windows; tests install recording stand-ins.
class WindowFactory {
public:
    virtual ~WindowFactory() = default;
    virtual std::unique_ptr<MessageSink> createMessageDialog() = 0;
    virtual std::unique_ptr<SqlLoginDialog> createSqlLoginDialog() = 0;
    // Creates frmMain if it does not exist yet and shows it non-modally. A new window runs
    // `startup` (the connections and what start-up reads of the server) on the server worker
    // before it reads its lists.
    virtual void showMainWindow(std::function<void()> startup) = 0;
};

} // namespace quenlor
