// The portable profile reader against the system's own GetPrivateProfileStringA, run under Wine
// with a Chinese ANSI code page: the same files and questions must give the same texts. Every
// difference is a fault of the portable reader.
#include "platform/PortableProfile.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>

namespace quenlor {
namespace {

#ifdef QUENLOR_PROFILE_PROBE
constexpr const char* kProbe = QUENLOR_PROFILE_PROBE;
#else
constexpr const char* kProbe = nullptr;
#endif

QByteArray gbk(const QString& s) {
    QStringEncoder e("GBK");
    return e.encode(s);
}

// How the program on Windows reads the bytes the system call returns (UTF-8 when they are valid
// UTF-8 beyond ASCII, else the ANSI code page).
QString asWindowsReadsIt(const QByteArray& raw) {
    bool beyondAscii = false;
    for (char c : raw)
        beyondAscii = beyondAscii || static_cast<unsigned char>(c) >= 0x80;
    if (beyondAscii) {
        QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        const QString s = utf8.decode(raw);
        if (!utf8.hasError())
            return s;
    }
    QStringDecoder ansi("GBK");
    return ansi.decode(raw);
}

struct Question {
    QString section;
    QString key;
    QString defaultValue;
    int size = 255;
};

struct Case {
    const char* name;
    QByteArray file; // empty: no file at all
    QList<Question> questions;
};

QList<Case> corpus() {
    const QString longChinese(200, QChar(0x8D26)); // 账
    return {
        {"names ignore case",
         "[Login]\r\nServer=db01\r\nSa=admin\r\n",
         {{"Login", "Server", "x"},
          {"LOGIN", "server", "x"},
          {"login", "SA", "x"},
          {"Login", "Pwd", "dflt"},
          {"Other", "Server", "dflt"}}},
        {"quotes",
         "[s]\r\na=\"x y\"\r\nb='y'\r\nc=\"unbalanced\r\nd=\"\"inner\"\"\r\ne=\"mixed'\r\n"
         "f=\"\r\ng=\"\"\r\nh=  \"  spaced  \"  \r\n",
         {{"s", "a", "?"},
          {"s", "b", "?"},
          {"s", "c", "?"},
          {"s", "d", "?"},
          {"s", "e", "?"},
          {"s", "f", "?"},
          {"s", "g", "?"},
          {"s", "h", "?"}}},
        {"comments",
         "[Login]\r\n;Server=commented\r\n  ; Sa=also\r\nPwd=x ; not a comment\r\n",
         {{"Login", "Server", "d1"}, {"Login", "Sa", "d2"}, {"Login", "Pwd", "d3"}}},
        {"blanks",
         "  [ Login ]  \r\n  Server   =   value with spaces  \t\r\nSa=\r\nPwd\r\n",
         {{"Login", "Server", "?"}, {"Login", "Sa", "?"}, {"Login", "Pwd", "?"}}},
        {"comment marker is no concern of the profile",
         "[Login]\r\nServer=10.0.0.15//x\r\n",
         {{"Login", "Server", "?"}}},
        {"long ascii value",
         "[s]\r\nk=" + QByteArray(300, 'x') + "\r\n",
         {{"s", "k", "?"}, {"s", "k", "?", 10}}},
        {"gbk file",
         gbk(QStringLiteral("[登录]\r\nServer=财务服务器\r\n长值=") + longChinese +
             QStringLiteral("\r\n")),
         {{QStringLiteral("登录"), "Server", "?"},
          {QStringLiteral("登录"), QStringLiteral("长值"), "?"}}},
        {"utf-8 with byte order mark",
         "\xEF\xBB\xBF[Login]\r\nServer=" + QStringLiteral("宽字符").toUtf8() + "\r\n",
         {{"Login", "Server", "?"}}},
        {"utf-8 without byte order mark",
         "[Login]\r\nServer=" + QStringLiteral("财务").toUtf8() + "\r\n",
         {{"Login", "Server", "?"}}},
        {"missing file",
         QByteArray(),
         {{"Login", "Server", "127.0.0.1"}, {"Login", "Pwd", "dflt  "}}},
        {"section twice",
         "[Login]\r\nServer=one\r\n[Other]\r\nx=1\r\n[Login]\r\nServer=two\r\nPwd=p\r\n",
         {{"Login", "Server", "?"}, {"Login", "Pwd", "?"}}},
        {"key twice", "[Login]\r\nServer=one\r\nServer=two\r\n", {{"Login", "Server", "?"}}},
        {"a double-byte character across the cut",
         "[s]\r\nk=" + QByteArray(253, 'a') + gbk(QStringLiteral("中文")) + "\r\n",
         {{"s", "k", "?"}}},
        {"lf line ends",
         "[Login]\nServer=lf\nSa=sa\n",
         {{"Login", "Server", "?"}, {"Login", "Sa", "?"}}},
    };
}

TEST(ProfileDifferential, PortableReaderMatchesTheSystemsProfileCall) {
    if (!kProbe || !QFileInfo::exists(QString::fromUtf8(kProbe)))
        GTEST_SKIP() << "the Windows layer was not built before this suite (./test.sh builds it)";
    QTemporaryDir dir;
    QByteArray requests;
    struct Expectation {
        std::string label;
        QString portable;
    };
    QList<Expectation> expected;
    int n = 0;
    for (const Case& c : corpus()) {
        const QString path = dir.filePath(QStringLiteral("case%1.ini").arg(n++));
        if (!c.file.isEmpty()) {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(c.file);
        }
        const QString winPath =
            QStringLiteral("Z:") + QString(path).replace(QLatin1Char('/'), QLatin1Char('\\'));
        for (const Question& q : c.questions) {
            requests += gbk(winPath).toHex() + '\t' + gbk(q.section).toHex() + '\t' +
                        gbk(q.key).toHex() + '\t' + gbk(q.defaultValue).toHex() + '\t' +
                        QByteArray::number(q.size) + '\n';
            PortableProfile portable;
            expected.append(
                {std::string(c.name) + ": [" + q.section.toStdString() + "] " + q.key.toStdString(),
                 portable.readString(q.section, q.key, q.defaultValue, path, q.size)});
        }
    }

    QProcess wine;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
    env.insert(QStringLiteral("WINEDLLOVERRIDES"), QStringLiteral("mscoree,mshtml=;winedbg.exe=d"));
    // A Chinese Windows: ANSI code page 936.
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("zh_CN.UTF-8"));
    env.remove(QStringLiteral("DISPLAY"));
    wine.setProcessEnvironment(env);
    wine.start(QStringLiteral("wine"), {QString::fromUtf8(kProbe)});
    ASSERT_TRUE(wine.waitForStarted(60000));
    wine.write(requests);
    wine.closeWriteChannel();
    ASSERT_TRUE(wine.waitForFinished(120000));
    const QList<QByteArray> answers = wine.readAllStandardOutput().split('\n');
    ASSERT_GE(answers.size(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i) {
        const QString system = asWindowsReadsIt(QByteArray::fromHex(answers.at(i).trimmed()));
        EXPECT_EQ(expected.at(i).portable, system) << expected.at(i).label;
    }
}

} // namespace
} // namespace quenlor
