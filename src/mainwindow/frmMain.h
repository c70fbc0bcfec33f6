#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace quenlor {

class PictureButton;

// The main window. Its close picture and cancel button end the program at once.
class frmMain final : public QWidget {
    Q_OBJECT

public:
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    void imgExit_Click();
    void cmdCancel_Click();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* labCaption = nullptr;
    PictureButton* imgExit = nullptr;
    QPushButton* cmdCancel = nullptr;
};

} // namespace quenlor
