// The built program itself, started as its own process against the simulated server, with the
// operator played from inside (the test copy of the program, quenlor-scripted): the Linux program,
// and the Windows program from its install folder under Wine with a virtual display, reaching the
// server through Wine's ODBC and FreeTDS registered under a SQL Server driver name.

#include "e2e/ProgramOnServer.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

namespace quenlor {
namespace {

using test::kDone;
using test::kQuestion;

const QString kAccount = QStringLiteral("002");

// How one build of the program is put into a folder of its own and started there.
struct BuiltProgram {
    const char* name;
    sim::ReportedPaths paths; // how the server names its files to this program
    // Copies the program into the folder and gives the command line that starts it.
    std::function<QStringList(const QString& folder, const QString& scratch)> install;
    std::function<QProcessEnvironment(const QString& scratch)> environment;
};

bool copyTree(const QString& from, const QString& to) {
    QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        const QString target = QDir(to).filePath(QDir(from).relativeFilePath(file));
        if (!QDir().mkpath(QFileInfo(target).path()) || !QFile::copy(file, target))
            return false;
    }
    return true;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// The operator's script; programPath turns a path of this machine into one the program reads.
QStringList operatorArguments(const QString& scratch,
                              const std::function<QString(const QString&)>& programPath) {
    return {QStringLiteral("--operator-account=") + kAccount,
            QStringLiteral("--operator-log=") +
                programPath(QDir(scratch).filePath(QStringLiteral("operator.log")))};
}

QString asIs(const QString& path) {
    return path;
}

// Wine shows the build machine's files as drive Z:.
QString onDriveZ(const QString& path) {
    return QStringLiteral("Z:") + path;
}

std::vector<BuiltProgram> builtPrograms() {
    std::vector<BuiltProgram> programs;
    programs.push_back(
        {"linux", sim::ReportedPaths::Native,
         [](const QString& folder, const QString& scratch) {
             const QString program = QDir(folder).filePath(QStringLiteral("quenlor-scripted"));
             if (!QFile::copy(QStringLiteral(QUENLOR_SCRIPTED_PROGRAM), program))
                 return QStringList();
             return QStringList{program} + operatorArguments(scratch, asIs);
         },
         [](const QString& scratch) {
             QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
             env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
             // The single-instance lock of its own, whatever else runs on this machine.
             env.insert(QStringLiteral("TMPDIR"), scratch);
             return env;
         }});
#if defined(QUENLOR_WINDOWS_INSTALL_DIR) && defined(QUENLOR_WINDOWS_SCRIPTED_PROGRAM)
    programs.push_back(
        {"windows_under_wine", sim::ReportedPaths::WineDriveZ,
         [](const QString& folder, const QString& scratch) {
             if (!copyTree(QStringLiteral(QUENLOR_WINDOWS_INSTALL_DIR), folder) ||
                 !QFile::copy(QStringLiteral(QUENLOR_WINDOWS_SCRIPTED_PROGRAM),
                              QDir(folder).filePath(QStringLiteral("quenlor-scripted.exe"))))
                 return QStringList();
             const QString program = QDir(folder).filePath(QStringLiteral("quenlor-scripted.exe"));
             QStringList command{
                 QStringLiteral("xvfb-run"), QStringLiteral("-a"),
                 QStringLiteral("-s"),       QStringLiteral("-screen 0 1280x1024x24"),
                 QStringLiteral("wine"),     onDriveZ(program)};
             command << operatorArguments(scratch, onDriveZ);
#ifdef QUENLOR_WINDOWS_SCREENSHOT
             // The main window as Windows draws it, for the README.
             command << QStringLiteral("--operator-screenshot=") +
                            onDriveZ(QStringLiteral(QUENLOR_WINDOWS_SCREENSHOT));
#endif
             return command;
         },
         [](const QString& scratch) {
             // Microsoft's driver is what the program looks for on Windows; FreeTDS stands in
             // for it, with the settings the Linux program gives it in its connection string.
             const QString odbc = QDir(scratch).filePath(QStringLiteral("odbc"));
             QDir().mkpath(odbc);
             writeFile(QDir(odbc).filePath(QStringLiteral("odbcinst.ini")),
                       "[ODBC Driver 18 for SQL Server]\nDriver=" QUENLOR_FREETDS_DRIVER "\n");
             writeFile(QDir(scratch).filePath(QStringLiteral("freetds.conf")),
                       "[global]\ntds version = 7.4\nclient charset = UTF-8\n");
             QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
             env.insert(QStringLiteral("ODBCSYSINI"), odbc);
             env.insert(QStringLiteral("FREETDSCONF"),
                        QDir(scratch).filePath(QStringLiteral("freetds.conf")));
             env.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
             env.insert(QStringLiteral("WINEDLLOVERRIDES"),
                        QStringLiteral("mscoree,mshtml=;winedbg.exe=d"));
             env.remove(QStringLiteral("QT_QPA_PLATFORM"));
             env.remove(QStringLiteral("DISPLAY"));
             return env;
         }});
#endif
    return programs;
}

void PrintTo(const BuiltProgram& program, std::ostream* out) {
    *out << program.name;
}

class BuiltProgramE2E : public test::ProgramOnServer,
                        public ::testing::WithParamInterface<BuiltProgram> {};

TEST_P(BuiltProgramE2E, OperatorDeletesOneAccountSetAndNothingElse) {
    serve(QStringLiteral("realistic"), 30, GetParam().paths);
    const QStringList databasesBefore = engine().databaseNames();
    // The account set's years and its metadata database.
    QStringList accountDatabases;
    for (const QString& name : databasesBefore) {
        if (name.startsWith(QStringLiteral("UFDATA_") + kAccount + u'_') ||
            name == QStringLiteral("UFMeta_") + kAccount)
            accountDatabases << name;
    }
    ASSERT_FALSE(accountDatabases.isEmpty());
    ASSERT_TRUE(QDir(dataPath(QStringLiteral("U8SOFT/ZT") + kAccount)).exists());
    const QMap<QString, QStringList> expected = catalogueWithoutAccountSet(kAccount);

    QTemporaryDir scratch;
    const QString folder = QDir(scratch.path()).filePath(QStringLiteral("Quenlor"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QStringList command = GetParam().install(folder, scratch.path());
    ASSERT_FALSE(command.isEmpty())
        << "the program could not be put into its folder; the Windows one is built and installed "
           "by test.sh (presets win32host and windows-mingw) before this suite";
    writeFile(QDir(folder).filePath(QStringLiteral("Config.ini")),
              QStringLiteral("[Login]\r\nServer=%1\r\nSa=%2\r\nPwd=%3\r\n")
                  .arg(sim().address(), sim().user(), sim().password())
                  .toUtf8());

    QProcess program;
    program.setProcessEnvironment(GetParam().environment(scratch.path()));
    program.setWorkingDirectory(scratch.path());
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(command.first(), command.mid(1));
    ASSERT_TRUE(program.waitForStarted(10000)) << command.join(u' ').toStdString();
    const bool ended = program.waitForFinished(300000);
    if (!ended)
        program.kill();
    QFile logFile(QDir(scratch.path()).filePath(QStringLiteral("operator.log")));
    const QString log = logFile.open(QIODevice::ReadOnly) ? QString::fromUtf8(logFile.readAll())
                                                          : QStringLiteral("(no log)");
    const std::string context = "operator's log:\n" + log.toStdString() + "program's output:\n" +
                                QString::fromLocal8Bit(program.readAll()).right(4000).toStdString();
    ASSERT_TRUE(ended) << context;
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << context;
    EXPECT_EQ(program.exitCode(), 0) << context;
    EXPECT_TRUE(log.contains(QStringLiteral("login: server ") + sim().address())) << context;
    EXPECT_TRUE(log.contains(QStringLiteral("question: ") + kQuestion)) << context;
    EXPECT_TRUE(log.contains(QStringLiteral("result: ") + kDone)) << context;

    // Exactly that account set is gone: its databases, its folder, its catalogue rows.
    QStringList left = databasesBefore;
    for (const QString& name : std::as_const(accountDatabases))
        left.removeAll(name);
    EXPECT_EQ(engine().databaseNames(), left);
    EXPECT_FALSE(QDir(dataPath(QStringLiteral("U8SOFT/ZT") + kAccount)).exists());
    expectCatalogue(QStringLiteral("UFSystem"), expected);
}

INSTANTIATE_TEST_SUITE_P(Builds, BuiltProgramE2E, ::testing::ValuesIn(builtPrograms()),
                         [](const ::testing::TestParamInfo<BuiltProgram>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
} // namespace quenlor
