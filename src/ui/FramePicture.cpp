#include "ui/FramePicture.h"

#include <QLinearGradient>
#include <QPainter>

namespace quenlor {

FramePicture::FramePicture(QWidget* parent, const QString& objectName, Kind kind, Qt::Edges outside)
    : QWidget(parent), m_kind(kind), m_outside(outside) {
    setObjectName(objectName);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QColor FramePicture::captionTop() {
    return {104, 146, 207};
}

QColor FramePicture::captionBottom() {
    return {62, 97, 153};
}

QColor FramePicture::borderColor() {
    return {198, 227, 255};
}

QColor FramePicture::outlineColor() {
    return {62, 97, 153};
}

void FramePicture::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect r = rect();
    if (m_kind == Kind::Caption) {
        // Vertical only, so the pieces of the top bar join without a seam however wide each is.
        QLinearGradient gradient(0, 0, 0, r.height());
        gradient.setColorAt(0, captionTop());
        gradient.setColorAt(1, captionBottom());
        p.fillRect(r, gradient);
    } else {
        p.fillRect(r, borderColor());
    }
    p.setPen(outlineColor());
    if (m_outside.testFlag(Qt::LeftEdge))
        p.drawLine(r.topLeft(), r.bottomLeft());
    if (m_outside.testFlag(Qt::RightEdge))
        p.drawLine(r.topRight(), r.bottomRight());
    if (m_outside.testFlag(Qt::TopEdge))
        p.drawLine(r.topLeft(), r.topRight());
    if (m_outside.testFlag(Qt::BottomEdge))
        p.drawLine(r.bottomLeft(), r.bottomRight());
}

} // namespace quenlor
