#include "ui/WindowFrame.h"

#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <utility>

namespace quenlor {

namespace {
constexpr double kTwipsPerInch = 1440.0;

int scale(int twips, int dpi) {
    return static_cast<int>(std::lround(twips * dpi / kTwipsPerInch));
}

int unscale(int pixels, int dpi) {
    return static_cast<int>(std::lround(pixels * kTwipsPerInch / dpi));
}
} // namespace

int twipsToPixelsX(int twips, const QWidget* widget) {
    return scale(twips, widget->logicalDpiX());
}

int twipsToPixelsY(int twips, const QWidget* widget) {
    return scale(twips, widget->logicalDpiY());
}

QSize twipsToPixels(int widthTwips, int heightTwips, const QWidget* widget) {
    return {twipsToPixelsX(widthTwips, widget), twipsToPixelsY(heightTwips, widget)};
}

int pixelsToTwipsX(int pixels, const QWidget* widget) {
    return unscale(pixels, widget->logicalDpiX());
}

int pixelsToTwipsY(int pixels, const QWidget* widget) {
    return unscale(pixels, widget->logicalDpiY());
}

PictureButton::PictureButton(QWidget* parent) : QLabel(parent) {
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    setTextFormat(Qt::PlainText);
}

void PictureButton::setGlyph(Glyph glyph) {
    m_glyph = glyph;
    update();
}

void PictureButton::mousePressEvent(QMouseEvent* event) {
    // Taken whatever the button, so no press on the picture reaches the window's drag.
    event->accept();
    if (event->button() == Qt::LeftButton)
        m_pressed = true;
}

void PictureButton::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() != Qt::LeftButton)
        return;
    const bool wasPressed = std::exchange(m_pressed, false);
    // Sliding off the picture before releasing cancels, as with a push button.
    if (wasPressed && rect().contains(event->position().toPoint()))
        emit clicked();
}

void PictureButton::enterEvent(QEnterEvent* event) {
    m_hover = true;
    update();
    QLabel::enterEvent(event);
}

void PictureButton::leaveEvent(QEvent* event) {
    m_hover = false;
    update();
    QLabel::leaveEvent(event);
}

void PictureButton::paintEvent(QPaintEvent* event) {
    if (!pixmap().isNull() || m_glyph == Glyph::None) {
        QLabel::paintEvent(event);
        return;
    }
    // The glyphs are drawn at any scale so they stay sharp on high-DPI screens.
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (m_hover) {
        // Red warns that the close box ends something; the others only light up.
        const QColor hover =
            m_glyph == Glyph::Close ? QColor(0xE8, 0x11, 0x23) : QColor(255, 255, 255, 70);
        p.fillRect(rect(), hover);
    }
    const QColor ink = m_hover && m_glyph == Glyph::Close ? QColor(Qt::white)
                                                          : palette().color(QPalette::WindowText);
    const qreal side = std::min(width(), height()) * 0.36;
    const QPointF c = QRectF(rect()).center();
    const QRectF box(c.x() - side / 2, c.y() - side / 2, side, side);
    QPen pen(ink, std::max<qreal>(1.2, side / 6.0));
    pen.setCapStyle(Qt::RoundCap);
    p.setPen(pen);
    switch (m_glyph) {
    case Glyph::Close:
        p.drawLine(box.topLeft(), box.bottomRight());
        p.drawLine(box.topRight(), box.bottomLeft());
        break;
    case Glyph::Maximize:
        p.drawRect(box);
        break;
    case Glyph::Restore: {
        const qreal d = side / 4;
        p.drawRect(box.adjusted(0, d, -d, 0));
        p.drawPolyline(QPolygonF{QPointF(box.left() + d, box.top() + d),
                                 QPointF(box.left() + d, box.top()), box.topRight(),
                                 QPointF(box.right(), box.bottom() - d),
                                 QPointF(box.right() - d, box.bottom() - d)});
        break;
    }
    case Glyph::Minimize:
        p.drawLine(box.bottomLeft(), box.bottomRight());
        break;
    case Glyph::None:
        break;
    }
}

PictureButton* makeClosePicture(QWidget* parent, const QString& objectName) {
    PictureButton* picture =
        makeCaptionPicture(parent, objectName, PictureButton::Glyph::Close, QStringLiteral("关闭"));
    const int side = twipsToPixelsX(480, parent);
    picture->setFixedSize(side, side);
    return picture;
}

PictureButton* makeCaptionPicture(QWidget* parent, const QString& objectName,
                                  PictureButton::Glyph glyph, const QString& toolTip) {
    auto* picture = new PictureButton(parent);
    picture->setObjectName(objectName);
    picture->setGlyph(glyph);
    picture->setToolTip(toolTip);
    return picture;
}

QWidget* makeCaptionBar(QWidget* window, QLabel* caption, QWidget* closePicture) {
    auto* bar = new QWidget(window);
    bar->setAutoFillBackground(true);
    QPalette pal = bar->palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Highlight));
    pal.setColor(QPalette::WindowText, pal.color(QPalette::HighlightedText));
    bar->setPalette(pal);

    caption->setParent(bar);
    caption->setTextFormat(Qt::PlainText);
    QFont captionFont = caption->font();
    captionFont.setBold(true);
    caption->setFont(captionFont);
    closePicture->setParent(bar);

    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(twipsToPixelsX(120, window), 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(caption, 1);
    row->addWidget(closePicture, 0, Qt::AlignTop);
    return bar;
}

void paintWindowFrame(QWidget* window) {
    QPainter p(window);
    p.fillRect(window->rect(), window->palette().color(QPalette::Window));
    p.setPen(window->palette().color(QPalette::Dark));
    p.drawRect(window->rect().adjusted(0, 0, -1, -1));
}

QPixmap blankPicture(const QWidget* widget, int side) {
    const qreal ratio = widget->devicePixelRatioF();
    QPixmap pixmap(QSize(side, side) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

} // namespace quenlor
