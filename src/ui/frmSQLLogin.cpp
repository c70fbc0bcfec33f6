#include "ui/frmSQLLogin.h"

#include "core/app/ProgramState.h"
#include "core/app/ServerWorker.h"
#include "core/login/ManualLogin.h"
#include "platform/Database.h"
#include "ui/WindowDrag.h"
#include "ui/WindowFrame.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace quenlor {

namespace {
const QString kCaption = QStringLiteral("服务器设置");

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QLabel* makeRequiredMark(QWidget* parent, const QString& name) {
    QLabel* mark = makeLabel(parent, name, QStringLiteral("*"));
    QPalette pal = mark->palette();
    pal.setColor(QPalette::WindowText, Qt::red);
    mark->setPalette(pal);
    return mark;
}

QLineEdit* makeBox(QWidget* parent, const QString& name, const QString& tip) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setToolTip(tip);
    return box;
}

QPushButton* makeButton(QWidget* parent, const QString& name, const QString& face) {
    auto* button = new QPushButton(face, parent);
    button->setObjectName(name);
    button->setToolTip(face);
    button->setAutoDefault(true);
    return button;
}

} // namespace

frmSQLLogin::frmSQLLogin(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint) {
    setObjectName(QStringLiteral("frmSQLLogin"));
    setWindowTitle(kCaption);

    labHint = makeLabel(this, QStringLiteral("labHint"), kCaption);
    picExit = makeClosePicture(this, QStringLiteral("picExit"));
    QWidget* caption = makeCaptionBar(this, labHint, picExit);

    Label1 = makeLabel(this, QStringLiteral("Label1"), QStringLiteral("服务器"));
    Label2 = makeLabel(this, QStringLiteral("Label2"), QStringLiteral("操作员"));
    Label3 = makeLabel(this, QStringLiteral("Label3"), QStringLiteral("口令"));
    Label4 = makeRequiredMark(this, QStringLiteral("Label4"));
    Label5 = makeRequiredMark(this, QStringLiteral("Label5"));

    txtServerName =
        makeBox(this, QStringLiteral("txtServerName"), QStringLiteral("请输入服务器名称"));
    txtUser = makeBox(this, QStringLiteral("txtUser"), QStringLiteral("请输入操作员"));
    txtPwd = makeBox(this, QStringLiteral("txtPwd"), QStringLiteral("请输入口令"));
    txtPwd->setEchoMode(QLineEdit::Password);
    // One "*" per character whatever the style's own mask character is.
    txtPwd->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
    Label1->setBuddy(txtServerName);
    Label2->setBuddy(txtUser);
    Label3->setBuddy(txtPwd);

    cmdConfirm = makeButton(this, QStringLiteral("cmdConfirm"), QStringLiteral("确定"));
    cmdCancel = makeButton(this, QStringLiteral("cmdCancel"), QStringLiteral("取消"));
    cmdConfirm->setDefault(true);

    setTabOrder(txtServerName, txtUser);
    setTabOrder(txtUser, txtPwd);
    setTabOrder(txtPwd, cmdConfirm);
    setTabOrder(cmdConfirm, cmdCancel);

    connect(cmdConfirm, &QPushButton::clicked, this, &frmSQLLogin::cmdConfirm_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmSQLLogin::cmdCancel_Click);
    connect(picExit, &PictureButton::clicked, this, &frmSQLLogin::picExit_Click);

    const int gap = twipsToPixelsX(180, this);
    auto* fields = new QGridLayout;
    fields->setHorizontalSpacing(gap / 2);
    fields->setVerticalSpacing(gap);
    fields->addWidget(Label1, 0, 0);
    fields->addWidget(txtServerName, 0, 1);
    fields->addWidget(Label4, 0, 2);
    fields->addWidget(Label2, 1, 0);
    fields->addWidget(txtUser, 1, 1);
    fields->addWidget(Label5, 1, 2);
    fields->addWidget(Label3, 2, 0);
    fields->addWidget(txtPwd, 2, 1);
    fields->setColumnStretch(1, 1);
    fields->setColumnMinimumWidth(2, Label4->sizeHint().width());

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdConfirm);
    buttons->addWidget(cmdCancel);

    auto* body = new QVBoxLayout;
    body->setContentsMargins(2 * gap, 2 * gap, 2 * gap, gap);
    body->setSpacing(gap * 3 / 2);
    body->addLayout(fields);
    body->addStretch(1);
    body->addLayout(buttons);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(kFrameWidth, kFrameWidth, kFrameWidth, kFrameWidth);
    outer->setSpacing(0);
    outer->addWidget(caption);
    outer->addLayout(body, 1);

    resize(twipsToPixels(5400, 3150, this).expandedTo(minimumSizeHint()));
    WindowDrag::install(this);
}

