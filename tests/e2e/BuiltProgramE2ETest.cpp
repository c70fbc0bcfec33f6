// The built program itself, started as its own process against the simulated server, with the
// operator played from inside (the test copy of the program, quenlor-scripted): the Linux program,
// and the Windows program from its install folder under Wine with a virtual display, reaching the
// server through Wine's ODBC and FreeTDS registered under a SQL Server driver name.

#include "e2e/ProgramOnServer.h"

#include <QDirIterator>
#include <QProcess>

namespace quenlor {
namespace {

#if defined(QUENLOR_WINDOWS_INSTALL_DIR) && defined(QUENLOR_WINDOWS_SCRIPTED_PROGRAM)
constexpr bool kWindowsBuilt = true;
#else
constexpr bool kWindowsBuilt = false;
#define QUENLOR_WINDOWS_INSTALL_DIR ""
#define QUENLOR_WINDOWS_SCRIPTED_PROGRAM ""
#endif

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size())
        << path.toStdString();
}

// Copies a build of the program into the folder; the command that starts it, empty when it
// cannot. Wine shows this machine's files as drive Z:.
QStringList install(bool wine, const QString& folder) {
    if (!wine) {
        const QString program = QDir(folder).filePath("quenlor-scripted");
        return QFile::copy(QUENLOR_SCRIPTED_PROGRAM, program) ? QStringList{program}
                                                              : QStringList();
    }
    const QString from = QUENLOR_WINDOWS_INSTALL_DIR;
    for (QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        const QString file = it.next(), target = folder + file.mid(from.size());
        if (!QDir().mkpath(QFileInfo(target).path()) || !QFile::copy(file, target))
            return {};
    }
    const QString program = QDir(folder).filePath("quenlor-scripted.exe");
    if (!QFile::copy(QUENLOR_WINDOWS_SCRIPTED_PROGRAM, program))
        return {};
    QStringList command{"xvfb-run", "-a", "-s", "-screen 0 1280x1024x24", "wine", "Z:" + program};
#ifdef QUENLOR_WINDOWS_SCREENSHOT
    // The main window as Windows draws it, for the README.
    command << "--operator-screenshot=Z:" QUENLOR_WINDOWS_SCREENSHOT;
#endif
    return command;
}

QProcessEnvironment environment(bool wine, const QString& scratch) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!wine) {
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("TMPDIR", scratch); // a single-instance lock of its own
        return env;
    }
    // Microsoft's driver is what the program looks for on Windows; FreeTDS stands in for it,
    // with the settings the Linux program gives it in its connection string.
    QDir().mkpath(scratch + "/odbc");
    writeFile(scratch + "/odbc/odbcinst.ini",
              "[ODBC Driver 18 for SQL Server]\nDriver=" QUENLOR_FREETDS_DRIVER "\n");
    writeFile(scratch + "/freetds.conf", "[global]\ntds version = 7.4\nclient charset = UTF-8\n");
    env.insert("ODBCSYSINI", scratch + "/odbc");
    env.insert("FREETDSCONF", scratch + "/freetds.conf");
    env.insert("WINEDEBUG", "-all");
    env.insert("WINEDLLOVERRIDES", "mscoree,mshtml=;winedbg.exe=d");
    env.remove("QT_QPA_PLATFORM");
    env.remove("DISPLAY");
    return env;
}

class BuiltProgramE2E : public test::ProgramOnServer, public ::testing::WithParamInterface<bool> {};

TEST_P(BuiltProgramE2E, OperatorDeletesOneAccountSetAndNothingElse) {
    const bool wine = GetParam();
    serve("realistic", wine ? sim::ReportedPaths::WineDriveZ : sim::ReportedPaths::Native);
    QStringList left = sim().engine().databaseNames();
    for (const char* name : {"UFDATA_002_2020", "UFDATA_002_2021", "UFMeta_002"})
        ASSERT_TRUE(left.removeOne(name)) << name;
    ASSERT_TRUE(QDir(sim().dataPath("U8SOFT/ZT002")).exists());
    const test::Tables expected = catalogueWithoutAccountSet("002");

    QTemporaryDir scratch;
    const QString folder = scratch.filePath("Quenlor");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QStringList command = install(wine, folder);
    ASSERT_FALSE(command.isEmpty())
        << "the program could not be put into its folder; the Windows one is built and installed "
           "by test.sh (presets win32host and windows-mingw) before this suite";
    writeFile(QDir(folder).filePath("Config.ini"),
              QStringLiteral("[Login]\r\nServer=%1\r\nSa=%2\r\nPwd=%3\r\n")
                  .arg(sim().address(), sim().user(), sim().password())
                  .toUtf8());

    QProcess program;
    program.setProcessEnvironment(environment(wine, scratch.path()));
    program.setWorkingDirectory(scratch.path());
    program.setProcessChannelMode(QProcess::MergedChannels);
    const QString log = scratch.filePath("op.log");
    program.start(command.first(), command.mid(1) << "--operator-account=002"
                                                  << "--operator-log=" + (wine ? "Z:" + log : log));
    ASSERT_TRUE(program.waitForStarted(10000)) << command.join(u' ').toStdString();
    const bool ended = program.waitForFinished(300000); // else killed as it goes out of scope
    QFile logFile(log);
    const QString told = logFile.open(QIODevice::ReadOnly) ? logFile.readAll() : "(no log)";
    const std::string context = "operator's log:\n" + told.toStdString() + "program's output:\n" +
                                QString::fromLocal8Bit(program.readAll()).right(4000).toStdString();
    ASSERT_TRUE(ended) << context;
    EXPECT_TRUE(program.exitStatus() == QProcess::NormalExit && program.exitCode() == 0) << context;
    EXPECT_TRUE(told.contains("login: server " + sim().address())) << context;
    EXPECT_TRUE(told.contains("preview: 删除预览")) << context;
    EXPECT_TRUE(told.contains("question: " + test::kQuestion)) << context;
    EXPECT_TRUE(told.contains("result: " + test::kDone)) << context;

    // Exactly that account set is gone: its databases, its folder, its catalogue rows.
    EXPECT_EQ(sim().engine().databaseNames(), left);
    EXPECT_FALSE(QDir(sim().dataPath("U8SOFT/ZT002")).exists());
    expectCatalogue("UFSystem", expected);
}

// The Linux program, and the Windows one when it was built.
const bool kUnderWine[] = {false, true};
INSTANTIATE_TEST_SUITE_P(Builds, BuiltProgramE2E,
                         ::testing::ValuesIn(kUnderWine, kUnderWine + (kWindowsBuilt ? 2 : 1)),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "windows_under_wine" : "linux");
                         });

} // namespace
} // namespace quenlor
