#pragma once

#include "core/info/AboutBox.h"

#include <QDialog>
#include <QPixmap>

class QLabel;
class QPlainTextEdit;

namespace quenlor {

class PictureButton;

// The program's logo, drawn for the widget's screen so it stays sharp at any scale.
[[nodiscard]] QPixmap quenlorLogo(const QWidget* widget, int side);

// A tooltip that shows text exactly as given: Qt reads a tooltip that looks like markup as rich
// text, and the texts put here come from a downloaded file.
[[nodiscard]] QString plainToolTip(const QString& text);

// The about box: program and version, the maker's link and rights line, and a notice. It is not
// modal; closing it unloads it, and the Program state lets go of it.
class frmAbout final : public QDialog, public AboutBox {
    Q_OBJECT

public:
    explicit frmAbout(QWidget* parent = nullptr);
    ~frmAbout() override;

    void Show() override;
    // Takes the texts from the four fields and the Program state; done once per loading.
    void Form_Load();
    [[nodiscard]] bool loaded() const { return m_loaded; }

    void imgLogo_Click();
    void labMaker_Click();
    void picExit_Click();
    // A left press on the background moves the box: WindowDrag, installed by the constructor.

public slots:
    // Esc and the system's close request act as the close picture.
    void reject() override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* labHint = nullptr;
    PictureButton* picExit = nullptr;
    PictureButton* imgLogo = nullptr;
    QLabel* LabToolText = nullptr;
    QLabel* Label1 = nullptr;
    PictureButton* labMaker = nullptr;
    QLabel* labCopyRight = nullptr;
    QPlainTextEdit* txtMessage = nullptr;
    QLabel* PicManage = nullptr;

    bool m_loaded = false;
};

} // namespace quenlor
