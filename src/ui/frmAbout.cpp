#include "ui/frmAbout.h"

#include "core/app/ProgramState.h"
#include "core/info/ReadmeInfo.h"
#include "ui/WindowDrag.h"
#include "ui/WindowFrame.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTextDocument>
#include <QVBoxLayout>

namespace quenlor {

namespace {
const QString kCaption = QStringLiteral("提示");

const QColor kLogoBlue(0x1F, 0x5F, 0xAF);
const QColor kLogoRed(0xD8, 0x2C, 0x2C);

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& text = QString()) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    return label;
}

// Texts from the maker's file may be of any length; they are cut, the box keeps its size.
void keepWidth(QWidget* widget) {
    widget->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

// A tray with an arrow into it.
QPixmap importPicture(const QWidget* widget, int side) {
    QPixmap pixmap = blankPicture(widget, side);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QPen pen(widget->palette().color(QPalette::Dark), std::max<qreal>(1.2, side / 12.0));
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    p.setPen(pen);
    const qreal s = side;
    p.drawPolyline(QPolygonF{QPointF(s * 0.15, s * 0.55), QPointF(s * 0.15, s * 0.85),
                             QPointF(s * 0.85, s * 0.85), QPointF(s * 0.85, s * 0.55)});
    p.drawLine(QPointF(s * 0.5, s * 0.12), QPointF(s * 0.5, s * 0.62));
    p.drawPolyline(QPolygonF{QPointF(s * 0.32, s * 0.45), QPointF(s * 0.5, s * 0.64),
                             QPointF(s * 0.68, s * 0.45)});
    return pixmap;
}
} // namespace

QPixmap quenlorLogo(const QWidget* widget, int side) {
    QPixmap pixmap = blankPicture(widget, side);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = side;
    // A white disc, so the logo reads on the blue title bar as well as on a light box.
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(0.5, 0.5, s - 1, s - 1));

    // A database: a cylinder of three stacked discs ...
    const qreal w = s * 0.5;
    const qreal x = s * 0.2;
    const qreal rim = s * 0.14;
    const qreal top = s * 0.2;
    const qreal height = s * 0.56;
    QPainterPath body;
    body.moveTo(x, top + rim / 2);
    body.lineTo(x, top + height - rim / 2);
    body.arcTo(QRectF(x, top + height - rim, w, rim), 180, 180);
    body.lineTo(x + w, top + rim / 2);
    body.arcTo(QRectF(x, top, w, rim), 0, 180);
    p.setBrush(kLogoBlue);
    p.drawPath(body);
    QPen band(Qt::white, std::max<qreal>(1.0, s / 24.0));
    p.setPen(band);
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(x, top, w, rim));
    for (const qreal y : {top + height / 3, top + 2 * height / 3})
        p.drawArc(QRectF(x, y - rim / 2, w, rim), 180 * 16, 180 * 16);

    // ... with the red mark of what the program does to it.
    const QRectF badge(s * 0.56, s * 0.56, s * 0.32, s * 0.32);
    p.setPen(QPen(Qt::white, std::max<qreal>(1.0, s / 24.0)));
    p.setBrush(kLogoRed);
    p.drawEllipse(badge);
    QPen cross(Qt::white, std::max<qreal>(1.2, s / 14.0));
    cross.setCapStyle(Qt::RoundCap);
    p.setPen(cross);
    const QRectF inner = badge.adjusted(badge.width() * 0.3, badge.height() * 0.3,
                                        -badge.width() * 0.3, -badge.height() * 0.3);
    p.drawLine(inner.topLeft(), inner.bottomRight());
    p.drawLine(inner.topRight(), inner.bottomLeft());
    return pixmap;
}

QString plainToolTip(const QString& text) {
    if (text.isEmpty())
        return {};
    return Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal);
}

