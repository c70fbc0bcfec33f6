#include "mainwindow/frmMain.h"

#include "app/ProgramState.h"
#include "app/Startup.h"
#include "dialogs/WindowDrag.h"
#include "dialogs/WindowFrame.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace quenlor {

frmMain::frmMain(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(kProgramTitle);

    labCaption = new QLabel(kProgramTitle, this);
    labCaption->setObjectName(QStringLiteral("labCaption"));
    imgExit = makeClosePicture(this, QStringLiteral("imgExit"));
    QWidget* caption = makeCaptionBar(this, labCaption, imgExit);

    cmdCancel = new QPushButton(QStringLiteral("取消"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    connect(imgExit, &PictureButton::clicked, this, &frmMain::imgExit_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmMain::cmdCancel_Click);

    const int gap = twipsToPixelsX(180, this);
    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(gap, gap, gap, gap);
    buttons->addStretch(1);
    buttons->addWidget(cmdCancel);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(kFrameWidth, kFrameWidth, kFrameWidth, kFrameWidth);
    outer->setSpacing(0);
    outer->addWidget(caption);
    outer->addStretch(1);
    outer->addLayout(buttons);

    resize(twipsToPixels(11970, 7605, this));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    WindowDrag::install(this);
}

frmMain::~frmMain() = default;

void frmMain::imgExit_Click() {
    state().system->endProcess(0);
}

void frmMain::cmdCancel_Click() {
    state().system->endProcess(0);
}

void frmMain::paintEvent(QPaintEvent*) {
    paintWindowFrame(this);
}

} // namespace quenlor
