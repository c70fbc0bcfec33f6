#include "ui/frmMain.h"

#include "core/app/ProgramState.h"
#include "core/app/ServerWorker.h"
#include "core/info/ReadmeInfo.h"
#include "ui/FramePicture.h"
#include "ui/ListingView.h"
#include "ui/WindowDrag.h"
#include "ui/WindowFrame.h"
#include "ui/frmAbout.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

#include <cmath>
#include <numbers>

namespace quenlor {

namespace {

// Design-time places of the body, in twips. They stay put when the window is resized: only the
// frame follows the window's size.
constexpr FrameRect kLogo{120, 45, 285, 285};
// The caption runs from the logo to just before labAbout.
constexpr FrameRect kCaption{480, 45, 10320, 285};
constexpr FrameRect kTypeLabel{240, 540, 1170, 360};
constexpr FrameRect kTypeList{1440, 540, 1800, 360};
constexpr FrameRect kAccLabel{3600, 540, 600, 360};
constexpr FrameRect kAccList{4200, 540, 4200, 360};
constexpr FrameRect kDeleteDB{8760, 540, 1650, 360};
constexpr FrameRect kRefresh{11370, 540, 360, 360};
constexpr FrameRect kGrid{240, 1050, 11490, 5550};
constexpr FrameRect kReport{240, 6690, 5550, 270};
constexpr FrameRect kProgress{5880, 6690, 5850, 270};
constexpr int kButtonTop = 7050;
constexpr int kButtonWidth = 1140;
constexpr int kButtonHeight = 360;
constexpr FrameRect kSelect{240, kButtonTop, kButtonWidth, kButtonHeight};
constexpr FrameRect kClear{1500, kButtonTop, kButtonWidth, kButtonHeight};
constexpr FrameRect kConfirm{8070, kButtonTop, kButtonWidth, kButtonHeight};
constexpr FrameRect kStop{9330, kButtonTop, kButtonWidth, kButtonHeight};
constexpr FrameRect kCancel{10590, kButtonTop, kButtonWidth, kButtonHeight};

// Work shorter than this goes without a busy line.
constexpr qint64 kBusyLineAfterMs = 300;

constexpr int kRowHeightTwips = 400;
constexpr int kHeaderHeightTwips = 500;

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

QComboBox* makePickList(QWidget* parent, const QString& name) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(name);
    combo->setEditable(false);
    return combo;
}

QPushButton* makeButton(QWidget* parent, const QString& name, const QString& face) {
    auto* button = new QPushButton(face, parent);
    button->setObjectName(name);
    // A focused button takes Enter as well as Space, as on Windows.
    button->setAutoDefault(true);
    return button;
}

// A circular arrow, drawn for the screen's pixel ratio so it stays sharp.
QIcon refreshIcon(const QWidget* widget, int side) {
    QPixmap pixmap = blankPicture(widget, side);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink = ListingView::selectedBackground();
    const qreal r = side * 0.32;
    const QPointF c(side / 2.0, side / 2.0);
    QPen pen(ink, std::max<qreal>(1.5, side / 9.0));
    pen.setCapStyle(Qt::FlatCap);
    p.setPen(pen);
    // An open ring from 1 o'clock round to 11 o'clock ...
    const QRectF ring(c.x() - r, c.y() - r, 2 * r, 2 * r);
    p.drawArc(ring, 60 * 16, 300 * 16);
    // ... whose end carries the arrow head, pointing along the turn.
    const qreal end = std::numbers::pi / 3;
    const QPointF tip(c.x() + r * std::cos(end), c.y() - r * std::sin(end));
    const qreal head = side * 0.22;
    QPainterPath arrow;
    arrow.moveTo(tip + QPointF(-head * 0.15, -head * 0.75));
    arrow.lineTo(tip + QPointF(head * 0.75, head * 0.05));
    arrow.lineTo(tip + QPointF(-head * 0.55, head * 0.55));
    arrow.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawPath(arrow);
    return QIcon(pixmap);
}

} // namespace

