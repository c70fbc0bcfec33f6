#include "ui/frmPreview.h"

#include "core/app/MessageSink.h"
#include "core/app/ProgramState.h"
#include "core/deletion/RunScript.h"
#include "core/deletion/ServiceControl.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace quenlor {

namespace {

QString S(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// One line of the tree; a line of a single text (a heading, a folder, a refusal) spans every
// column, so a long path shows whole.
QTreeWidgetItem* item(QTreeWidgetItem* parent, const QStringList& columns) {
    auto* i = new QTreeWidgetItem(parent, columns);
    for (int c = 0; c < columns.size(); ++c)
        i->setToolTip(c, columns[c]);
    i->setFirstColumnSpanned(columns.size() == 1);
    return i;
}

// The server's status word as the operator reads it; an unknown word as the server gave it.
QString stateText(const QString& state) {
    static const QHash<QString, QString> words = {
        {QStringLiteral("ONLINE"), S("联机")},        {QStringLiteral("OFFLINE"), S("脱机")},
        {QStringLiteral("RESTORING"), S("正在还原")}, {QStringLiteral("RECOVERING"), S("正在恢复")},
        {QStringLiteral("SUSPECT"), S("可疑")},       {QStringLiteral("EMERGENCY"), S("紧急")}};
    return state.isEmpty() ? S("未知") : words.value(state.toUpper(), state);
}

void addRow(QTreeWidget* tree, const RowPreview& row, bool deleteDatabases) {
    auto* top = new QTreeWidgetItem(tree, {row.label});
    top->setFirstColumnSpanned(true);
    if (!row.refusal.isEmpty()) {
        item(top, {S("不会删除：") + row.refusal});
        top->setExpanded(true);
        return;
    }
    if (deleteDatabases) {
        auto* dbs = item(top, {S("删除数据库（%1 个）").arg(row.databases.size())});
        for (const DatabaseEffect& db : row.databases) {
            const QString others =
                db.otherConnections < 0 ? S("未知") : S("%1 个").arg(db.otherConnections);
            item(dbs,
                 {db.name, stateText(db.state), sizeText(db.dataKb), sizeText(db.logKb), others});
        }
        dbs->setExpanded(true);
    }
    if (!row.catalogue.isEmpty()) {
        auto* rows = item(top, {S("系统管理中的记录")});
        for (const CatalogueEffect& c : row.catalogue)
            item(rows, {c.table, c.rows < 0 ? S("未知") : S("%1 行").arg(c.rows)});
        rows->setExpanded(true);
    }
    if (!row.folders.isEmpty()) {
        auto* folders = item(top, {S("清空后删除的文件夹")});
        for (const QString& f : row.folders)
            item(folders, {f});
        folders->setExpanded(true);
    }
    top->setExpanded(true);
}

} // namespace

QString sizeText(qint64 kb) {
    if (kb < 0)
        return S("未知");
    if (kb >= 1024 * 1024)
        return QString::number(kb / (1024.0 * 1024.0), 'f', 1) + S(" GB");
    return QString::number(kb / 1024.0, 'f', 1) + S(" MB");
}

frmPreview::frmPreview(const RunPreview& preview, QString script, bool beforeQuestion,
                       QWidget* parent)
    : QDialog(parent), m_scriptText(std::move(script)) {
    setObjectName(S("frmPreview"));
    setWindowTitle(S("删除预览"));
    setWindowModality(Qt::ApplicationModal);
    resize(860, 620);

    auto* layout = new QVBoxLayout(this);
    QString head = preview.deleteDatabases
                       ? S("确认后将删除以下数据库及其在系统管理中的记录：")
                       : S("确认后将删除以下项目在系统管理中的记录（不删除数据库）：");
    if (preview.stopsTaskService)
        head += S("\n删除期间将停止 %1 服务，完成后再启动。").arg(kTaskServiceName);
    auto* lead = new QLabel(head, this);
    lead->setTextFormat(Qt::PlainText);
    layout->addWidget(lead);

    auto* split = new QSplitter(Qt::Vertical, this);
    m_effects = new QTreeWidget(split);
    m_effects->setObjectName(S("trvEffects"));
    m_effects->setHeaderLabels(
        {S("项目"), S("状态 / 行数"), S("数据大小"), S("日志大小"), S("其他连接")});
    m_effects->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    for (const RowPreview& row : preview.rows)
        addRow(m_effects, row, preview.deleteDatabases);
    m_script = new QPlainTextEdit(split);
    m_script->setObjectName(S("txtScript"));
    m_script->setReadOnly(true);
    m_script->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_script->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_script->setPlainText(m_scriptText);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    layout->addWidget(split);

    auto* buttons = new QDialogButtonBox(this);
    auto* save = buttons->addButton(S("生成脚本"), QDialogButtonBox::ActionRole);
    save->setObjectName(S("cmdScript"));
    connect(save, &QPushButton::clicked, this, &frmPreview::cmdScript_Click);
    if (beforeQuestion) {
        auto* go = buttons->addButton(S("继续删除"), QDialogButtonBox::AcceptRole);
        go->setObjectName(S("cmdContinue"));
        buttons->addButton(S("取消"), QDialogButtonBox::RejectRole)->setObjectName(S("cmdCancel"));
    } else {
        buttons->addButton(S("关闭"), QDialogButtonBox::RejectRole)->setObjectName(S("cmdClose"));
    }
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    // Enter alone never goes on to the deletion: the operator chooses a button.
    for (QAbstractButton* b : buttons->buttons())
        static_cast<QPushButton*>(b)->setAutoDefault(false);

    askScriptPath = [this] {
        return QFileDialog::getSaveFileName(this, S("生成脚本"), S("删除脚本.sql"),
                                            S("SQL 脚本 (*.sql)"));
    };
}

bool frmPreview::ask() {
    if (answer)
        return answer(*this);
    return exec() == QDialog::Accepted;
}

QString frmPreview::scriptText() const {
    return m_scriptText;
}

void frmPreview::cmdScript_Click() {
    const QString path = askScriptPath();
    if (path.isEmpty())
        return;
    const Outcome saved = SaveScript(path, scriptText());
    state().msg().ShowMsg(saved ? MsgKind::Notice : MsgKind::Error,
                          saved ? S("脚本已保存到“%1”。").arg(path) : saved.text());
}

} // namespace quenlor
