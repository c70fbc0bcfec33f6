#include "core/deletion/RunLog.h"

#include "support/TestState.h"

#include <QDir>
#include <QFile>

namespace quenlor {
namespace {

class RunLogTest : public test::StateFixture {
public:
    QByteArray read(const char* name) {
        QFile f(QDir(st().LogFolder).filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(none)");
    }
    void put(const char* name, const QByteArray& bytes) {
        QDir().mkpath(st().LogFolder);
        QFile f(QDir(st().LogFolder).filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
};

// A full log moves aside (the oldest of three goes) before the next line, which starts a new
// one; what follows "--password" on a line is never written.
TEST_F(RunLogTest, FullLogMovesAsideAndNoPasswordIsWritten) {
    const QByteArray full(10 * 1024 * 1024, 'x');
    put("Quenlor.log", full);
    put("Quenlor.1.log", "one");
    put("Quenlor.2.log", "two");
    RunLog log;
    log.write("语句 成功 3 ms：--password Secret#1\r\nalter database [a] set single_user");
    EXPECT_TRUE(log.failure().isEmpty()) << log.failure().toStdString();
    EXPECT_EQ(read("Quenlor.1.log"), full);
    EXPECT_EQ(read("Quenlor.2.log"), "one");
    const QString line = QString::fromUtf8(read("Quenlor.log"));
    EXPECT_TRUE(line.endsWith("语句 成功 3 ms：--password alter database [a] set single_user\r\n"))
        << line.toStdString();
    EXPECT_EQ(line.count("\r\n"), 1);
}

} // namespace
} // namespace quenlor
