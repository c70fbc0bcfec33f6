#include "core/deletion/DropDB.h"

#include "support/TestState.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace quenlor {
namespace {

// The server's number for a database in single-user mode that someone else is using.
constexpr int kInSingleUserUse = 5064;

const QString kName = "UFDATA_001_2015";
const QString kExists =
    "select name from master..sysdatabases where 1=1 and name='UFDATA_001_2015'";
const QString kSingleUser =
    "--password \r\nalter database [UFDATA_001_2015] set single_user with rollback immediate ";
const QString kDrop = "drop database [UFDATA_001_2015]";

class DropDatabase : public test::StateFixture {
protected:
    DropDatabase() {
        st().MasterConn = std::make_unique<test::FakeDatabase>(server, "master");
        st().ServerVersionText = "SQL Server 2000 SP4 企业版";
    }

    void exists(const QString& name, const QString& query = kExists) {
        server.answer(query, test::table({"name"}, {{name}}));
    }
    void fail(const QString& sql, const QString& message, int number = 5070) {
        server.fail(sql, DbError{"42000", number, message});
    }
    bool drop(const QString& name) {
        last = DropDB(name, st().MasterConn.get());
        return last.ok();
    }
    // The statements the server received.
    QStringList sent() const { return QStringList(server.log).replaceInStrings("master: ", ""); }
    bool singleUser() {
        last = SetSingleUser(kName, st().MasterConn.get());
        return last.ok();
    }

