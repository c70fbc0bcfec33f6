// The main window's preview and log controls: 删除前预览, 同时删除备份和还原历史记录, 预览 and
// 查看日志, and the way from the preview to the confirmation question.

#include "core/app/MessageSink.h"
#include "core/app/ProgramState.h"
#include "core/app/ServerWorker.h"
#include "core/deletion/PreviewEffects.h"
#include "core/deletion/RunLog.h"
#include "core/deletion/RunScript.h"
#include "platform/System.h"
#include "ui/ListingView.h"
#include "ui/frmMain.h"
#include "ui/frmPreview.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPointer>
#include <QPushButton>
#include <QUrl>

namespace quenlor {

namespace {

QString S(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// Twips: the check boxes and 预览 between 全清 and 确定; 查看日志 between 删除数据库 and the
// refresh button.
constexpr FrameRect kPreviewCheck{2760, 7050, 1290, 360};
constexpr FrameRect kHistoryCheck{4080, 7050, 2640, 360};
constexpr FrameRect kPreview{6810, 7050, 1140, 360};
constexpr FrameRect kLog{10470, 540, 840, 360};

} // namespace

void frmMain::createPreviewControls() {
    chkPreview = new QCheckBox(S("删除前预览"), this);
    chkPreview->setObjectName(S("chkPreview"));
    chkPreview->setChecked(true);
    // Off unless the operator asks, and only for this session.
    chkBackupHistory = new QCheckBox(S("同时删除备份和还原历史记录"), this);
    chkBackupHistory->setObjectName(S("chkBackupHistory"));
    chkBackupHistory->setToolTip(S("每个数据库删除后，再删除 msdb 中该数据库的备份和还原历史记录"));
    cmdPreview = new QPushButton(S("预览"), this);
    cmdPreview->setObjectName(S("cmdPreview"));
    cmdPreview->setAutoDefault(true);
    cmdLog = new QPushButton(S("查看日志"), this);
    cmdLog->setObjectName(S("cmdLog"));
    cmdLog->setAutoDefault(true);
    setTwipsGeometry(chkPreview, kPreviewCheck);
    setTwipsGeometry(chkBackupHistory, kHistoryCheck);
    setTwipsGeometry(cmdPreview, kPreview);
    setTwipsGeometry(cmdLog, kLog);
    connect(cmdPreview, &QPushButton::clicked, this, &frmMain::cmdPreview_Click);
    connect(cmdLog, &QPushButton::clicked, this, &frmMain::cmdLog_Click);
}

QList<QWidget*> frmMain::startControls() const {
    return {cboType,  cboAcc,     chkDeleteDB, cmdBrush,   grdTable,         cmdSelect,
            cmdClear, cmdConfirm, chkPreview,  cmdPreview, chkBackupHistory, cmdLog};
}

void frmMain::cmdPreview_Click() {
    if (working())
        return;
    previewThen(false);
}

void frmMain::confirmRun() {
    m_run.cmdConfirm_Click(m_listing.confirmedSelection(), chkDeleteDB->isChecked(),
                           chkBackupHistory->isChecked());
}

void frmMain::previewThen(bool beforeQuestion) {
    // Nothing ticked is refused by the dry run itself, with the run's own text.
    const ConfirmedSelection selection = m_listing.confirmedSelection();
    struct Job {
        RunPreview preview;
        QString script;
    };
    auto job = std::make_shared<Job>();
    const bool deleteDatabases = chkDeleteDB->isChecked();
    const bool history = chkBackupHistory->isChecked();
    m_busyText = S("正在生成删除预览…");
    state().worker().start(
        [job, selection, deleteDatabases, history] {
            job->preview = PreviewRun(selection, deleteDatabases, history);
            job->script = RunScript(job->preview, state().SqlServer);
        },
        [self = QPointer(this), job, beforeQuestion] {
            if (!self)
                return;
            if (!job->preview.outcome) {
                // A refused row is told as the run tells it; a failure says which query failed.
                state().msg().ShowMsg(
                    MsgKind::Error, job->preview.refused ? job->preview.outcome.text()
                                                         : S("无法生成删除预览，未删除任何内容：") +
                                                               job->preview.outcome.text());
                return;
            }
            frmPreview preview(job->preview, job->script, beforeQuestion, self);
            if (preview.ask() && beforeQuestion && self)
                self->confirmRun();
        });
}

void frmMain::cmdLog_Click() {
    const QString folder = RunLog::folder();
    if (folder.isEmpty() || !state().system->openUrl(QUrl::fromLocalFile(folder).toString()))
        state().msg().ShowMsg(MsgKind::Error, S("无法打开日志文件夹“%1”。").arg(folder));
}

} // namespace quenlor
