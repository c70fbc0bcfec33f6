#pragma once

#include "core/login/ManualLogin.h"
#include "core/login/SqlLoginDialog.h"

#include <QDialog>
#include <QString>

#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;

namespace quenlor {

class PictureButton;

// The manual server login: server, login and password, tried against the server's master
// database before the dialog closes.
class frmSQLLogin final : public QDialog, public SqlLoginDialog {
    Q_OBJECT

public:
    explicit frmSQLLogin(QWidget* parent = nullptr);
    ~frmSQLLogin() override;

    // Prepares the dialog from the public fields, shows it modally and returns when it has closed.
    void ConnSql() override;

    void Form_Load();
    void InitForm();

    // Tries the boxes' texts exactly as typed on the server worker; the dialog keeps turning
    // meanwhile, and closing it abandons the attempt.
    void cmdConfirm_Click();
    void cmdCancel_Click();
    void picExit_Click();

public slots:
    // Esc and the system's close request act as the cancel button.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void closeLogin();
    // The wait cursor and a disabled OK button while the server is tried.
    void showAttempt(bool trying);
    // The attempt in hand has ended: the dialog closes on a working login, else says why.
    void attemptEnded();

    // The attempt in hand, shared with the server worker; none when idle or abandoned.
    std::shared_ptr<TestConnectionAttempt> m_attempt;

    QString DatabaseName;

    QLabel* labHint = nullptr;
    PictureButton* picExit = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLineEdit* txtServerName = nullptr;
    QLineEdit* txtUser = nullptr;
    QLineEdit* txtPwd = nullptr;
    QPushButton* cmdConfirm = nullptr;
    QPushButton* cmdCancel = nullptr;
};

} // namespace quenlor