frmMain::frmMain(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_runProgress(*this, state().worker()),
      m_run(
          m_runProgress, [this](const ListedRow& row) { return stillShows(row); },
          [this] { reloadAfterRun(); },
          [this](std::function<void()> work, std::function<void()> done) {
              // The run shows its own progress on the report line.
              m_busyText.clear();
              return state().worker().start(std::move(work), std::move(done));
          }) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(kProgramTitle);

    createFrame();
    createBody();

    m_listing.setRefresh([this] { LoadDB(); });
    m_run.setEnded([this] {
        if (m_leaveAfterRun)
            state().system->endProcess(0);
    });
    connect(&state().worker(), &ServerWorker::busyChanged, this, &frmMain::setBusy);
    m_busyTimer.setInterval(100);
    connect(&m_busyTimer, &QTimer::timeout, this, &frmMain::showBusyLine);

    m_frame = designFrameLayout();
    resize(twipsToPixels(kDesignWidthTwips, kDesignHeightTwips, this));
    // A hidden window gets its resize event only when shown; the frame is wanted before that.
    Form_Resize();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    WindowDrag::install(this);
}

frmMain::~frmMain() {
    // The model goes with the listing, before the children are deleted.
    grdTable->setModel(nullptr);
}

void frmMain::createFrame() {
    using Kind = FramePicture::Kind;
    impTopLeft = new FramePicture(this, QStringLiteral("impTopLeft"), Kind::Caption,
                                  Qt::LeftEdge | Qt::TopEdge);
    imgTopRight = new FramePicture(this, QStringLiteral("imgTopRight"), Kind::Caption,
                                   Qt::RightEdge | Qt::TopEdge);
    imgTop = new FramePicture(this, QStringLiteral("imgTop"), Kind::Caption, Qt::TopEdge);
    imgBottomLeft = new FramePicture(this, QStringLiteral("imgBottomLeft"), Kind::Border,
                                     Qt::LeftEdge | Qt::BottomEdge);
    imgBottomRight = new FramePicture(this, QStringLiteral("imgBottomRight"), Kind::Border,
                                      Qt::RightEdge | Qt::BottomEdge);
    imgBottom = new FramePicture(this, QStringLiteral("imgBottom"), Kind::Border, Qt::BottomEdge);
    imgLeft = new FramePicture(this, QStringLiteral("imgLeft"), Kind::Border, Qt::LeftEdge);
    imgRight = new FramePicture(this, QStringLiteral("imgRight"), Kind::Border, Qt::RightEdge);

    // The top bar's texts and pictures lie on the caption pieces, so they are made after them.
    labCaption = new QLabel(kProgramTitle, this);
    labCaption->setObjectName(QStringLiteral("labCaption"));
    labCaption->setTextFormat(Qt::PlainText);
    labCaption->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QFont captionFont = labCaption->font();
    captionFont.setBold(true);
    labCaption->setFont(captionFont);
    setTwipsGeometry(labCaption, kCaption);

    using Glyph = PictureButton::Glyph;
    labAbout = makeCaptionPicture(this, QStringLiteral("labAbout"), Glyph::None, QString());
    labAbout->setText(QStringLiteral("关于"));
    labAbout->setAlignment(Qt::AlignCenter);

    imgLogo = makeCaptionPicture(this, QStringLiteral("imgLogo"), Glyph::None, QString());
    setTwipsGeometry(imgLogo, kLogo);
    imgLogo->setPixmap(quenlorLogo(this, std::min(imgLogo->width(), imgLogo->height())));

    imgExit =
        makeCaptionPicture(this, QStringLiteral("imgExit"), Glyph::Close, QStringLiteral("关闭"));
    imgResum = makeCaptionPicture(this, QStringLiteral("imgResum"), Glyph::Restore,
                                  QStringLiteral("还原"));
    imgMax = makeCaptionPicture(this, QStringLiteral("imgMax"), Glyph::Maximize,
                                QStringLiteral("最大化"));
    imgMin = makeCaptionPicture(this, QStringLiteral("imgMin"), Glyph::Minimize,
                                QStringLiteral("最小化"));
    // The window keeps its size, so these are not offered.
    imgResum->hide();
    imgMax->hide();
    imgMin->hide();

    for (QLabel* onCaption : {labCaption, static_cast<QLabel*>(labAbout),
                              static_cast<QLabel*>(imgExit), static_cast<QLabel*>(imgResum),
                              static_cast<QLabel*>(imgMax), static_cast<QLabel*>(imgMin)}) {
        QPalette pal = onCaption->palette();
        pal.setColor(QPalette::WindowText, Qt::white);
        onCaption->setPalette(pal);
    }

    connect(imgExit, &PictureButton::clicked, this, &frmMain::imgExit_Click);
    connect(labAbout, &PictureButton::clicked, this, &frmMain::labAbout_Click);
    connect(imgLogo, &PictureButton::clicked, this, &frmMain::imgLogo_Click);
}

