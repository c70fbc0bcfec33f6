#include "ui/ScriptedOperator.h"

#include "core/app/ProgramState.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTableView>
#include <QWidget>

#include <utility>

namespace quenlor {

namespace {

const QString kSucceeded = QStringLiteral("已成功删除！");
constexpr int kPollMs = 50;
// The main window is given this long to paint before its picture is taken.
constexpr int kSettleMs = 1500;

QWidget* visibleTopLevel(const QString& name) {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == name && w->isVisible())
            return w;
    }
    return nullptr;
}

QWidget* modalNamed(const QString& name) {
    QWidget* modal = QApplication::activeModalWidget();
    return modal != nullptr && modal->isVisible() && modal->objectName() == name ? modal : nullptr;
}

// A key as the keyboard delivers it: to the window's focus widget.
void typeKey(QWidget* window, int key) {
    QWidget* target = window->focusWidget() != nullptr ? window->focusWidget() : window;
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(target, &release);
}

// Actions run from the event loop, never from inside the poll: a click may open a modal dialog,
// whose loop would otherwise hold the poll (a timer does not fire again while its own slot runs).
template <typename F> void later(QObject* context, F action) {
    QTimer::singleShot(0, context, std::move(action));
}

int columnNamed(const QAbstractItemModel& model, const QString& name) {
    for (int c = 0; c < model.columnCount(); ++c) {
        if (model.headerData(c, Qt::Horizontal).toString() == name)
            return c;
    }
    return -1;
}

} // namespace

ScriptedOperator::ScriptedOperator(Script script, QObject* parent)
    : QObject(parent), m_script(std::move(script)) {
    connect(&m_timer, &QTimer::timeout, this, &ScriptedOperator::poll);
}

bool ScriptedOperator::fromArguments(const QStringList& arguments, Script& script) {
    for (const QString& a : arguments) {
        const auto value = [&a](const char* option) {
            const QString prefix = QLatin1String(option) + QLatin1Char('=');
            return a.startsWith(prefix) ? a.mid(prefix.size()) : QString();
        };
        if (a.startsWith(QLatin1String("--operator-account=")))
            script.account = value("--operator-account");
        else if (a.startsWith(QLatin1String("--operator-log=")))
            script.logFile = value("--operator-log");
        else if (a.startsWith(QLatin1String("--operator-screenshot=")))
            script.screenshot = value("--operator-screenshot");
    }
    return !script.account.isEmpty() && !script.logFile.isEmpty();
}

void ScriptedOperator::start() {
    QFile::remove(m_script.logFile);
    note(QStringLiteral("start: account %1").arg(m_script.account));
    m_clock.start();
    m_timer.start(kPollMs);
}

void ScriptedOperator::poll() {
    if (m_clock.hasExpired(m_script.timeoutMs)) {
        fail(QStringLiteral("nothing happened in time"));
        return;
    }
    switch (m_step) {
    case Step::Login:
        if (QWidget* dialog = modalNamed(QStringLiteral("frmSQLLogin"))) {
            m_step = Step::Listing;
            login(dialog);
        } else if (QWidget* box = modalNamed(QStringLiteral("frmMsg"))) {
            fail(QStringLiteral("a message instead of the login dialog: ") + messageText(box));
        }
        return;
    case Step::Listing:
        if (QWidget* box = modalNamed(QStringLiteral("frmMsg"))) {
            fail(QStringLiteral("a message instead of the main window: ") + messageText(box));
            return;
        }
        if (QWidget* mainWindow = visibleTopLevel(QStringLiteral("frmMain"))) {
            if (tickAndConfirm(mainWindow))
                m_step = Step::Question;
        }
        return;
    case Step::Question:
        // The preview comes first while 删除前预览 is ticked: the operator goes on from it.
        if (QWidget* preview = modalNamed(QStringLiteral("frmPreview"))) {
            if (preview->property("answered").toBool())
                return;
            // With a screenshot asked for, the preview is pictured too once it has settled.
            if (!m_script.screenshot.isEmpty()) {
                if (!preview->property("shownAt").isValid())
                    preview->setProperty("shownAt", m_clock.elapsed());
                if (m_clock.elapsed() - preview->property("shownAt").toLongLong() < kSettleMs)
                    return;
                QString path = m_script.screenshot;
                path.insert(path.lastIndexOf(u'.'), QStringLiteral("-preview"));
                const QPixmap picture = preview->screen()->grabWindow(preview->winId());
                note(picture.save(path, "PNG") ? QStringLiteral("preview screenshot: saved")
                                               : QStringLiteral("preview screenshot: not saved"));
            }
            preview->setProperty("answered", true);
            note(QStringLiteral("preview: ") + preview->windowTitle());
            answer(preview, "cmdContinue");
            return;
        }
        if (QWidget* box = modalNamed(QStringLiteral("frmMsg"))) {
            note(QStringLiteral("question: ") + messageText(box));
            m_step = Step::Result;
            answer(box, "cmdYes");
        }
        return;
    case Step::Result:
        // The same box shows the outcome; it has the OK button where the question had 是 and 否.
        if (QWidget* box = modalNamed(QStringLiteral("frmMsg"))) {
            auto* ok = box->findChild<QAbstractButton*>(QStringLiteral("cmdConfirm"));
            if (ok == nullptr || !ok->isVisible())
                return;
            const QString text = messageText(box);
            note(QStringLiteral("result: ") + text);
            m_succeeded = text == kSucceeded;
            m_step = Step::Done;
            answer(box, "cmdConfirm");
        }
        return;
    case Step::Done:
        if (QApplication::activeModalWidget() == nullptr) {
            m_timer.stop();
            finish(visibleTopLevel(QStringLiteral("frmMain")));
        }
        return;
    }
}

