#include "core/app/ProgramState.h"
#include "core/startup/Startup.h"
#include "ui/DesktopSystem.h"
#include "ui/QtWindowFactory.h"
#ifdef Q_OS_WIN
#include "platform/WindowsPlatform.h"
#endif
#ifdef QUENLOR_SCRIPTED_OPERATOR
#include "ui/ScriptedOperator.h"
#endif

#include <QApplication>
#include <QtGlobal>

#include <cstdio>
#include <memory>

namespace {

#if !defined(Q_OS_WIN) && !defined(Q_OS_MACOS)
// Without a display Qt aborts with a message about plugins; say plainly what is missing instead.
bool displayAvailable() {
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
           !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}
#endif

} // namespace

int main(int argc, char** argv) {
#if !defined(Q_OS_WIN) && !defined(Q_OS_MACOS)
    if (!displayAvailable()) {
        std::fputs("Quenlor 需要图形显示：未设置 DISPLAY 或 WAYLAND_DISPLAY 环境变量"
                   "（无界面检查可设置 QT_QPA_PLATFORM=offscreen）\n",
                   stderr);
        return 1;
    }
#endif

    QApplication app(argc, argv);
    QApplication::setApplicationName(quenlor::kProgramTitle);

    quenlor::ProgramState& st = quenlor::state();
    st.system = std::make_unique<quenlor::DesktopSystem>();
    st.windows = std::make_unique<quenlor::QtWindowFactory>();
#ifdef Q_OS_WIN
    // The real service manager, registry, profile API and the ERP's components through the
    // 32-bit host beside the program.
    st.services = std::make_unique<quenlor::WindowsServices>();
    st.registry = std::make_unique<quenlor::WindowsRegistry>();
    st.profile = std::make_unique<quenlor::WindowsProfile>();
    st.automation = quenlor::makeWindowsAutomation(st.system->programFolder());
#endif

#ifdef QUENLOR_SCRIPTED_OPERATOR
    // The test copy of the program: an operator played from inside, see ScriptedOperator.
    quenlor::ScriptedOperator::Script script;
    if (!quenlor::ScriptedOperator::fromArguments(QApplication::arguments(), script)) {
        std::fputs("usage: quenlor-scripted --operator-account=NNN --operator-log=FILE "
                   "[--operator-screenshot=FILE]\n",
                   stderr);
        return 2;
    }
    quenlor::ScriptedOperator scripted(script);
    scripted.start();
#endif

    quenlor::Main();
    int exitCode = QApplication::exec();
#ifdef QUENLOR_SCRIPTED_OPERATOR
    if (exitCode == 0)
        exitCode = scripted.exitStatus();
#endif

    // The windows must go while the application object still exists.
    quenlor::state().releaseWindows();
    return exitCode;
}