void frmMain::createBody() {
    lblType = makeLabel(this, QStringLiteral("lblType"), QStringLiteral("数据库类型:"));
    cboType = makePickList(this, QStringLiteral("cboType"));
    lblType->setBuddy(cboType);
    lblAcc = makeLabel(this, QStringLiteral("lblAcc"), QStringLiteral("账套:"));
    cboAcc = makePickList(this, QStringLiteral("cboAcc"));
    lblAcc->setBuddy(cboAcc);
    chkDeleteDB = new QCheckBox(QStringLiteral("删除数据库"), this);
    chkDeleteDB->setObjectName(QStringLiteral("chkDeleteDB"));

    cmdBrush = makeButton(this, QStringLiteral("cmdBrush"), QString());
    cmdBrush->setToolTip(QStringLiteral("刷新"));
    const int iconSide = twipsToPixelsX(kRefresh.width, this) - 6;
    cmdBrush->setIcon(refreshIcon(this, iconSide));
    cmdBrush->setIconSize(QSize(iconSide, iconSide));

    grdTable = new ListingView(this);
    grdTable->setObjectName(QStringLiteral("grdTable"));
    grdTable->setModel(&m_listing.grid());

    // Both belong to a deletion run and stay hidden outside one.
    labReport = makeLabel(this, QStringLiteral("labReport"), QString());
    labReport->hide();
    ProBar = new QProgressBar(this);
    ProBar->setObjectName(QStringLiteral("ProBar"));
    ProBar->setOrientation(Qt::Horizontal);
    ProBar->setTextVisible(false);
    ProBar->hide();

    cmdSelect = makeButton(this, QStringLiteral("cmdSelect"), QStringLiteral("全选"));
    cmdClear = makeButton(this, QStringLiteral("cmdClear"), QStringLiteral("全清"));
    cmdConfirm = makeButton(this, QStringLiteral("cmdConfirm"), QStringLiteral("确定"));
    cmdStop = makeButton(this, QStringLiteral("cmdStop"), QStringLiteral("停止"));
    cmdCancel = makeButton(this, QStringLiteral("cmdCancel"), QStringLiteral("取消"));
    // Only a running deletion can be stopped.
    cmdStop->setEnabled(false);

    setTwipsGeometry(lblType, kTypeLabel);
    setTwipsGeometry(cboType, kTypeList);
    setTwipsGeometry(lblAcc, kAccLabel);
    setTwipsGeometry(cboAcc, kAccList);
    setTwipsGeometry(chkDeleteDB, kDeleteDB);
    setTwipsGeometry(cmdBrush, kRefresh);
    setTwipsGeometry(grdTable, kGrid);
    setTwipsGeometry(labReport, kReport);
    setTwipsGeometry(ProBar, kProgress);
    setTwipsGeometry(cmdSelect, kSelect);
    setTwipsGeometry(cmdClear, kClear);
    setTwipsGeometry(cmdConfirm, kConfirm);
    setTwipsGeometry(cmdStop, kStop);
    setTwipsGeometry(cmdCancel, kCancel);

    setTabOrder(cboType, cboAcc);
    setTabOrder(cboAcc, chkDeleteDB);
    setTabOrder(chkDeleteDB, cmdBrush);
    setTabOrder(cmdBrush, grdTable);
    setTabOrder(grdTable, cmdSelect);
    setTabOrder(cmdSelect, cmdClear);
    createPreviewControls();
    setTabOrder(cmdClear, chkPreview);
    setTabOrder(chkPreview, chkBackupHistory);
    setTabOrder(chkBackupHistory, cmdPreview);
    setTabOrder(cmdPreview, cmdConfirm);
    setTabOrder(cmdConfirm, cmdStop);
    setTabOrder(cmdStop, cmdCancel);

    connect(cboType, &QComboBox::activated, this, &frmMain::cboType_Click);
    connect(cboAcc, &QComboBox::activated, this, &frmMain::cboAcc_Click);
    connect(cmdBrush, &QPushButton::clicked, this, &frmMain::cmdBrush_Click);
    connect(grdTable, &ListingView::cellClicked, this, &frmMain::grdTable_Click);
    connect(grdTable, &ListingView::tickKeyPressed, this, &frmMain::grdTable_KeySpace);
    connect(cmdSelect, &QPushButton::clicked, this, &frmMain::cmdSelect_Click);
    connect(cmdClear, &QPushButton::clicked, this, &frmMain::cmdClear_Click);
    connect(cmdConfirm, &QPushButton::clicked, this, &frmMain::cmdConfirm_Click);
    connect(cmdStop, &QPushButton::clicked, this, &frmMain::cmdStop_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmMain::cmdCancel_Click);
}

