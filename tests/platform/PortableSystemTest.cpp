#include "platform/PortableSystem.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace quenlor {
namespace {

// Another copy of the program: it takes the lock and says "locked" (and waits to be killed) or
// "refused" (and ends).
QString startCopy(QProcess& copy, const QString& lock) {
    copy.start(QStringLiteral(QUENLOR_LOCK_HOLDER), {lock});
    copy.waitForReadyRead(5000);
    return QString::fromLatin1(copy.readAllStandardOutput()).trimmed();
}

TEST(SingleInstance, RunningCopyKeepsOthersOutAndAKilledCopysLockIsTakenOver) {
    QTemporaryDir dir;
    const QString lock = dir.filePath(u"Quenlor.lock"_s);
    QProcess first, later;
    ASSERT_EQ(startCopy(first, lock), u"locked"_s);
    PortableSystem second(lock);
    EXPECT_FALSE(second.acquireSingleInstance());
    EXPECT_FALSE(second.acquireSingleInstance()) << "asking again must not take the lock either";
    first.kill(); // no chance to clean up its lock
    first.waitForFinished(5000);
    ASSERT_TRUE(QFile::exists(lock)) << "the killed copy should have left its lock behind";
    EXPECT_TRUE(second.acquireSingleInstance());
    EXPECT_TRUE(second.acquireSingleInstance()) << "the owner asking twice still holds it";
    EXPECT_EQ(startCopy(later, lock), u"refused"_s) << "the new owner keeps others out";
}

// Under Wine a new copy often gets the process number of the copy that was killed before it.
TEST(SingleInstance, LockLeftWithThisProcessNumberIsTakenOverAndFreedAtTheEnd) {
    QTemporaryDir dir;
    const QString lock = dir.filePath(u"Quenlor.lock"_s);
    {
        QLockFile earlier(lock);
        ASSERT_TRUE(earlier.tryLock(0) && QFile::copy(lock, lock + u".left"_s));
    }
    ASSERT_TRUE(QFile::rename(lock + u".left"_s, lock)) << "as a killed copy would leave it";
    {
        PortableSystem owner(lock);
        EXPECT_TRUE(owner.acquireSingleInstance());
        EXPECT_FALSE(PortableSystem(lock).acquireSingleInstance());
    }
    EXPECT_TRUE(PortableSystem(lock).acquireSingleInstance()) << "freed when the owner ended";
}

} // namespace
} // namespace quenlor
