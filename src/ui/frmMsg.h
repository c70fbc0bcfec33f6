#pragma once

#include "core/app/MessageSink.h"

#include <QDialog>
#include <QList>
#include <QString>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace quenlor {

class PictureButton;

// The program's message box. One instance lives for the whole process; the kind and the text of
// the last message are remembered, so a call with kind 0 or an empty text repeats them.
class frmMsg final : public QDialog, public MessageSink {
    Q_OBJECT

public:
    explicit frmMsg(QWidget* parent = nullptr);
    ~frmMsg() override;

    // 1 notice (OK), 2 question (Yes/No), 3 warning question (Yes/No), 4 error (OK); another
    // kind shows no button and only the close picture ends it.
    short MsgKind = 0;
    QString MsgText;
    // -1 OK, 1 Yes, 0 No or closed.
    short MsgResult = 0;
    // Taken from the dialog's own font and colour on first use and kept from then on.
    short MsgFontSize = 0;
    // A QRgb with its alpha, so that a computed black is not the "not yet computed" 0.
    quint32 MsgForeColor = 0;

    // Shows the message modally and returns the button. Called while the box is already on
    // screen, it updates it and returns 0 at once.
    short ShowMsg(short InValue = 0, const QString& Message = QString()) override;
    // Shows the prompt over a text box with OK and Cancel, modally: Enter accepts, Esc cancels.
    // The typed text when accepted, else an empty text. The remembered kind and text stay.
    QString AskText(const QString& prompt) override;

    // Answers for tests, used before any modal showing: while some are queued, ShowMsg shows the
    // box without a modal loop and activates the next queued control. A control the kind does
    // not show is never pressed; the box is closed through the close picture instead.
    enum class Answer { Confirm, Yes, No, Exit };
    void presetAnswers(QList<Answer> answers);

    void cmdConfirm_Click();
    void cmdYes_Click();
    void cmdNo_Click();
    void picExit_Click();

public slots:
    // Esc and the system's close request act as the close picture.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void closeMessage();
    void hideKindControls();
    QPushButton* showKindControls();

    QLabel* labHint = nullptr;
    PictureButton* picExit = nullptr;
    QLabel* picWarm = nullptr;
    QLabel* picQuery = nullptr;
    QLabel* picError = nullptr;
    QPlainTextEdit* txtMessage = nullptr;
    QPushButton* cmdConfirm = nullptr;
    QPushButton* cmdYes = nullptr;
    QPushButton* cmdNo = nullptr;
    QLineEdit* txtAnswer = nullptr;
    QPushButton* cmdCancel = nullptr;

    QPushButton* m_defaultButton = nullptr;
    QList<Answer> m_answers;
};

} // namespace quenlor