void frmMain::setTwipsGeometry(QWidget* widget, const FrameRect& r) {
    // Both edges are converted, so neighbouring pieces meet without a gap at any scale.
    const int left = twipsToPixelsX(r.left, this);
    const int top = twipsToPixelsY(r.top, this);
    widget->setGeometry(left, top, twipsToPixelsX(r.left + r.width, this) - left,
                        twipsToPixelsY(r.top + r.height, this) - top);
}

// --- Loading ---

void frmMain::Form_Load(std::function<void()> startup) {
    InitFormInfo();
    const bool connecting = bool(startup);
    readChoice(m_listing.choiceRequest(std::nullopt), [startup = std::move(startup)] {
        if (startup)
            startup();
        // Waits a few seconds at most; without the network the last Readme.txt or the defaults
        // serve.
        RefreshReadmeInfo();
    });
    if (connecting)
        m_busyText = QStringLiteral("正在连接服务器…");
}

void frmMain::InitFormInfo() {
    // A caption too long for its bar ends in "…"; the whole of it is the bar's tooltip.
    const QString caption = FormCaption();
    labCaption->setText(labCaption->fontMetrics().elidedText(caption, Qt::ElideRight,
                                                             labCaption->contentsRect().width()));
    labCaption->setToolTip(plainToolTip(caption));
    imgLogo->setToolTip(plainToolTip(state().ReadmeIntro));
}

void frmMain::readChoice(ChoiceRead request, std::function<void()> loading) {
    auto read = std::make_shared<ChoiceRead>(std::move(request));
    const Selection expected{read->product, read->keepAccount ? read->keptAccount : kAllAccounts};
    m_busyText = MainListing::readingText(expected.listing());
    const bool loaded = bool(loading);
    state().worker().start(
        [read, loading = std::move(loading)] {
            if (loading)
                loading();
            MainListing::readChoice(*read);
        },
        [self = QPointer(this), read, loaded] {
            if (!self)
                return;
            if (loaded)
                self->InitFormInfo();
            self->showChoice(std::move(*read));
        });
}

void frmMain::showChoice(ChoiceRead read) {
    MainListing::Action action(m_listing);
    if (read.readProducts) {
        cboType->clear();
        for (const ProductFamily product : std::as_const(read.products))
            cboType->addItem(productEntry(product), QVariant::fromValue(product));
        cboType->setCurrentIndex(0);
    }
    const ProductChoice choice = m_listing.takeChoice(std::move(read));
    lblAcc->setVisible(choice.accountsShown);
    cboAcc->setVisible(choice.accountsShown);
    chkDeleteDB->setChecked(choice.deleteDatabasesForced);
    chkDeleteDB->setEnabled(!choice.deleteDatabasesForced);
    // A failed account query was reported by the listing; the list then simply stays empty.
    cboAcc->clear();
    cboAcc->addItems(choice.accounts);
    // The account the listing chose: the first entry, or after a run the one shown before it.
    cboAcc->setCurrentIndex(cboAcc->findText(m_listing.selection().account));
    fitGrid();
}

void frmMain::LoadDB() {
    auto read = std::make_shared<ListingRead>(m_listing.refreshRequest());
    m_busyText = MainListing::readingText(read->kind);
    // Only one job at a time: the controls that ask for a refresh are locked while one runs.
    state().worker().start([read] { MainListing::readListing(*read); },
                           [self = QPointer(this), read] {
                               if (self)
                                   self->showListing(std::move(*read));
                           });
}

void frmMain::showListing(ListingRead read) {
    m_listing.showListing(std::move(read));
    fitGrid();
}

void frmMain::fitGrid() {
    showNote(QString());
    const GridModel& grid = m_listing.grid();
    if (grid.Rows() == 0)
        return;
    for (int col = 0; col < grid.Cols(); ++col)
        grdTable->setColumnWidth(col, twipsToPixelsX(grid.colWidthTwips(col), this));
    grdTable->verticalHeader()->setDefaultSectionSize(twipsToPixelsY(kRowHeightTwips, this));
    grdTable->horizontalHeader()->setFixedHeight(twipsToPixelsY(kHeaderHeightTwips, this));
    if (grid.Rows() > 1)
        grdTable->setCurrentIndex(grid.index(0, 0));
}

