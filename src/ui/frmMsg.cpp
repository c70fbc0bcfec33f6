#include "ui/frmMsg.h"

#include "ui/WindowDrag.h"
#include "ui/WindowFrame.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <cmath>

namespace quenlor {

namespace {
const QString kCaption = QStringLiteral("提示");
const QString kEmptyMessage = QStringLiteral("消息为空");

QLabel* makeIcon(QWidget* parent, const QString& name, QStyle::StandardPixmap which) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    const int side = parent->style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, parent);
    label->setPixmap(parent->style()
                         ->standardIcon(which, nullptr, parent)
                         .pixmap(QSize(side, side), parent->devicePixelRatioF()));
    label->setFixedSize(side, side);
    return label;
}

QPushButton* makeButton(QWidget* parent, const QString& name, const QString& face) {
    auto* button = new QPushButton(face, parent);
    button->setObjectName(name);
    button->setToolTip(face);
    // A focused button takes Enter, as on Windows; otherwise the kind's default one does.
    button->setAutoDefault(true);
    return button;
}
} // namespace

frmMsg::frmMsg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint) {
    setObjectName(QStringLiteral("frmMsg"));
    setWindowTitle(kCaption);

    labHint = new QLabel(kCaption, this);
    labHint->setObjectName(QStringLiteral("labHint"));
    picExit = makeClosePicture(this, QStringLiteral("picExit"));
    QWidget* caption = makeCaptionBar(this, labHint, picExit);

    picWarm = makeIcon(this, QStringLiteral("picWarm"), QStyle::SP_MessageBoxWarning);
    picQuery = makeIcon(this, QStringLiteral("picQuery"), QStyle::SP_MessageBoxQuestion);
    picError = makeIcon(this, QStringLiteral("picError"), QStyle::SP_MessageBoxCritical);

    txtMessage = new QPlainTextEdit(this);
    txtMessage->setObjectName(QStringLiteral("txtMessage"));
    txtMessage->setReadOnly(true);
    txtMessage->setFrameShape(QFrame::NoFrame);
    // Text can still be selected and copied with the mouse, but Tab stays on the buttons.
    txtMessage->setFocusPolicy(Qt::ClickFocus);
    txtMessage->setTabChangesFocus(true);
    // Long database names and paths wrap anywhere rather than scroll sideways.
    txtMessage->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    txtMessage->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette textPalette = txtMessage->palette();
    textPalette.setColor(QPalette::Base, palette().color(QPalette::Window));
    txtMessage->setPalette(textPalette);

    cmdConfirm = makeButton(this, QStringLiteral("cmdConfirm"), QStringLiteral("确定"));
    cmdYes = makeButton(this, QStringLiteral("cmdYes"), QStringLiteral("是"));
    cmdNo = makeButton(this, QStringLiteral("cmdNo"), QStringLiteral("否"));
    cmdCancel = makeButton(this, QStringLiteral("cmdCancel"), QStringLiteral("取消"));
    txtAnswer = new QLineEdit(this);
    txtAnswer->setObjectName(QStringLiteral("txtAnswer"));
    setTabOrder(txtAnswer, cmdConfirm);
    setTabOrder(cmdConfirm, cmdYes);
    setTabOrder(cmdYes, cmdNo);
    setTabOrder(cmdNo, cmdCancel);

    connect(cmdConfirm, &QPushButton::clicked, this, &frmMsg::cmdConfirm_Click);
    connect(cmdYes, &QPushButton::clicked, this, &frmMsg::cmdYes_Click);
    connect(cmdNo, &QPushButton::clicked, this, &frmMsg::cmdNo_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmMsg::picExit_Click);
    connect(picExit, &PictureButton::clicked, this, &frmMsg::picExit_Click);

    const int gap = twipsToPixelsX(180, this);
    auto* message = new QHBoxLayout;
    message->setSpacing(gap);
    auto* icons = new QVBoxLayout;
    icons->addWidget(picWarm);
    icons->addWidget(picQuery);
    icons->addWidget(picError);
    icons->addStretch(1);
    message->addLayout(icons);
    message->addWidget(txtMessage, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdConfirm);
    buttons->addWidget(cmdYes);
    buttons->addWidget(cmdNo);
    buttons->addWidget(cmdCancel);

    auto* body = new QVBoxLayout;
    body->setContentsMargins(gap, gap, gap, gap);
    body->setSpacing(gap);
    body->addLayout(message, 1);
    body->addWidget(txtAnswer);
    body->addLayout(buttons);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(kFrameWidth, kFrameWidth, kFrameWidth, kFrameWidth);
    outer->setSpacing(0);
    outer->addWidget(caption);
    outer->addLayout(body, 1);

    hideKindControls();

    resize(twipsToPixels(6600, 3300, this).expandedTo(minimumSizeHint()));
    WindowDrag::install(this);
}

frmMsg::~frmMsg() = default;

