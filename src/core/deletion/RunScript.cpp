#include "core/deletion/RunScript.h"

#include "core/deletion/ServiceControl.h"

#include <QSaveFile>

namespace quenlor {

namespace {

QString S(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// A comment holds one line: a name with a line break in it must not end the comment early.
QString comment(QString text) {
    text.replace(u'\r', u' ').replace(u'\n', u' ');
    return S("-- ") + text;
}

} // namespace

QString RunScript(const RunPreview& preview, const QString& server) {
    QStringList lines;
    lines << comment(S("删除脚本（由删除预览生成，尚未执行）：服务器 ") + server);
    if (preview.stopsTaskService)
        lines << comment(S("运行前须停止 %1 服务，运行后再启动").arg(kTaskServiceName));
    for (const RowPreview& row : preview.rows) {
        lines << QString();
        if (!row.refusal.isEmpty()) {
            lines << comment(row.label + S("：不会删除（") + row.refusal + S("）"));
            continue;
        }
        lines << comment(row.label);
        for (const QString& statement : row.statements) {
            QString batch = statement;
            batch.replace(S("\r\n"), S("\n")).replace(u'\n', S("\r\n"));
            lines << batch << S("GO");
        }
    }
    return lines.join(S("\r\n")) + S("\r\n");
}

Outcome SaveScript(const QString& path, const QString& script) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Outcome::failed(S("无法写入文件“%1”：%2").arg(path, file.errorString()));
    file.write("\xEF\xBB\xBF");
    file.write(script.toUtf8());
    if (!file.commit())
        return Outcome::failed(S("无法写入文件“%1”：%2").arg(path, file.errorString()));
    return Outcome::done();
}

} // namespace quenlor
