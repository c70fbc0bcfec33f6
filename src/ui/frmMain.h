#pragma once

#include "core/app/QueuedSinks.h"
#include "core/deletion/DeletionRun.h"
#include "core/deletion/ProgressSink.h"
#include "core/listing/MainListing.h"
#include "ui/FrameLayout.h"

#include <QElapsedTimer>
#include <QList>
#include <QPair>
#include <QPointer>
#include <QTimer>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QModelIndex;
class QProgressBar;
class QPushButton;

namespace quenlor {

class FramePicture;
class ListingView;
class PictureButton;

// The main window: the product and account lists, the grid of what can be deleted and the
// buttons that act on the ticked rows. It only passes its events on; the listing and the deletion
// run do the work, and the run shows its progress here.
class frmMain final : public QWidget, public ProgressSink {
    Q_OBJECT

public:
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    MainListing& listing() { return m_listing; }
    // The frame as last placed, in twips.
    [[nodiscard]] const FrameLayout& frameLayout() const { return m_frame; }

    // Reads the server on the server worker: `startup` first when given (the program's start-up),
    // then Readme.txt and the lists; the caption and the lists show once they are read.
    void Form_Load(std::function<void()> startup = {});
    void Form_Resize();

    // Reads what the two lists select on the server worker; the grid shows it when it is read.
    void LoadDB();

    void cboType_Click();
    void cboAcc_Click();
    // After a deletion run: the lists read again, the product and account shown kept.
    void reloadAfterRun();
    void cmdBrush_Click();
    // A click on a tick cell toggles its row; Space toggles the current row.
    void grdTable_Click(const QModelIndex& cell);
    void grdTable_KeySpace();
    void cmdSelect_Click();
    void cmdClear_Click();
    void cmdConfirm_Click();
    // 预览: the preview alone. 确定 shows it first when 删除前预览 is ticked.
    void cmdPreview_Click();
    // 查看日志: the folder of the run log.
    void cmdLog_Click();
    void cmdStop_Click();
    void cmdCancel_Click();
    void imgExit_Click();
    // Opens the about box, a single instance kept in the Program state.
    void labAbout_Click();
    // Opens the maker's web site.
    void imgLogo_Click();

    [[nodiscard]] int CountTicked() const { return m_listing.CountTicked(); }
    [[nodiscard]] bool HasTicked() const { return m_listing.HasTicked(); }

    // ProgressSink: the deletion run's progress bar, report line, lock and stop button.
    void runStarted() override;
    void runEnded() override;
    void showProgress(int maximum) override;
    void hideProgress() override;
    void setProgressValue(int value) override;
    void setReport(const QString& text) override;
    bool stopRequested() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // Builds the caption and the logo's tooltip from Readme.txt and the server as read.
    void InitFormInfo();
    void createFrame();
    void createBody();
    void setTwipsGeometry(QWidget* widget, const FrameRect& r);
    // Reads a product's accounts and listing on the server worker (at start-up the product
    // entries first, after `loading`); the lists and the grid show them when they are read, and
    // after `loading` the caption too.
    void readChoice(ChoiceRead request, std::function<void()> loading = {});
    void showChoice(ChoiceRead read);
    // Shows a listing read on the server worker and gives the grid its look.
    void showListing(ListingRead read);
    void fitGrid();
    // While the server worker has a job in hand, the controls that would start other work are
    // locked and, after a moment, the report line says what is being done and for how long.
    void setBusy(bool busy);
    void showBusyLine();
    [[nodiscard]] static bool working();
    // Disables the controls, remembering which were enabled; unlockControls puts that back.
    void lockControls(const QList<QWidget*>& controls);
    void unlockControls();
    // A line on the report label outside a run (what 全选 left out); empty hides it.
    void showNote(const QString& text);

    // The preview's controls, beside the confirm button (frmMainPreview.cpp).
    void createPreviewControls();
    // Every control that starts work; locked while the server worker has a job.
    [[nodiscard]] QList<QWidget*> startControls() const;
    // The preview read on the server worker, then shown; beforeQuestion leads on to the run.
    void previewThen(bool beforeQuestion);
    // The confirmation question and the run, with the check boxes as they stand.
    void confirmRun();

    // Leaving while a run goes; false when no run is in hand. See frmMain.cpp.
    bool leaveAfterRun();

    // True while the grid shows the confirmed row; asked from the server worker, answered here.
    bool stillShows(const ListedRow& confirmed);

    MainListing m_listing;
    // This window's progress as the run on the server worker reaches it.
    QueuedProgressSink m_runProgress;
    DeletionRun m_run;
    FrameLayout m_frame;
    // Set by the stop button, read by the run between rows.
    bool m_stopClicked = false;
    // The operator asked to leave once the run in hand is over.
    bool m_leaveAfterRun = false;
    // The controls a run or a job of the server worker locks, with whether each was enabled.
    QList<QPair<QPointer<QWidget>, bool>> m_locked;
    // Ticks while the server worker has a job in hand; what the job does, as the busy line says
    // (empty for a job that shows its own progress).
    QTimer m_busyTimer;
    QString m_busyText;
    bool m_busyShown = false;
    // The run's report line as the run set it last, and since when: the line counts the seconds
    // the row in hand takes.
    QString m_runReport;
    QElapsedTimer m_runReportClock;

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
    PictureButton* imgLogo = nullptr;
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
    QPushButton* cmdPreview = nullptr;
    QPushButton* cmdLog = nullptr;
    QCheckBox* chkPreview = nullptr;
    QCheckBox* chkBackupHistory = nullptr;
    QPushButton* cmdStop = nullptr;
    QPushButton* cmdCancel = nullptr;
};

} // namespace quenlor
