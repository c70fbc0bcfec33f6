#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

class QWidget;

namespace quenlor {

// An operator played by the program itself, for checking a built program end to end where no one
// can press its keys (the Windows program under Wine): it logs in with what the login dialog
// offers, waits for the listing, ticks one account set, ticks 删除数据库, confirms, answers 是,
// reads the outcome and closes the window, through the same windows and handlers an operator
// uses. Built only into the test copy of the program, never into the one that is shipped.
//
// Each step it saw is written to the log file, one line each ("login: ...", "question: ...",
// "result: ..."); the program's exit status is 0 only when the run ended with 已成功删除！.
class ScriptedOperator final : public QObject {
    Q_OBJECT
public:
    struct Script {
        QString account;    // the account set number to tick, as the grid shows it
        QString logFile;    // where the steps seen are written
        QString screenshot; // a PNG of the main window once its list is filled; empty for none
        int timeoutMs = 180000;
    };

    explicit ScriptedOperator(Script script, QObject* parent = nullptr);

    // Reads "--operator-account=NNN", "--operator-log=FILE" and "--operator-screenshot=FILE";
    // false when the account or the log is missing.
    static bool fromArguments(const QStringList& arguments, Script& script);

    // Starts watching the screen; the steps run from the event loops of the windows.
    void start();

    // The program's exit status as the script sees it.
    [[nodiscard]] int exitStatus() const { return m_succeeded ? 0 : 1; }

private:
    enum class Step { Login, Listing, Question, Result, Done };

    void poll();
    void login(QWidget* dialog);
    bool tickAndConfirm(QWidget* mainWindow);
    void answer(QWidget* messageBox, const char* button);
    void fail(const QString& why);
    void note(const QString& line);
    QString messageText(QWidget* messageBox) const;
    void finish(QWidget* mainWindow);

    Script m_script;
    Step m_step = Step::Login;
    QTimer m_timer;
    QElapsedTimer m_clock;
    QElapsedTimer m_listed; // since the account set was first seen in the grid
    bool m_succeeded = false;
};

} // namespace quenlor
