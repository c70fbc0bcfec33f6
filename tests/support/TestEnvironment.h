#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace quenlor::test {

// The suites run headless and in UTF-8 however they are started (ctest, test discovery during the
// build, a developer's shell): Chinese text is garbled without a UTF-8 locale, and without a
// display Qt's default platform aborts.
inline void prepareTestEnvironment() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const QByteArray lang = qgetenv("LANG");
    if (!lang.contains("UTF-8") && !lang.contains("utf8"))
        qputenv("LANG", "C.UTF-8");
    const QByteArray all = qgetenv("LC_ALL");
    if (!all.isEmpty() && !all.contains("UTF-8") && !all.contains("utf8"))
        qputenv("LC_ALL", "C.UTF-8");
}

} // namespace quenlor::test