    Outcome last;
};

// The switch takes the form of the server's major version, whatever the version text says, and
// the name is quoted in every statement: as a literal in look-ups and sp_dboption, as an
// identifier in alter and drop.
TEST_F(DropDatabase, StatementsFollowTheMajorVersionAndQuoteTheName) {
    const struct {
        const char* label;
        int major;
        const char* name;
        const char* existence;
        const char* singleUser;
        const char* drop;
    } cases[] = {
        {"bracket breakout, version 10 under a 2000 text", 10, "x]; drop database master; --",
         "select name from master..sysdatabases where 1=1 and name='x]; drop database master; --'",
         "--password \r\nalter database [x]]; drop database master; --] set single_user with "
         "rollback immediate ",
         "drop database [x]]; drop database master; --]"},
        {"apostrophe on 2000", 8, "O'Brien",
         "select name from master..sysdatabases where 1=1 and name='O''Brien'",
         "--password \r\nsp_dboption 'O''Brien ','single user','true'", "drop database [O'Brien]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        server = test::FakeServer();
        st().ServerMajorVersion = c.major;
        exists(c.name, c.existence);
        EXPECT_TRUE(drop(c.name));
        EXPECT_EQ(sent(), (QStringList{c.existence, c.singleUser, c.drop}));
    }
}

// A look-up that finds no database, or could not be made, ends the drop before anything else.
TEST_F(DropDatabase, NoDatabaseFoundRunsNothingElse) {
    EXPECT_FALSE(drop(kName));
    EXPECT_EQ(last.text(), "错误报告:数据库[UFDATA_001_2015]不存在");
    fail(kExists, "连接已断开。");
    EXPECT_FALSE(drop(kName));
    EXPECT_EQ(last.text(), "连接已断开。") << "not reported as missing";
    EXPECT_EQ(sent(), (QStringList{kExists, kExists}));
}

TEST_F(DropDatabase, NameLengthIsCheckedBeforeAnyStatement) {
    // The limit is on the name, not on its quoted form: 127 letters and a "]" still go.
    const QString longest = QString(127, u'a') + u']';
    exists(longest, "select name from master..sysdatabases where 1=1 and name='" + longest + "'");
    EXPECT_TRUE(drop(longest));
    ASSERT_EQ(server.log.size(), 3);
    EXPECT_EQ(server.log.at(2), "master: drop database [" + QString(127, u'a') + "]]]");

    server.log.clear();
    EXPECT_FALSE(drop(QString(129, u'a')));
    EXPECT_TRUE(last.text().endsWith("”无效（超过 128 个字符），未执行任何删除。"));
    EXPECT_FALSE(drop(QString()));
    EXPECT_EQ(last.text(), "数据库名为空，未执行任何删除。");
    EXPECT_TRUE(server.log.isEmpty());
}

TEST_F(DropDatabase, SetSingleUserCountsAnAlreadySingleUserDatabaseAsSwitched) {
    EXPECT_TRUE(singleUser());
    fail(kSingleUser, "数据库 'UFDATA_001_2015' 已处于单用户模式，且当前有用户连接到它。",
         kInSingleUserUse);
    EXPECT_TRUE(singleUser()) << "told apart by the server's number, whatever the text";
    fail(kSingleUser, "用户没有更改数据库 'UFDATA_001_2015' 的权限。");
    EXPECT_FALSE(singleUser());
    EXPECT_EQ(last.text(), "用户没有更改数据库 'UFDATA_001_2015' 的权限。");

    // Refused, the switch still leaves the drop to the server, and its drop to stand.
    exists(kName);
    server.log.clear();
    EXPECT_TRUE(drop(kName));
    EXPECT_EQ(sent(), (QStringList{kExists, kSingleUser, kDrop}));
}

// A failed drop puts back the multi-user mode only when this call switched it away; the
// operator is told the drop's failure, not the switch's or the restore's.
TEST_F(DropDatabase, FailedDropPutsBackOnlyTheModeItSwitchedFrom) {
    const QString inUse = "无法删除数据库 \"UFDATA_001_2015\"，因为该数据库当前正在使用。";
    const QString restore2000 = "sp_dboption 'UFDATA_001_2015','single user','false'";
    const struct {
        const char* name;
        bool sql2000;
        int switchFailure; // 0: switched
        QString restore;
    } cases[] = {
        {"switched", false, 0, "alter database [UFDATA_001_2015] set multi_user"},
        {"switched on 2000", true, 0, restore2000},
        {"already single-user", false, kInSingleUserUse, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server = test::FakeServer();
        st().ServerMajorVersion = c.sql2000 ? 8 : 10;
        exists(kName);
        fail(kDrop, inUse);
        fail(restore2000, "multi-user refused");
        if (c.switchFailure != 0)
            fail(kSingleUser, "数据库 'UFDATA_001_2015' 不可更改。", c.switchFailure);
        EXPECT_FALSE(drop(kName));
        EXPECT_EQ(sent().mid(3), c.restore.isEmpty() ? QStringList() : QStringList{c.restore});
        EXPECT_EQ(last.text(), inUse);
    }
}

// A real folder tree: <root>/Data/ZT001/2015, the data file already gone with its database.
class RemoveEmptyFolder : public test::StateFixture {
protected:
    RemoveEmptyFolder() { EXPECT_TRUE(QDir().mkpath(year)); }

    // As the server reports paths.
    static QString backslashed(QString path) { return path.replace(u'/', u'\\'); }
    bool removeEmpty(const QString& path) { return RemoveEmptyDir(path).value; }

    QTemporaryDir root;
    QString account = root.path() + "/Data/ZT001";
    QString year = account + "/2015";
};

// The server's backslashes separate everywhere; the folder goes only when nothing is left in it.
TEST_F(RemoveEmptyFolder, AnyEntryKeepsTheFolder) {
    for (const char* entry : {".hidden", "UFDATA_LOG.LDF", "sub/"}) {
        SCOPED_TRACE(entry);
        const QString path = year + "/" + entry;
        ASSERT_TRUE(path.endsWith(u'/') ? QDir().mkdir(path) : QFile(path).open(QFile::WriteOnly));
        const Read<bool> removed = RemoveEmptyDir(backslashed(year + "/UFDATA.MDF"));
        EXPECT_FALSE(removed.value);
        EXPECT_TRUE(removed.outcome.ok()) << "a folder in use is no failure";
        EXPECT_TRUE(QFileInfo::exists(path));
        ASSERT_TRUE(path.endsWith(u'/') ? QDir().rmdir(path) : QFile::remove(path));
    }
    EXPECT_TRUE(removeEmpty(backslashed(year + "/UFDATA.MDF")));
    EXPECT_FALSE(QFileInfo::exists(year));
    EXPECT_TRUE(QFileInfo::exists(account)) << "now empty, but it did not hold the file";
}

// Linux only: on Windows a link needs a privilege the tests do not have.
#ifndef Q_OS_WIN
TEST_F(RemoveEmptyFolder, LinkToAFolderIsNotTheFolder) {
    const QString link = account + "/2016";
    ASSERT_TRUE(QFile::link(year, link));
    EXPECT_FALSE(removeEmpty(link + "/UFDATA.MDF"));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(year));

    // A dangling link is an entry like any other.
    ASSERT_TRUE(QFile::link(root.path() + "/nowhere", year + "/l"));
    EXPECT_FALSE(removeEmpty(year + "/UFDATA.MDF"));
    EXPECT_TRUE(QFileInfo(year + "/l").isSymLink());
}
#endif

} // namespace
} // namespace quenlor