bool frmMain::working() {
    return state().serverBusy();
}

void frmMain::setBusy(bool busy) {
    if (busy) {
        lockControls(startControls());
        m_busyTimer.start();
        return;
    }
    m_busyTimer.stop();
    unlockControls();
    if (m_busyShown)
        showNote(QString());
    m_busyShown = false;
}

void frmMain::showBusyLine() {
    // A run shows its own report line; other work says what it does.
    const bool run = m_busyText.isEmpty();
    const qint64 ms = !run                         ? state().worker().elapsedMs()
                      : m_runReportClock.isValid() ? m_runReportClock.elapsed()
                                                   : 0;
    if (ms < kBusyLineAfterMs)
        return;
    const QString seconds = QStringLiteral(" %1 秒").arg(std::max<qint64>(1, ms / 1000));
    if (run) {
        if (!m_runReport.isEmpty())
            labReport->setText(m_runReport + seconds);
        return;
    }
    m_busyShown = true;
    showNote(m_busyText + seconds);
}

// --- The operator's lists ---

void frmMain::cboType_Click() {
    // A click queued while the server worker reads starts nothing.
    if (working())
        return;
    const QVariant product = cboType->currentData();
    readChoice(m_listing.choiceRequest(product.isValid() ? product.value<ProductFamily>()
                                                         : ProductFamily::None));
}

void frmMain::reloadAfterRun() {
    readChoice(m_listing.choiceRequest(m_listing.selection().product, true));
}

void frmMain::cboAcc_Click() {
    if (working())
        return;
    MainListing::Action action(m_listing);
    m_listing.chooseAccount(cboAcc->currentText());
    m_listing.requestRefresh();
}

void frmMain::cmdBrush_Click() {
    if (working())
        return;
    MainListing::Action action(m_listing);
    m_listing.requestRefresh();
}

// --- Ticks ---

void frmMain::grdTable_Click(const QModelIndex& cell) {
    if (working())
        return;
    if (cell.isValid())
        m_listing.toggleTick(cell.row() + 1, cell.column());
}

void frmMain::grdTable_KeySpace() {
    if (working())
        return;
    const QModelIndex cell = grdTable->currentIndex();
    if (cell.isValid())
        m_listing.toggleTick(cell.row() + 1, 0);
}

void frmMain::cmdSelect_Click() {
    if (working())
        return;
    showNote(m_listing.selectAll());
}

void frmMain::cmdClear_Click() {
    if (working())
        return;
    m_listing.clearAll();
    showNote(QString());
}

void frmMain::showNote(const QString& text) {
    // Outside a run the report line has the progress bar's room as well.
    setTwipsGeometry(labReport, {kReport.left, kReport.top,
                                 kProgress.left + kProgress.width - kReport.left, kReport.height});
    labReport->setText(
        labReport->fontMetrics().elidedText(text, Qt::ElideRight, labReport->width()));
    labReport->setToolTip(plainToolTip(text));
    labReport->setVisible(!text.isEmpty());
}

// --- The deletion run ---

void frmMain::cmdConfirm_Click() {
    if (working())
        return;
    if (chkPreview->isChecked())
        previewThen(true);
    else
        confirmRun();
}

void frmMain::cmdStop_Click() {
    // The run finishes the row in hand and then asks.
    m_stopClicked = true;
    state().worker().requestStop();
    if (m_run.running() && m_run.DeleteDatabases) {
        m_runReport = QStringLiteral("正在等待当前数据库删除完成…");
        m_runReportClock.invalidate();
        labReport->setText(m_runReport);
    }
}

bool frmMain::stillShows(const ListedRow& confirmed) {
    return answerOn<bool>(this, [&] { return m_listing.stillShows(confirmed); });
}

void frmMain::runStarted() {
    m_stopClicked = false;
    lockControls(startControls() + QList<QWidget*>{labAbout});
    cmdStop->setEnabled(true);
}

void frmMain::runEnded() {
    cmdStop->setEnabled(false);
    // A run on the server worker still has its messages to show: the controls come back with
    // the worker idle.
    if (!working())
        unlockControls();
}

