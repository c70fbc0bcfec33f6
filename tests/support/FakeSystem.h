#pragma once

#include "platform/System.h"

#include <QString>
#include <QStringList>

namespace quenlor::test {

// Records what would reach the operator's desktop and the end of the process.
class FakeSystem final : public System {
public:
    QString name = QStringLiteral("TESTPC");
    QString folder;
    bool anotherCopyRunning = false;
    QStringList openedUrls;
    QStringList messageBoxes; // "<title>|<text>"
    int endCalls = 0;
    int lastExitCode = -1;

    QString computerName() override { return name; }
    QString programFolder() override { return folder; }
    bool acquireSingleInstance() override { return !anotherCopyRunning; }
    bool openUrl(const QString& url) override {
        openedUrls.append(url);
        return true;
    }
    void messageBox(const QString& title, const QString& text) override {
        messageBoxes.append(title + QLatin1Char('|') + text);
    }
    void endProcess(int exitCode) override {
        ++endCalls;
        lastExitCode = exitCode;
    }
};

} // namespace quenlor::test