short frmMsg::ShowMsg(short InValue, const QString& Message) {
    if (InValue != 0)
        MsgKind = InValue;
    if (!Message.isEmpty())
        MsgText = Message;

    MsgResult = 0;
    hideKindControls();

    if (MsgText.isEmpty())
        MsgText = kEmptyMessage;

    if (MsgFontSize == 0) {
        qreal points = font().pointSizeF();
        if (points <= 0) // a font given in pixels
            points = font().pixelSize() * 72.0 / logicalDpiY();
        MsgFontSize = static_cast<short>(std::lround(points));
    }
    if (MsgForeColor == 0)
        MsgForeColor = palette().color(QPalette::WindowText).rgba();

    QFont textFont = txtMessage->font();
    textFont.setPointSize(MsgFontSize);
    txtMessage->setFont(textFont);
    QPalette textPalette = txtMessage->palette();
    textPalette.setColor(QPalette::Text, QColor::fromRgba(MsgForeColor));
    txtMessage->setPalette(textPalette);
    txtMessage->setPlainText(MsgText);

    m_defaultButton = showKindControls();

    if (isVisible())
        return 0;

    if (!m_answers.isEmpty()) {
        const Answer answer = m_answers.takeFirst();
        show();
        QPushButton* target = nullptr;
        switch (answer) {
        case Answer::Confirm:
            target = cmdConfirm;
            break;
        case Answer::Yes:
            target = cmdYes;
            break;
        case Answer::No:
            target = cmdNo;
            break;
        case Answer::Exit:
            break;
        }
        if (target != nullptr && target->isVisible())
            target->click();
        else
            picExit->click();
        return MsgResult;
    }

    exec();
    return MsgResult;
}

QString frmMsg::AskText(const QString& prompt) {
    // Asked while a message is on screen, the question cannot be put: it counts as cancelled.
    if (isVisible())
        return {};
    MsgResult = 0;
    hideKindControls();
    for (QPushButton* b : {cmdConfirm, cmdYes, cmdNo, cmdCancel})
        b->setDefault(false);
    picWarm->show();
    txtMessage->setPlainText(prompt);
    txtAnswer->clear();
    txtAnswer->show();
    cmdConfirm->show();
    cmdCancel->show();
    // Enter in the box accepts; with nothing typed that is still no confirmation.
    cmdConfirm->setDefault(true);
    m_defaultButton = nullptr;
    exec();
    const QString typed = MsgResult == quenlor::MsgResult::Ok ? txtAnswer->text() : QString();
    txtAnswer->clear();
    hideKindControls();
    return typed;
}

void frmMsg::hideKindControls() {
    for (QWidget* w : {static_cast<QWidget*>(picWarm), static_cast<QWidget*>(picError),
                       static_cast<QWidget*>(picQuery), static_cast<QWidget*>(cmdConfirm),
                       static_cast<QWidget*>(cmdYes), static_cast<QWidget*>(cmdNo),
                       static_cast<QWidget*>(cmdCancel), static_cast<QWidget*>(txtAnswer)})
        w->hide();
}

QPushButton* frmMsg::showKindControls() {
    QPushButton* defaultButton = nullptr;
    switch (MsgKind) {
    case quenlor::MsgKind::Notice:
        picWarm->show();
        cmdConfirm->show();
        defaultButton = cmdConfirm;
        break;
    case quenlor::MsgKind::Question:
        picQuery->show();
        cmdYes->show();
        cmdNo->show();
        defaultButton = cmdNo;
        break;
    case quenlor::MsgKind::WarningQuestion:
        picWarm->show();
        cmdYes->show();
        cmdNo->show();
        defaultButton = cmdNo;
        break;
    case quenlor::MsgKind::Error:
        picError->show();
        cmdConfirm->show();
        defaultButton = cmdConfirm;
        break;
    default:
        break;
    }
    // The questions ask before irrecoverable work: a stray Enter must answer No.
    for (QPushButton* b : {cmdConfirm, cmdYes, cmdNo, cmdCancel})
        b->setDefault(false);
    if (defaultButton != nullptr) {
        defaultButton->setDefault(true);
        if (isVisible())
            defaultButton->setFocus(Qt::OtherFocusReason);
    }
    return defaultButton;
}

void frmMsg::presetAnswers(QList<Answer> answers) {
    m_answers = std::move(answers);
}

void frmMsg::cmdConfirm_Click() {
    MsgResult = quenlor::MsgResult::Ok;
    closeMessage();
}

void frmMsg::cmdYes_Click() {
    MsgResult = quenlor::MsgResult::Yes;
    closeMessage();
}

void frmMsg::cmdNo_Click() {
    MsgResult = quenlor::MsgResult::No;
    closeMessage();
}

void frmMsg::picExit_Click() {
    closeMessage();
}

void frmMsg::reject() {
    picExit_Click();
}

void frmMsg::closeMessage() {
    // Hidden, not destroyed: the instance and its remembered fields serve the next message.
    QDialog::done(QDialog::Rejected);
}

void frmMsg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_defaultButton != nullptr)
        m_defaultButton->setFocus(Qt::ActiveWindowFocusReason);
    else if (txtAnswer->isVisibleTo(this))
        txtAnswer->setFocus(Qt::ActiveWindowFocusReason);
}

void frmMsg::paintEvent(QPaintEvent*) {
    paintWindowFrame(this);
}

} // namespace quenlor
