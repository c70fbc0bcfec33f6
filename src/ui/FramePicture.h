#pragma once

#include <QWidget>

namespace quenlor {

// One piece of the main window's own frame, painted in code and stretched to whatever size the
// frame layout gives it. Presses fall through to the window, so the frame drags it.
class FramePicture final : public QWidget {
    Q_OBJECT

public:
    // Caption pieces carry the title bar's gradient, border pieces the plain border colour.
    enum class Kind { Caption, Border };

    // `outside` names the edges that face away from the window, where the outline is drawn.
    FramePicture(QWidget* parent, const QString& objectName, Kind kind, Qt::Edges outside);

    [[nodiscard]] Kind kind() const { return m_kind; }

    static QColor captionTop();
    static QColor captionBottom();
    static QColor borderColor();
    static QColor outlineColor();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Kind m_kind;
    Qt::Edges m_outside;
};

} // namespace quenlor
