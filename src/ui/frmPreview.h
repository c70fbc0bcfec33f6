#pragma once

#include "core/deletion/RunPreview.h"

#include <QDialog>

#include <functional>

class QPlainTextEdit;
class QTreeWidget;

namespace quenlor {

// "删除预览": what a run of the ticked rows would do, as its dry run found it (databases with
// their state, sizes and other connections; catalogue rows per table; folders; the task
// service) and the script of its statements, selectable and copyable, which 生成脚本 saves.
// Before the confirmation question it offers 继续删除 and 取消; opened on its own only 关闭.
class frmPreview final : public QDialog {
    Q_OBJECT
public:
    frmPreview(const RunPreview& preview, QString script, bool beforeQuestion,
               QWidget* parent = nullptr);

    // Where 生成脚本 saves: asks the operator by default; empty means cancelled. Tests preset it.
    std::function<QString()> askScriptPath;

    // Shows the preview modally; true when the operator goes on to the question. A test's
    // `answer` stands for the operator and is called instead of showing the window.
    bool ask();
    static inline std::function<bool(frmPreview&)> answer;

    [[nodiscard]] QString scriptText() const;
    [[nodiscard]] QTreeWidget* effects() const { return m_effects; }
    // 生成脚本: asks where, writes the file, says what became of it.
    void cmdScript_Click();

private:
    QTreeWidget* m_effects = nullptr;
    QPlainTextEdit* m_script = nullptr;
    QString m_scriptText; // as saved: the box shows it with its own line ends
};

// How the preview shows a size in kilobytes: "12.5 MB", "3.0 GB"; "未知" when unknown.
[[nodiscard]] QString sizeText(qint64 kb);

} // namespace quenlor
