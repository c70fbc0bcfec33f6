#pragma once

#include "core/app/ProgramState.h"
#include "support/TestState.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace quenlor::test {

// Drives a modal dialog from inside its own event loop: once a modal widget is on screen, `step`
// runs with it. Made before the call that opens the dialog and kept until that call returns.
// A dialog that never appears, or that the step leaves open, fails the test instead of hanging
// it (the leftover dialog is hidden, which ends its loop).
class WhenModal {
public:
    explicit WhenModal(std::function<void(QWidget*)> step) : m_step(std::move(step)) {
        m_clock.start();
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start(10);
    }
    ~WhenModal() {
        if (!m_stepped)
            ADD_FAILURE() << "no modal dialog appeared";
    }

private:
    void poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!m_stepped && modal != nullptr && modal->isVisible()) {
            m_stepped = true;
            m_dialog = modal;
            m_clock.restart();
            m_step(modal);
        } else if (m_stepped && (m_dialog.isNull() || !m_dialog->isVisible())) {
            m_timer.stop();
        } else if (m_clock.hasExpired(5000)) {
            m_timer.stop();
            if (m_stepped) {
                ADD_FAILURE() << "the modal dialog stayed open";
                m_dialog->hide();
            }
        }
    }

    std::function<void(QWidget*)> m_step;
    QTimer m_timer;
    QElapsedTimer m_clock;
    bool m_stepped = false;
    QPointer<QWidget> m_dialog;
};

// Lets the window's thread turn until the server worker's job in hand is done and shown. Input
// given while a job is in hand does not wait for it.
inline void settle() {
    EXPECT_TRUE(turnUntil([] { return !state().serverBusy(); })) << "the job never ended";
}

// A key pressed and released on `target`, as the window system delivers it to the focus widget.
inline void pressKey(QWidget* target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    const bool busy = state().serverBusy();
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QApplication::sendEvent(target, &release);
    if (!busy)
        settle();
}

// A key typed on the keyboard: it goes to the window's focus widget, or to the window itself.
inline void typeKey(QWidget* window, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    pressKey(window->focusWidget() != nullptr ? window->focusWidget() : window, key, modifiers);
}

// A press and release of a mouse button at a point of `widget`; `twice` makes it a double-click.
inline void pressMouse(QWidget* widget, Qt::MouseButton button, QPoint at, bool twice = false) {
    const bool busy = state().serverBusy();
    const auto send = [&](QEvent::Type type, Qt::MouseButtons held) {
        QMouseEvent e(type, QPointF(at), widget->mapToGlobal(QPointF(at)), button, held,
                      Qt::NoModifier);
        QApplication::sendEvent(widget, &e);
    };
    for (int i = 0; i < (twice ? 2 : 1); ++i) {
        send(i == 0 ? QEvent::MouseButtonPress : QEvent::MouseButtonDblClick, button);
        send(QEvent::MouseButtonRelease, Qt::NoButton);
    }
    if (!busy)
        settle();
}

// A left click in the middle of a widget.
inline void click(QWidget* widget) {
    pressMouse(widget, Qt::LeftButton, widget->rect().center());
}

} // namespace quenlor::test
