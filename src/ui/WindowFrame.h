#pragma once

#include <QLabel>
#include <QPixmap>
#include <QSize>

class QPainter;
class QWidget;

namespace quenlor {

// Twips (1/1440 inch) to device-independent pixels on the screen the widget is on.
[[nodiscard]] int twipsToPixelsX(int twips, const QWidget* widget);
[[nodiscard]] int twipsToPixelsY(int twips, const QWidget* widget);
[[nodiscard]] QSize twipsToPixels(int widthTwips, int heightTwips, const QWidget* widget);
// Device-independent pixels back to twips.
[[nodiscard]] int pixelsToTwipsX(int pixels, const QWidget* widget);
[[nodiscard]] int pixelsToTwipsY(int pixels, const QWidget* widget);

// A picture the operator clicks, like a caption's close box: clicked() follows a left press and
// release on it. It takes the press, so pressing it never drags the window.
class PictureButton final : public QLabel {
    Q_OBJECT

public:
    // What the picture shows when it has no pixmap. With Glyph::None it shows its text, so a
    // clickable caption word works the same way.
    enum class Glyph { Close, Restore, Maximize, Minimize, None };

    explicit PictureButton(QWidget* parent);

    void setGlyph(Glyph glyph);
    [[nodiscard]] Glyph glyph() const { return m_glyph; }

    // Does what a click does.
    void click() { emit clicked(); }

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    Glyph m_glyph = Glyph::Close;
    bool m_pressed = false;
    bool m_hover = false;
};

// A close picture: an "×" drawn in code, tooltip "关闭".
[[nodiscard]] PictureButton* makeClosePicture(QWidget* parent, const QString& objectName);

// A caption picture of any size, for windows that place their caption pictures themselves.
[[nodiscard]] PictureButton* makeCaptionPicture(QWidget* parent, const QString& objectName,
                                                PictureButton::Glyph glyph, const QString& toolTip);

// The caption strip of a frameless window: the caption label on the left, the close picture on
// the right. The strip ignores mouse presses, so pressing it moves the window.
[[nodiscard]] QWidget* makeCaptionBar(QWidget* window, QLabel* caption, QWidget* closePicture);

// The window's own frame: background and a one-pixel border. Call from paintEvent.
void paintWindowFrame(QWidget* window);

// A transparent square picture of `side` pixels, sharp on the widget's screen, to paint on.
[[nodiscard]] QPixmap blankPicture(const QWidget* widget, int side);

// Margin the layouts of a framed window keep, so children do not cover the border.
inline constexpr int kFrameWidth = 1;

} // namespace quenlor