void ScriptedOperator::login(QWidget* dialog) {
    const auto text = [dialog](const char* name) {
        auto* box = dialog->findChild<QLineEdit*>(QLatin1String(name));
        return box != nullptr ? box->text() : QStringLiteral("(none)");
    };
    note(QStringLiteral("login: server %1, user %2").arg(text("txtServerName"), text("txtUser")));
    // Enter, as the operator logs in.
    later(dialog, [dialog] { typeKey(dialog, Qt::Key_Return); });
}

bool ScriptedOperator::tickAndConfirm(QWidget* mainWindow) {
    auto* grid = mainWindow->findChild<QTableView*>(QStringLiteral("grdTable"));
    if (grid == nullptr || grid->model() == nullptr)
        return false;
    const QAbstractItemModel& model = *grid->model();
    const int accountColumn = columnNamed(model, QStringLiteral("账套号"));
    const int tickColumn = columnNamed(model, QStringLiteral("选择"));
    if (accountColumn < 0 || tickColumn < 0)
        return false;
    int row = -1;
    for (int r = 0; r < model.rowCount() && row < 0; ++r) {
        if (model.index(r, accountColumn).data().toString() == m_script.account)
            row = r;
    }
    if (row < 0)
        return false;

    if (!m_listed.isValid()) {
        note(QStringLiteral("listed: %1 rows").arg(model.rowCount()));
        m_listed.start();
    }
    if (!m_script.screenshot.isEmpty() && !m_listed.hasExpired(kSettleMs))
        return false;
    if (!m_script.screenshot.isEmpty()) {
        const QPixmap picture = mainWindow->screen()->grabWindow(mainWindow->winId());
        note(picture.save(m_script.screenshot, "PNG") ? QStringLiteral("screenshot: saved")
                                                      : QStringLiteral("screenshot: not saved"));
    }

    // The tick cell made current and Space pressed, then the two clicks.
    grid->setCurrentIndex(model.index(row, tickColumn));
    later(grid, [grid] { typeKey(grid, Qt::Key_Space); });
    auto* deleteDatabases = mainWindow->findChild<QCheckBox*>(QStringLiteral("chkDeleteDB"));
    auto* confirm = mainWindow->findChild<QAbstractButton*>(QStringLiteral("cmdConfirm"));
    if (deleteDatabases == nullptr || confirm == nullptr) {
        fail(QStringLiteral("the main window lacks its controls"));
        return false;
    }
    later(mainWindow, [this, grid, row, tickColumn, deleteDatabases, confirm] {
        note(QStringLiteral("ticked: %1")
                 .arg(grid->model()->index(row, tickColumn).data().toString()));
        if (!deleteDatabases->isChecked())
            deleteDatabases->click();
        confirm->click();
    });
    return true;
}

void ScriptedOperator::answer(QWidget* messageBox, const char* button) {
    auto* b = messageBox->findChild<QAbstractButton*>(QLatin1String(button));
    if (b == nullptr || !b->isVisible()) {
        fail(QStringLiteral("the message has no button ") + QLatin1String(button));
        return;
    }
    later(b, [b] { b->click(); });
}

QString ScriptedOperator::messageText(QWidget* messageBox) const {
    auto* text = messageBox->findChild<QPlainTextEdit*>(QStringLiteral("txtMessage"));
    return text != nullptr ? text->toPlainText() : QString();
}

void ScriptedOperator::finish(QWidget* mainWindow) {
    note(m_succeeded ? QStringLiteral("done") : QStringLiteral("failed: the run did not succeed"));
    if (mainWindow != nullptr)
        mainWindow->close();
    else
        QApplication::exit(exitStatus());
}

void ScriptedOperator::fail(const QString& why) {
    note(QStringLiteral("failed: ") + why);
    // Straight out: a modal loop left open could otherwise carry on with a run.
    state().system->endProcess(2);
}

void ScriptedOperator::note(const QString& line) {
    QFile log(m_script.logFile);
    if (log.open(QIODevice::Append | QIODevice::Text))
        log.write((line + QLatin1Char('\n')).toUtf8());
}

} // namespace quenlor
