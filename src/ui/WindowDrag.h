#pragma once

#include <QObject>

#include <functional>

class QWidget;

namespace quenlor {

// Moves a frameless window when the operator presses the left button on its background: the
// window itself, its caption and plain labels, which leave the press to their parent. Controls
// that take the press (buttons, boxes, close pictures) never start a move.
class WindowDrag final : public QObject {
    Q_OBJECT

public:
    using MoveHook = std::function<void(QWidget*)>;

    // Watches `window`; the watcher is a child of the window.
    static void install(QWidget* window);

    // Called with the window whenever a move starts, before the system takes over. The offscreen
    // platform cannot move windows, so tests watch the call here. Returns the previous hook.
    static MoveHook setWindowMoveHook(MoveHook hook);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit WindowDrag(QWidget* window);
};

} // namespace quenlor