frmSQLLogin::~frmSQLLogin() {
    if (m_attempt)
        showAttempt(false);
}

void frmSQLLogin::ConnSql() {
    Form_Load();
    exec();
}

void frmSQLLogin::Form_Load() {
    Confirmed = false;
    if (UserName.isEmpty())
        UserName = QStringLiteral("SA");
    if (ServerName.isEmpty())
        ServerName = QStringLiteral("127.0.0.1");
    InitForm();
    if (DatabaseName.isEmpty())
        DatabaseName = QStringLiteral("master");
    TestConn.reset();
}

void frmSQLLogin::InitForm() {
    txtServerName->setText(ServerName);
    txtUser->setText(UserName);
    txtPwd->setText(Password);
    txtServerName->setEnabled(true);
}

void frmSQLLogin::cmdConfirm_Click() {
    // One attempt at a time: a click queued meanwhile starts nothing.
    if (m_attempt)
        return;
    auto attempt = std::make_shared<TestConnectionAttempt>();
    attempt->params = {txtServerName->text(), DatabaseName, txtUser->text(), txtPwd->text()};
    DatabaseConnector* connector = state().connector.get();
    const bool started = state().worker().start(
        [attempt, connector] { attemptTestConnection(*connector, *attempt); },
        [dialog = QPointer<frmSQLLogin>(this), attempt] {
            // An abandoned attempt's connection, if it came, closes unused.
            if (dialog && dialog->m_attempt == attempt)
                dialog->attemptEnded();
        });
    if (!started)
        return;
    m_attempt = std::move(attempt);
    showAttempt(true);
}

void frmSQLLogin::showAttempt(bool trying) {
    if (trying)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
    cmdConfirm->setEnabled(!trying);
}

void frmSQLLogin::attemptEnded() {
    const std::shared_ptr<TestConnectionAttempt> attempt = std::move(m_attempt);
    showAttempt(false);
    DbError failure;
    TestConn = takeTestConnection(*attempt, &failure).value;
    const ConnectionParams& tried = attempt->params;
    if (TestConn) {
        // As typed: a server name may legitimately end in a blank the server knows it by.
        ServerName = tried.server;
        UserName = tried.user;
        Password = tried.password;
        Confirmed = true;
        closeLogin();
        return;
    }
    // A refused login only needs retyping; a server that cannot be reached is named with the
    // driver's reason, and its box is the one to correct.
    const LoginFailureNotice notice = loginFailureNotice(tried.server, failure);
    state().msg().ShowMsg(MsgKind::Error, notice.text);
    QLineEdit* retype = notice.serverUnreachable ? txtServerName : txtPwd;
    retype->selectAll();
    retype->setFocus(Qt::OtherFocusReason);
}

void frmSQLLogin::cmdCancel_Click() {
    closeLogin();
}

void frmSQLLogin::picExit_Click() {
    closeLogin();
}

void frmSQLLogin::reject() {
    cmdCancel_Click();
}

void frmSQLLogin::closeLogin() {
    // Leaving abandons an attempt in hand: the dialog does not wait for the driver's time-out.
    if (m_attempt) {
        m_attempt.reset();
        showAttempt(false);
    }
    QDialog::done(QDialog::Rejected);
}

void frmSQLLogin::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    txtServerName->setFocus(Qt::ActiveWindowFocusReason);
}

void frmSQLLogin::paintEvent(QPaintEvent*) {
    paintWindowFrame(this);
}

} // namespace quenlor