void frmMain::lockControls(const QList<QWidget*>& controls) {
    for (QWidget* control : controls) {
        // A control locked already keeps the state it had before the first lock.
        const bool known = std::any_of(m_locked.cbegin(), m_locked.cend(),
                                       [control](const auto& l) { return l.first == control; });
        if (!known)
            m_locked.append({control, control->isEnabled()});
        control->setEnabled(false);
    }
}

void frmMain::unlockControls() {
    for (const auto& [control, wasEnabled] : std::as_const(m_locked)) {
        if (!control.isNull())
            control->setEnabled(wasEnabled);
    }
    m_locked.clear();
}

void frmMain::showProgress(int maximum) {
    setTwipsGeometry(labReport, kReport);
    labReport->setToolTip(QString());
    ProBar->setRange(0, maximum);
    ProBar->setValue(0);
    ProBar->show();
    labReport->show();
}

void frmMain::hideProgress() {
    m_runReport.clear();
    m_runReportClock.invalidate();
    ProBar->hide();
    labReport->hide();
}

void frmMain::setProgressValue(int value) {
    ProBar->setValue(value);
}

void frmMain::setReport(const QString& text) {
    // Once stopped, the line says what the run waits for.
    if (m_stopClicked && m_run.DeleteDatabases)
        return;
    m_runReport = text;
    m_runReportClock.start();
    labReport->setText(text);
}

bool frmMain::stopRequested() {
    // The run asks from the server worker, which reads the worker's own flag; this answers a run
    // on the window's thread.
    return m_stopClicked;
}

// --- The maker ---

void frmMain::labAbout_Click() {
    ProgramState& s = state();
    if (!s.frmAbout)
        s.frmAbout = std::make_unique<frmAbout>();
    SetAboutFields(*s.frmAbout);
    s.frmAbout->Show();
}

void frmMain::imgLogo_Click() {
    OpenWebPage(state().ReadmeWebUrl);
}

// --- Leaving ---

void frmMain::cmdCancel_Click() {
    if (!leaveAfterRun())
        state().system->endProcess(0);
}

void frmMain::imgExit_Click() {
    if (!leaveAfterRun())
        state().system->endProcess(0);
}

// A run is never cut off inside a database: the operator is asked first, and on yes the run stops
// after the row in hand, starts the task service again when it stopped it, tells what it did,
// and the program ends then.
bool frmMain::leaveAfterRun() {
    if (!m_run.running())
        return false;
    if (m_leaveAfterRun ||
        state().msg().ShowMsg(MsgKind::Question,
                              QStringLiteral("删除正在进行，确定在当前数据库完成后退出吗？")) !=
            MsgResult::Yes)
        return true;
    m_leaveAfterRun = true;
    cmdStop_Click();
    // The run may have ended while the question was open.
    if (!m_run.running())
        state().system->endProcess(0);
    return true;
}

// --- The window itself ---

void frmMain::Form_Resize() {
    m_frame = layoutFrame(pixelsToTwipsX(width(), this), pixelsToTwipsY(height(), this), m_frame);
    setTwipsGeometry(impTopLeft, m_frame.impTopLeft);
    setTwipsGeometry(imgTopRight, m_frame.imgTopRight);
    setTwipsGeometry(imgBottomLeft, m_frame.imgBottomLeft);
    setTwipsGeometry(imgBottomRight, m_frame.imgBottomRight);
    setTwipsGeometry(imgTop, m_frame.imgTop);
    setTwipsGeometry(imgBottom, m_frame.imgBottom);
    setTwipsGeometry(imgLeft, m_frame.imgLeft);
    setTwipsGeometry(imgRight, m_frame.imgRight);
    setTwipsGeometry(imgExit, m_frame.imgExit);
    setTwipsGeometry(imgResum, m_frame.imgResum);
    setTwipsGeometry(imgMin, m_frame.imgMin);
    setTwipsGeometry(imgMax, m_frame.imgMax);
    setTwipsGeometry(labAbout, m_frame.labAbout);
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (leaveAfterRun()) {
        event->ignore();
        return;
    }
    // A listing in hand only reads: the program ends at once instead of waiting for the server.
    if (working())
        state().system->endProcess(0);
    QWidget::closeEvent(event);
}

void frmMain::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Form_Resize();
}

void frmMain::paintEvent(QPaintEvent*) {
    paintWindowFrame(this);
}

} // namespace quenlor
