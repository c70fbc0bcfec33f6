#pragma once

#include "mainwindow/FrameLayout.h"
#include "mainwindow/MainListing.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace quenlor {

class FramePicture;
class ListingView;
class PictureButton;

// The main window: the product and account lists, the grid of what can be deleted and the
// buttons that act on the ticked rows. It only passes its events on; the listing does the work.
class frmMain final : public QWidget {
    Q_OBJECT

public:
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    MainListing& listing() { return m_listing; }
    // The frame as last placed, in twips.
    [[nodiscard]] const FrameLayout& frameLayout() const { return m_frame; }

    void Form_Load();
    void Form_Resize();

    void LoadProductList();
    void FillCombo(QComboBox* combo, const QString& query);
    int SetListIndex(QComboBox* combo, int index);
    // Lists what the two lists select and gives the grid its look.
    void LoadDB();

    void cboType_Click();
    void cboAcc_Click();
    void cmdBrush_Click();
    void grdTable_DblClick();
    void cmdSelect_Click();
    void cmdClear_Click();
    void cmdCancel_Click();
    void imgExit_Click();

    [[nodiscard]] int CountTicked() const { return m_listing.CountTicked(); }
    [[nodiscard]] bool HasTicked() const { return m_listing.HasTicked(); }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void createFrame();
    void createBody();
    void setTwipsGeometry(QWidget* widget, const FrameRect& r);

    MainListing m_listing;
    FrameLayout m_frame;

    FramePicture* impTopLeft = nullptr;
    FramePicture* imgTopRight = nullptr;
    FramePicture* imgBottomLeft = nullptr;
    FramePicture* imgBottomRight = nullptr;
    FramePicture* imgTop = nullptr;
    FramePicture* imgBottom = nullptr;
    FramePicture* imgLeft = nullptr;
    FramePicture* imgRight = nullptr;

    QLabel* labCaption = nullptr;
    PictureButton* labAbout = nullptr;
    PictureButton* imgExit = nullptr;
    PictureButton* imgResum = nullptr;
    PictureButton* imgMax = nullptr;
    PictureButton* imgMin = nullptr;

    QLabel* lblType = nullptr;
    QComboBox* cboType = nullptr;
    QLabel* lblAcc = nullptr;
    QComboBox* cboAcc = nullptr;
    QCheckBox* chkDeleteDB = nullptr;
    QPushButton* cmdBrush = nullptr;
    ListingView* grdTable = nullptr;
    QLabel* labReport = nullptr;
    QProgressBar* ProBar = nullptr;
    QPushButton* cmdSelect = nullptr;
    QPushButton* cmdClear = nullptr;
    QPushButton* cmdConfirm = nullptr;
    QPushButton* cmdStop = nullptr;
    QPushButton* cmdCancel = nullptr;
};

} // namespace quenlor
