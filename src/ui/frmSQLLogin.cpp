#include "ui/frmSQLLogin.h"

#include "core/app/ProgramState.h"
#include "core/login/ManualLogin.h"
#include "platform/Database.h"
#include "ui/WindowDrag.h"
#include "ui/WindowFrame.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
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

// The wait cursor and a disabled OK button while the server is tried, so a second click cannot
// start a second attempt and the operator sees that something is going on.
class AttemptInProgress {
public:
    explicit AttemptInProgress(QPushButton* button) : m_button(button) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_button->setEnabled(false);
        m_button->repaint();
    }
    ~AttemptInProgress() {
        m_button->setEnabled(true);
        QApplication::restoreOverrideCursor();
    }
    AttemptInProgress(const AttemptInProgress&) = delete;
    AttemptInProgress& operator=(const AttemptInProgress&) = delete;

private:
    QPushButton* m_button;
};
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

frmSQLLogin::~frmSQLLogin() = default;

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

bool frmSQLLogin::ConnectDB(DbError& failure) {
    Read<std::unique_ptr<Database>> opened = openTestConnection(
        txtServerName->text(), DatabaseName, txtUser->text(), txtPwd->text(), &failure);
    TestConn = std::move(opened.value);
    return TestConn != nullptr;
}

void frmSQLLogin::cmdConfirm_Click() {
    DbError failure;
    bool connected = false;
    {
        const AttemptInProgress attempt(cmdConfirm);
        connected = ConnectDB(failure);
    }
    if (connected) {
        // As typed: a server name may legitimately end in a blank the server knows it by.
        ServerName = txtServerName->text();
        UserName = txtUser->text();
        Password = txtPwd->text();
        Confirmed = true;
        closeLogin();
        return;
    }
    // A refused login only needs retyping; a server that cannot be reached is named with the
    // driver's reason, and its box is the one to correct.
    const LoginFailureNotice notice = loginFailureNotice(txtServerName->text(), failure);
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