frmAbout::frmAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(kCaption);
    // Left open when the main window goes, it must not keep the program running.
    setAttribute(Qt::WA_QuitOnClose, false);

    labHint = makeLabel(this, QStringLiteral("labHint"), QStringLiteral("关于"));
    picExit = makeClosePicture(this, QStringLiteral("picExit"));
    QWidget* caption = makeCaptionBar(this, labHint, picExit);

    const int logoSide = twipsToPixelsX(960, this);
    imgLogo =
        makeCaptionPicture(this, QStringLiteral("imgLogo"), PictureButton::Glyph::None, QString());
    imgLogo->setPixmap(quenlorLogo(this, logoSide));
    imgLogo->setFixedSize(logoSide, logoSide);

    LabToolText = makeLabel(this, QStringLiteral("LabToolText"));
    QFont titleFont = LabToolText->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.3);
    LabToolText->setFont(titleFont);

    Label1 = makeLabel(this, QStringLiteral("Label1"), QStringLiteral("版权信息"));

    // A link look, but plain text: the address comes from the maker's file.
    labMaker =
        makeCaptionPicture(this, QStringLiteral("labMaker"), PictureButton::Glyph::None, QString());
    QFont linkFont = labMaker->font();
    linkFont.setUnderline(true);
    labMaker->setFont(linkFont);
    QPalette linkPalette = labMaker->palette();
    linkPalette.setColor(QPalette::WindowText, linkPalette.color(QPalette::Link));
    labMaker->setPalette(linkPalette);

    labCopyRight = makeLabel(this, QStringLiteral("labCopyRight"));
    for (QWidget* w : {static_cast<QWidget*>(LabToolText), static_cast<QWidget*>(labMaker),
                       static_cast<QWidget*>(labCopyRight)})
        keepWidth(w);

    txtMessage = new QPlainTextEdit(this);
    txtMessage->setObjectName(QStringLiteral("txtMessage"));
    txtMessage->setReadOnly(true);
    txtMessage->setFocusPolicy(Qt::ClickFocus);
    txtMessage->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    txtMessage->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    const int pictureSide = twipsToPixelsX(360, this);
    PicManage = makeLabel(this, QStringLiteral("PicManage"));
    PicManage->setPixmap(importPicture(this, pictureSide));
    PicManage->setFixedSize(pictureSide, pictureSide);
    PicManage->setToolTip(QStringLiteral("导入"));

    connect(picExit, &PictureButton::clicked, this, &frmAbout::picExit_Click);
    connect(imgLogo, &PictureButton::clicked, this, &frmAbout::imgLogo_Click);
    connect(labMaker, &PictureButton::clicked, this, &frmAbout::labMaker_Click);

    const int gap = twipsToPixelsX(180, this);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(gap / 2);
    texts->addWidget(LabToolText);
    texts->addSpacing(gap / 2);
    texts->addWidget(Label1);
    texts->addWidget(labMaker);
    texts->addWidget(labCopyRight);
    texts->addStretch(1);

    auto* top = new QHBoxLayout;
    top->setSpacing(gap);
    top->addWidget(imgLogo, 0, Qt::AlignTop);
    top->addLayout(texts, 1);

    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(PicManage);

    auto* body = new QVBoxLayout;
    body->setContentsMargins(gap, gap, gap, gap);
    body->setSpacing(gap);
    body->addLayout(top);
    body->addWidget(txtMessage, 1);
    body->addLayout(bottom);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(kFrameWidth, kFrameWidth, kFrameWidth, kFrameWidth);
    outer->setSpacing(0);
    outer->addWidget(caption);
    outer->addLayout(body, 1);

    setFixedSize(twipsToPixels(6600, 4800, this));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    WindowDrag::install(this);
}

frmAbout::~frmAbout() = default;

void frmAbout::Show() {
    if (!m_loaded)
        Form_Load();
    show();
    raise();
    activateWindow();
}

void frmAbout::Form_Load() {
    LabToolText->setText(ProductName + ProductVersion);
    labMaker->setText(MakerLink);
    labCopyRight->setText(CopyrightText);
    txtMessage->setPlainText(AboutNotice());
    m_loaded = true;
}

void frmAbout::imgLogo_Click() {
    OpenWebPage(MakerLink);
}

void frmAbout::labMaker_Click() {
    OpenWebPage(MakerLink);
}

void frmAbout::picExit_Click() {
    hide();
    m_loaded = false;
    ProgramState& s = state();
    if (s.frmAbout.get() == this) {
        // Unloaded: the next click on labAbout makes a fresh box. This may run inside one of the
        // box's own handlers, so the box goes once that has returned.
        static_cast<void>(s.frmAbout.release());
        deleteLater();
    }
}

void frmAbout::reject() {
    picExit_Click();
}

void frmAbout::paintEvent(QPaintEvent*) {
    paintWindowFrame(this);
}

} // namespace quenlor
