#include "ui/DesktopSystem.h"

#include <QAbstractButton>
#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>

namespace quenlor {

bool DesktopSystem::openUrl(const QString& url) {
    return QDesktopServices::openUrl(QUrl(url));
}

void DesktopSystem::messageBox(const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok);
    box.setObjectName(QStringLiteral("systemMessageBox"));
    // The text often carries a driver's message; never let it be read as markup.
    box.setTextFormat(Qt::PlainText);
    // The rest of the program speaks Chinese; so does the button (Qt's own says "OK").
    box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    box.exec();
}

} // namespace quenlor
