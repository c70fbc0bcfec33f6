#include "platform/PortableSystem.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

#include <QDir>
#include <QFile>
#include <QLockFile>

namespace quenlor {
namespace {

class LockHolder {
public:
    explicit LockHolder(const QString& lockPath) {
        m_process.start(QStringLiteral(QUENLOR_LOCK_HOLDER), {lockPath});
        m_started = m_process.waitForStarted(5000) && m_process.waitForReadyRead(5000);
        m_answer = QString::fromLatin1(m_process.readAllStandardOutput()).trimmed();
    }
    ~LockHolder() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    [[nodiscard]] bool holdsLock() const {
        return m_started && m_answer == QLatin1String("locked");
    }
    [[nodiscard]] const QString& answer() const { return m_answer; }
    void killHard() {
        m_process.kill(); // SIGKILL: the copy gets no chance to clean up its lock
        m_process.waitForFinished(5000);
    }

private:
    QProcess m_process;
    bool m_started = false;
    QString m_answer;
};

class SingleInstanceTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString lockPath() const { return dir.filePath(QStringLiteral("Quenlor.lock")); }
};

TEST_F(SingleInstanceTest, SecondCopyIsRefusedWhileTheFirstRuns) {
    LockHolder first(lockPath());
    ASSERT_TRUE(first.holdsLock());

    PortableSystem second(lockPath());
    EXPECT_FALSE(second.acquireSingleInstance());
    EXPECT_FALSE(second.acquireSingleInstance()) << "asking again must not take the lock either";
}

TEST_F(SingleInstanceTest, LockOfAKilledCopyIsTakenOver) {
    LockHolder first(lockPath());
    ASSERT_TRUE(first.holdsLock());
    first.killHard();
    ASSERT_TRUE(QFile::exists(lockPath())) << "the killed copy should have left its lock behind";

    PortableSystem next(lockPath());
    EXPECT_TRUE(next.acquireSingleInstance());

    // And now the new owner keeps other copies out.
    LockHolder third(lockPath());
    EXPECT_EQ(third.answer(), QStringLiteral("refused"));
}

// Under Wine a new copy often gets the process number of the copy that was killed before it.
TEST_F(SingleInstanceTest, LockOfAKilledCopyWithThisProcessNumberIsTakenOver) {
    QByteArray leftBehind;
    {
        QLockFile earlier(lockPath());
        ASSERT_TRUE(earlier.tryLock(0));
        QFile f(lockPath());
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        leftBehind = f.readAll();
    }
    QFile f(lockPath());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(leftBehind), leftBehind.size());
    f.close();

    PortableSystem next(lockPath());
    EXPECT_TRUE(next.acquireSingleInstance());
    LockHolder other(lockPath());
    EXPECT_EQ(other.answer(), QStringLiteral("refused")) << "the new owner keeps others out";
}

TEST_F(SingleInstanceTest, LockIsReleasedWhenTheOwnerEndsNormally) {
    {
        PortableSystem owner(lockPath());
        ASSERT_TRUE(owner.acquireSingleInstance());
        EXPECT_TRUE(owner.acquireSingleInstance()) << "the owner asking twice still holds it";
        PortableSystem other(lockPath());
        EXPECT_FALSE(other.acquireSingleInstance());
    }
    PortableSystem later(lockPath());
    EXPECT_TRUE(later.acquireSingleInstance());
}

TEST(PortableSystemTest, DefaultLockLiesInTheSharedTemporaryFolder) {
    const QString path = PortableSystem::defaultLockFilePath();
    EXPECT_TRUE(path.endsWith(QLatin1String("Quenlor.lock")));
    EXPECT_TRUE(path.startsWith(QDir::tempPath()));
}

} // namespace
} // namespace quenlor
