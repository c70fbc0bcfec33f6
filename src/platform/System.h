#pragma once

#include <QString>

namespace quenlor {

// The computer and the process: names, folders, the single-instance lock, the shell and the end
// of the process.
class System {
public:
    virtual ~System() = default;

    [[nodiscard]] virtual QString computerName() = 0;
    // The folder the program runs from, without a trailing separator.
    [[nodiscard]] virtual QString programFolder() = 0;
    // Takes the lock that marks this program as running on the computer; false when another
    // running copy holds it. A lock left behind by a copy that died is taken over.
    [[nodiscard]] virtual bool acquireSingleInstance() = 0;
    // Hands a web address to the system's browser.
    virtual bool openUrl(const QString& url) = 0;
    // The system's standard message box: exclamation icon, one OK button.
    virtual void messageBox(const QString& title, const QString& text) = 0;
    // Ends the process at once, running nothing else. A test replaces it and records the call.
    virtual void endProcess(int exitCode) = 0;
};

} // namespace quenlor
