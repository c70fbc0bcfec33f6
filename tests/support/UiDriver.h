#pragma once

#include "ui/WindowDrag.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QList>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace quenlor::test {

// Drives a modal dialog from inside its own event loop: once a modal widget is on screen, `step`
// runs with it. Made before the call that opens the dialog and kept until that call returns.
// A dialog that never appears, or that the step leaves open, fails the test instead of hanging
// it (the leftover dialog is hidden, which ends its loop).
class WhenModal {
public:
    explicit WhenModal(std::function<void(QWidget*)> step, int timeoutMs = 5000)
        : m_step(std::move(step)), m_timeoutMs(timeoutMs) {
        m_clock.start();
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start(10);
    }
    ~WhenModal() {
        if (!m_stepped)
            ADD_FAILURE() << "no modal dialog appeared";
    }
    WhenModal(const WhenModal&) = delete;
    WhenModal& operator=(const WhenModal&) = delete;

    [[nodiscard]] bool stepped() const { return m_stepped; }

private:
    void poll() {
        if (!m_stepped) {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal != nullptr && modal->isVisible()) {
                m_stepped = true;
                m_dialog = modal;
                m_clock.restart();
                m_step(modal);
            } else if (m_clock.hasExpired(m_timeoutMs)) {
                m_timer.stop();
            }
            return;
        }
        if (m_dialog.isNull() || !m_dialog->isVisible()) {
            m_timer.stop();
        } else if (m_clock.hasExpired(m_timeoutMs)) {
            ADD_FAILURE() << "the modal dialog stayed open";
            m_timer.stop();
            m_dialog->hide();
        }
    }

    std::function<void(QWidget*)> m_step;
    int m_timeoutMs;
    QTimer m_timer;
    QElapsedTimer m_clock;
    bool m_stepped = false;
    QPointer<QWidget> m_dialog;
};

// A key typed on the keyboard: it goes to the window's focus widget, or to the window itself.
inline void typeKey(QWidget* window, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* target = window->focusWidget() != nullptr ? window->focusWidget() : window;
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QApplication::sendEvent(target, &release);
}

// A mouse press at a point of `widget`, as the window system delivers it.
inline void pressMouse(QWidget* widget, Qt::MouseButton button, QPoint at) {
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), QPointF(widget->mapToGlobal(at)),
                      button, button, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), QPointF(widget->mapToGlobal(at)),
                        button, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

// A left click in the middle of a widget.
inline void click(QWidget* widget) {
    pressMouse(widget, Qt::LeftButton, widget->rect().center());
}

// The visible top-level widget with this object name, else null.
inline QWidget* visibleTopLevel(const QString& name) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == name && w->isVisible())
            return w;
    return nullptr;
}

// Records the windows whose move started while it lives.
class MoveRecorder {
public:
    MoveRecorder() {
        m_previous = WindowDrag::setWindowMoveHook([this](QWidget* w) { moved.append(w); });
    }
    ~MoveRecorder() { WindowDrag::setWindowMoveHook(std::move(m_previous)); }
    MoveRecorder(const MoveRecorder&) = delete;
    MoveRecorder& operator=(const MoveRecorder&) = delete;

    QList<QWidget*> moved;

private:
    WindowDrag::MoveHook m_previous;
};

} // namespace quenlor::test
