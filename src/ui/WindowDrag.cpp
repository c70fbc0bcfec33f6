#include "ui/WindowDrag.h"

#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

#include <utility>

namespace quenlor {

namespace {
WindowDrag::MoveHook& moveHook() {
    static WindowDrag::MoveHook hook;
    return hook;
}
} // namespace

WindowDrag::WindowDrag(QWidget* window) : QObject(window) {}

void WindowDrag::install(QWidget* window) {
    window->installEventFilter(new WindowDrag(window));
}

WindowDrag::MoveHook WindowDrag::setWindowMoveHook(MoveHook hook) {
    return std::exchange(moveHook(), std::move(hook));
}

bool WindowDrag::eventFilter(QObject* watched, QEvent* event) {
    // Presses on children that ignore them arrive here too, propagated to the window.
    if (event->type() != QEvent::MouseButtonPress)
        return false;
    const auto* press = static_cast<QMouseEvent*>(event);
    if (press->button() != Qt::LeftButton)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr)
        return false;
    QWidget* window = widget->window();
    if (moveHook())
        moveHook()(window);
    if (QWindow* handle = window->windowHandle())
        handle->startSystemMove();
    return true;
}

} // namespace quenlor
