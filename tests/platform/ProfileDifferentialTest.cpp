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

using namespace Qt::StringLiterals;

namespace quenlor {
namespace {

QByteArray gbk(const QString& s) {
    return QStringEncoder("GBK").encode(s);
}

// How the program on Windows reads the bytes the system call returns: UTF-8 when they are valid
// UTF-8, else the ANSI code page.
QString asWindowsReadsIt(const QByteArray& raw) {
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString s = utf8.decode(raw);
    return utf8.hasError() ? QStringDecoder("GBK").decode(raw) : s;
}

struct Case {
    const char* name;
    QByteArray file; // empty: no file at all
    // "section/key[/default[/buffer size]]", ";" between them; the default is "?", the size 255
    const char* questions;
};

QList<Case> corpus() {
    const QByteArray longChinese = gbk(QString(200, QChar(0x8D26))); // 账
    return {
        {"names ignore case", "[Login]\r\nServer=db01\nSa=admin\n",
         "Login/Server;LOGIN/server;login/SA;Login/Pwd/dflt;Other/Server"},
        {"quotes",
         "[s]\r\na=\"x y\"\r\nb='y'\r\nc=\"unbalanced\r\nd=\"\"inner\"\"\r\ne=\"mixed'\r\n"
         "f=\"\r\ng=\"\"\r\nh=  \"  spaced  \"  \r\n",
         "s/a;s/b;s/c;s/d;s/e;s/f;s/g;s/h"},
        {"comments and blanks",
         "  [ Login ]  \r\n;Server=x\r\n  ; Sa=also\r\nPwd=x ; not a comment\r\n"
         "  Db   =   value with spaces  \t\r\nEmpty=\r\nBare\r\nIp=10.0.0.15//x\r\n",
         "Login/Server;Login/Sa;Login/Pwd;Login/Db;Login/Empty;Login/Bare;Login/Ip"},
        {"long values", "[s]\r\nk=" + QByteArray(300, 'x') + "\r\ncn=" + longChinese + "\r\n",
         "s/k;s/k/?/10;s/cn"},
        {"gbk file", gbk(u"[登录]\r\nServer=财务服务器\r\n"_s), "登录/Server"},
        {"utf-8 with byte order mark", "\xEF\xBB\xBF[Login]\r\nServer=宽字符\r\n", "Login/Server"},
        {"utf-8 without", "[Login]\r\nServer=财务", "Login/Server"},
        {"missing file", QByteArray(), "Login/Server/127.0.0.1;Login/Pwd/dflt  "},
        {"section and key twice",
         "[Login]\r\nServer=one\r\nServer=two\r\n[Other]\r\nx=1\r\n[Login]\r\nPwd=p\r\n",
         "Login/Server;Login/Pwd"},
        {"a double-byte character across the cut",
         "[s]\r\nk=" + QByteArray(253, 'a') + gbk(u"中文"_s) + "\r\n", "s/k"}};
}

TEST(ProfileDifferential, PortableReaderMatchesTheSystemsProfileCall) {
    const QString probe = QStringLiteral(QUENLOR_PROFILE_PROBE);
    if (!QFileInfo::exists(probe))
        GTEST_SKIP() << "the Windows layer was not built before this suite (./test.sh builds it)";
    QTemporaryDir dir;
    QStringList arguments{probe};
    QList<std::pair<std::string, QString>> expected; // what is asked, what the portable reader says
    for (const Case& c : corpus()) {
        const QString path = dir.filePath(QString::fromUtf8(c.name) + u".ini"_s);
        QFile f(path);
        ASSERT_TRUE(c.file.isEmpty() || (f.open(QIODevice::WriteOnly) && f.write(c.file) > 0));
        f.close();
        const QString winPath = u"Z:"_s + QString(path).replace(u'/', u'\\');
        for (const QString& q : QString::fromUtf8(c.questions).split(u';')) {
            const QStringList part = q.split(u'/');
            const QString def = part.value(2, u"?"_s);
            const int size = part.value(3, u"255"_s).toInt();
            // Every field as hex after an "x", so that none is empty.
            for (const QString& field : {winPath, part[0], part[1], def})
                arguments << u"x"_s + QString::fromLatin1(gbk(field).toHex());
            arguments << QString::number(size);
            expected.append({std::string(c.name) + ": " + q.toStdString(),
                             PortableProfile().readString(part[0], part[1], def, path, size)});
        }
    }

    qputenv("WINEDEBUG", "-all");
    qputenv("WINEDLLOVERRIDES", "mscoree,mshtml=;winedbg.exe=d");
    qputenv("LC_ALL", "zh_CN.UTF-8"); // for Wine: ANSI code page 936
    qunsetenv("DISPLAY");
    QProcess wine;
    wine.start(u"wine"_s, arguments);
    ASSERT_TRUE(wine.waitForFinished(120000));
    const QList<QByteArray> answers = wine.readAllStandardOutput().split('\n');
    ASSERT_GE(answers.size(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(expected[i].second, asWindowsReadsIt(QByteArray::fromHex(answers[i].trimmed())))
            << expected[i].first;
    }
}

} // namespace
} // namespace quenlor
