#include "core/deletion/DropDB.h"

#include "support/TestState.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <functional>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

namespace quenlor {
namespace {

using test::table;

QString U(const char16_t* text) {
    return QString::fromUtf16(text);
}

const QString kVersionQuery =
    QStringLiteral("SELECT  SERVERPROPERTY('productversion') as productversion,"
                   "SERVERPROPERTY ('edition') as version");

class DropDatabase : public test::StateFixture {
protected:
    DropDatabase() {
        st().MasterConn = std::make_unique<test::FakeDatabase>(server, QStringLiteral("master"));
        st().ServerVersionText = U(u"SQL Server 2008 SP1 企业版");
        st().ServerMajorVersion = 10;
    }

    Database* master() { return st().MasterConn.get(); }
    void sql2000() {
        st().ServerVersionText = U(u"SQL Server 2000 SP4 企业版");
        st().ServerMajorVersion = 8;
    }
    // The server answers the existence query with the database's row.
    void exists(const QString& existenceQuery, const QString& name) {
        server.answer(existenceQuery, table({QStringLiteral("name")}, {{name}}));
    }
    void fail(const QString& sql, const char16_t* message, int number = 5070) {
        server.fail(sql, DbError{QStringLiteral("42000"), number, U(message)});
    }
    // The steps, keeping the outcome for the checks.
    bool drop(const QString& name) {
        last = DropDB(name, master());
        return last.ok();
    }
    bool singleUser(const QString& name) {
        last = SetSingleUser(name, master());
        return last.ok();
    }

    Outcome last;
};

QStringList onMaster(const QStringList& statements) {
    QStringList out;
    for (const QString& s : statements)
        out.append(QStringLiteral("master: ") + s);
    return out;
}

// The server's number for a database in single-user mode that someone else is using.
constexpr int kInSingleUserUse = 5064;

const QString kExists =
    QStringLiteral("select name from master..sysdatabases where 1=1 and name='UFDATA_001_2015'");
const QString kSingleUser = QStringLiteral("--password \r\nalter database [UFDATA_001_2015] set "
                                           "single_user with rollback immediate ");
const QString kSingleUser2000 =
    QStringLiteral("--password \r\nsp_dboption 'UFDATA_001_2015 ','single user','true'");
const QString kDrop = QStringLiteral("drop database [UFDATA_001_2015]");

// The single-user switch takes the form of the server's major version, whatever its text says.
struct FormCase {
    const char* name;
    const char16_t* versionText;
    int major;
    QString switchStatement;
};

class DropForms : public DropDatabase, public ::testing::WithParamInterface<FormCase> {};

TEST_P(DropForms, FormFollowsTheMajorVersionNotTheVersionText) {
    st().ServerVersionText = U(GetParam().versionText);
    st().ServerMajorVersion = GetParam().major;
    exists(kExists, QStringLiteral("UFDATA_001_2015"));
    EXPECT_TRUE(drop(QStringLiteral("UFDATA_001_2015")));
    EXPECT_EQ(server.log, onMaster({kExists, GetParam().switchStatement, kDrop}));
    EXPECT_TRUE(last.text().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Versions, DropForms,
    ::testing::Values(
        FormCase{"Sql2008", u"SQL Server 2008 SP1 企业版", 10, kSingleUser},
        // SQL Server 2005 is the first server past the 2000 family.
        FormCase{"Sql2005UnderA2000Text", u"SQL Server 2000 SP4 企业版", 9, kSingleUser},
        FormCase{"Sql2000", u"SQL Server 2000 SP4 企业版", 8, kSingleUser2000},
        FormCase{"Sql2000UnderAPlainText", u"Microsoft SQL Server", 8, kSingleUser2000}),
    [](const ::testing::TestParamInfo<FormCase>& info) { return std::string(info.param.name); });

TEST_F(DropDatabase, EmptyVersionTextIsFilledBeforeTheSwitch) {
    st().ServerVersionText.clear();
    st().ServerMajorVersion = 0;
    server.answer(kVersionQuery,
                  table({QStringLiteral("productversion"), QStringLiteral("version")},
                        {{QStringLiteral("8.00.2039"), QStringLiteral("Enterprise Edition")}}));
    exists(kExists, QStringLiteral("UFDATA_001_2015"));

    EXPECT_TRUE(drop(QStringLiteral("UFDATA_001_2015")));
    EXPECT_EQ(server.log, onMaster({kExists, kVersionQuery, kSingleUser2000, kDrop}));
    EXPECT_EQ(st().ServerVersionText, U(u"SQL Server 2000 SP4 企业版"));
    EXPECT_EQ(st().ServerMajorVersion, 8);

    // Kept for the next drop: the version is not asked again.
    server.log.clear();
    EXPECT_TRUE(drop(QStringLiteral("UFDATA_001_2015")));
    EXPECT_FALSE(server.log.contains(QStringLiteral("master: ") + kVersionQuery));
}

TEST_F(DropDatabase, UnknownVersionFallsBackToAlterDatabase) {
    st().ServerVersionText.clear();
    st().ServerMajorVersion = 8; // stale: the failed fill resets it
    fail(kVersionQuery, u"拒绝了对对象 'SERVERPROPERTY' 的 EXECUTE 权限。");
    exists(kExists, QStringLiteral("UFDATA_001_2015"));

    EXPECT_TRUE(drop(QStringLiteral("UFDATA_001_2015"))) << "the version is not the drop's concern";
    EXPECT_EQ(server.log.mid(2), onMaster({kSingleUser, kDrop}));
    EXPECT_EQ(st().ServerMajorVersion, 0);
}

// A look-up that finds no database, or could not be made, ends the drop before anything else.
TEST_F(DropDatabase, NoDatabaseFoundRunsNothingElse) {
    const struct {
        const char* name;
        std::function<void()> lookUp;
        const char16_t* text;
    } cases[] = {
        {"no row", [] {}, u"错误报告:数据库[UFDATA_001_2015]不存在"},
        {"null name",
         [this] { server.answer(kExists, table({QStringLiteral("name")}, {{QVariant()}})); },
         u"错误报告:数据库[UFDATA_001_2015]不存在"},
        // Not reported as missing: the look-up could not be made.
        {"failed look-up", [this] { fail(kExists, u"连接已断开。"); }, u"连接已断开。"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server = test::FakeServer();
        c.lookUp();
        EXPECT_FALSE(drop(QStringLiteral("UFDATA_001_2015")));
        EXPECT_EQ(last.text(), U(c.text));
        EXPECT_EQ(server.log, onMaster({kExists}));
    }
}

struct NameCase {
    const char* label;
    const char16_t* name;
    const char16_t* existence;
    const char16_t* alter;
    const char16_t* dboption;
    const char16_t* drop;
};

class DropDatabaseNames : public DropDatabase, public ::testing::WithParamInterface<NameCase> {};

TEST_P(DropDatabaseNames, NameIsQuotedInEveryStatement) {
    const NameCase& c = GetParam();
    exists(U(c.existence), U(c.name));

    EXPECT_TRUE(drop(U(c.name)));
    EXPECT_EQ(server.log, onMaster({U(c.existence), U(c.alter), U(c.drop)}));

    server.log.clear();
    sql2000();
    EXPECT_TRUE(drop(U(c.name)));
    EXPECT_EQ(server.log, onMaster({U(c.existence), U(c.dboption), U(c.drop)}));
}

INSTANTIATE_TEST_SUITE_P(
    Names, DropDatabaseNames,
    ::testing::Values(
        NameCase{"BracketBreakout", u"x]; drop database master; --",
                 u"select name from master..sysdatabases where 1=1 and name='x]; drop database "
                 u"master; --'",
                 u"--password \r\nalter database [x]]; drop database master; --] set single_user "
                 u"with rollback immediate ",
                 u"--password \r\nsp_dboption 'x]; drop database master; -- ','single "
                 u"user','true'",
                 u"drop database [x]]; drop database master; --]"},
        NameCase{"Apostrophe", u"O'Brien",
                 u"select name from master..sysdatabases where 1=1 and name='O''Brien'",
                 u"--password \r\nalter database [O'Brien] set single_user with rollback "
                 u"immediate ",
                 u"--password \r\nsp_dboption 'O''Brien ','single user','true'",
                 u"drop database [O'Brien]"},
        // An equality test: the LIKE wildcards stand for themselves without escaping.
        NameCase{"PercentUnderscoreBracket", u"[100%_x",
                 u"select name from master..sysdatabases where 1=1 and name='[100%_x'",
                 u"--password \r\nalter database [[100%_x] set single_user with rollback "
                 u"immediate ",
                 u"--password \r\nsp_dboption '[100%_x ','single user','true'",
                 u"drop database [[100%_x]"}),
    [](const ::testing::TestParamInfo<NameCase>& info) { return std::string(info.param.label); });

TEST_F(DropDatabase, NameLengthIsCheckedBeforeAnyStatement) {
    // The limit is on the name, not on its quoted form: 127 letters and a "]" still go.
    const QString longest = QString(127, u'a') + u']';
    exists(QStringLiteral("select name from master..sysdatabases where 1=1 and name='") + longest +
               u'\'',
           longest);
    EXPECT_TRUE(drop(longest));
    ASSERT_EQ(server.log.size(), 3);
    EXPECT_EQ(server.log.at(2), QStringLiteral("master: drop database [") + QString(127, u'a') +
                                    QStringLiteral("]]]"));

    server.log.clear();
    const QString tooLong = QString(129, u'a');
    EXPECT_FALSE(drop(tooLong));
    EXPECT_EQ(last.text(),
              U(u"数据库名“") + tooLong + U(u"”无效（超过 128 个字符），未执行任何删除。"));
    EXPECT_FALSE(drop(QString()));
    EXPECT_EQ(last.text(), U(u"数据库名为空，未执行任何删除。"));
    EXPECT_TRUE(server.log.isEmpty());
}

TEST_F(DropDatabase, RefusedSwitchStillAttemptsTheDrop) {
    exists(kExists, QStringLiteral("UFDATA_001_2015"));
    fail(kSingleUser, u"用户没有更改数据库 'UFDATA_001_2015' 的权限。");

    EXPECT_TRUE(drop(QStringLiteral("UFDATA_001_2015")))
        << "the drop went through, so the switch's refusal is no failure";
    EXPECT_EQ(server.log.mid(1), onMaster({kSingleUser, kDrop}));
}

TEST_F(DropDatabase, SetSingleUserCountsAnAlreadySingleUserDatabaseAsSwitched) {
    EXPECT_TRUE(singleUser(QStringLiteral("UFDATA_001_2015")));
    EXPECT_EQ(server.log, onMaster({kSingleUser}));

    fail(kSingleUser, u"数据库 'UFDATA_001_2015' 已处于单用户模式，且当前有用户连接到它。",
         kInSingleUserUse);
    EXPECT_TRUE(singleUser(QStringLiteral("UFDATA_001_2015")))
        << "told apart by the server's number, whatever the text";

    fail(kSingleUser, u"用户没有更改数据库 'UFDATA_001_2015' 的权限。");
    EXPECT_FALSE(singleUser(QStringLiteral("UFDATA_001_2015")));
    EXPECT_EQ(last.text(), U(u"用户没有更改数据库 'UFDATA_001_2015' 的权限。"));
}

// A failed drop puts back the multi-user mode only when this call switched it away; the
// operator is told the drop's failure, not the switch's or the restore's.
TEST_F(DropDatabase, FailedDropPutsBackOnlyTheModeItSwitchedFrom) {
    const QString restore2000 =
        QStringLiteral("sp_dboption 'UFDATA_001_2015','single user','false'");
    const struct {
        const char* name;
        bool sql2000;
        int switchFailure; // 0: switched
        QStringList afterTheDrop;
    } cases[] = {
        {"switched", false, 0, {QStringLiteral("alter database [UFDATA_001_2015] set multi_user")}},
        {"switched on 2000", true, 0, {restore2000}},
        {"already single-user", false, kInSingleUserUse, {}},
        {"switch refused", false, 5070, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server = test::FakeServer();
        st().ServerMajorVersion = c.sql2000 ? 8 : 10;
        exists(kExists, QStringLiteral("UFDATA_001_2015"));
        fail(kDrop, u"无法删除数据库 \"UFDATA_001_2015\"，因为该数据库当前正在使用。");
        fail(restore2000, u"multi-user refused");
        if (c.switchFailure != 0)
            fail(kSingleUser, u"数据库 'UFDATA_001_2015' 不可更改。", c.switchFailure);
        EXPECT_FALSE(drop(QStringLiteral("UFDATA_001_2015")));
        EXPECT_EQ(server.log.mid(3), onMaster(c.afterTheDrop));
        EXPECT_EQ(last.text(),
                  U(u"无法删除数据库 \"UFDATA_001_2015\"，因为该数据库当前正在使用。"));
    }
}

TEST(AddPasswordComment, PutsTheCommentLineInFrontOfAStatement) {
    EXPECT_EQ(AddPasswordComment(QString()), QString());
    EXPECT_EQ(AddPasswordComment(QStringLiteral("select 1")),
              QStringLiteral("--password \r\nselect 1"));
    EXPECT_EQ(AddPasswordComment(QStringLiteral(" ")), QStringLiteral("--password \r\n "));
}

// A real folder tree: <root>/Data/ZT001/2015, the data file already gone with its database.
class RemoveEmptyFolder : public test::StateFixture {
protected:
    RemoveEmptyFolder() {
        EXPECT_TRUE(QDir(root.path()).mkpath(QStringLiteral("Data/ZT001/2015")));
        year = root.path() + QStringLiteral("/Data/ZT001/2015");
        account = root.path() + QStringLiteral("/Data/ZT001");
    }

    // As the server reports paths.
    static QString backslashed(QString path) { return path.replace(u'/', u'\\'); }
    static void touch(const QString& path) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }

    bool removeEmpty(const QString& path) {
        const Read<bool> removed = RemoveEmptyDir(path);
        last = removed.outcome;
        return removed.value;
    }

    QTemporaryDir root;
    QString year;
    QString account;
    Outcome last;
};

// The server's backslashes separate everywhere; a slash only where the system uses it.
TEST_F(RemoveEmptyFolder, RemovesTheEmptyFolderOfTheFileAndLeavesItsParent) {
    EXPECT_TRUE(removeEmpty(backslashed(year + QStringLiteral("/UFDATA.MDF"))));
    EXPECT_FALSE(QFileInfo::exists(year));
    EXPECT_TRUE(QFileInfo::exists(account)) << "now empty, but it did not hold the file";

    ASSERT_TRUE(QDir().mkpath(year));
    const bool removed = removeEmpty(year + QStringLiteral("/UFDATA.MDF"));
#ifdef Q_OS_WIN
    EXPECT_FALSE(removed);
#else
    EXPECT_TRUE(removed);
#endif
    EXPECT_EQ(QFileInfo::exists(year), !removed);
}

TEST_F(RemoveEmptyFolder, AnyEntryKeepsTheFolder) {
    touch(year + QStringLiteral("/.hidden"));
    EXPECT_FALSE(removeEmpty(backslashed(year + QStringLiteral("/UFDATA.MDF"))));
    EXPECT_TRUE(QFileInfo::exists(year + QStringLiteral("/.hidden")));
    ASSERT_TRUE(QFile::remove(year + QStringLiteral("/.hidden")));

    ASSERT_TRUE(QDir(year).mkdir(QStringLiteral("sub")));
    EXPECT_FALSE(removeEmpty(backslashed(year + QStringLiteral("/UFDATA.MDF"))));
    EXPECT_TRUE(QFileInfo::exists(year + QStringLiteral("/sub")));
    ASSERT_TRUE(QDir(year).rmdir(QStringLiteral("sub")));

    touch(year + QStringLiteral("/UFDATA_LOG.LDF"));
    EXPECT_FALSE(removeEmpty(backslashed(year + QStringLiteral("/UFDATA.MDF"))));
    EXPECT_TRUE(QFileInfo::exists(year + QStringLiteral("/UFDATA_LOG.LDF")));
    EXPECT_TRUE(last.text().isEmpty()) << "a folder in use is no failure";
}

// Linux only: the links and permission bits these make are Linux's (on Windows a link needs a
// privilege the tests do not have, and access lists bind differently).
#ifndef Q_OS_WIN
TEST_F(RemoveEmptyFolder, LinkToAFolderIsNotTheFolder) {
    const QString link = account + QStringLiteral("/2016");
    ASSERT_TRUE(QFile::link(year, link));
    EXPECT_FALSE(removeEmpty(link + QStringLiteral("/UFDATA.MDF")));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(year));

    // A dangling link is an entry like any other.
    ASSERT_TRUE(QFile::link(root.path() + QStringLiteral("/nowhere"), year + QStringLiteral("/l")));
    EXPECT_FALSE(removeEmpty(year + QStringLiteral("/UFDATA.MDF")));
    EXPECT_TRUE(QFileInfo(year + QStringLiteral("/l")).isSymLink());
}

TEST_F(RemoveEmptyFolder, FolderThatCannotBeRemovedLeavesATextAndStays) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind the superuser";
    QFile::setPermissions(account, QFile::ReadOwner | QFile::ExeOwner);
    const bool removed = removeEmpty(year + QStringLiteral("/UFDATA.MDF"));
    QFile::setPermissions(account, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_FALSE(removed);
    EXPECT_TRUE(QFileInfo::exists(year));
    EXPECT_TRUE(last.text().startsWith(U(u"无法删除文件夹“") + year + U(u"”：")))
        << last.text().toStdString();
}
#endif

TEST_F(RemoveEmptyFolder, MissingFolderDoesNothing) {
    EXPECT_FALSE(removeEmpty(backslashed(root.path() + QStringLiteral("/Data/ZT002/2015/U.MDF"))));
    EXPECT_TRUE(last.ok());
    touch(account + QStringLiteral("/notes.txt"));
    EXPECT_FALSE(removeEmpty(backslashed(account + QStringLiteral("/notes.txt/U.MDF"))))
        << "a folder that is a file";
    EXPECT_TRUE(QFileInfo::exists(account + QStringLiteral("/notes.txt")));
    EXPECT_TRUE(last.ok());
    EXPECT_TRUE(QFileInfo::exists(year));
}

// Paths whose folder is a bare drive, the root or nothing at all. Each would name the working
// folder (or a folder in it) if taken literally, so the working folder is an empty one; on Linux
// it holds an empty folder named "D:", which a drive letter must never be taken for.
TEST_F(RemoveEmptyFolder, DriveRootAndBareNamesAreNeverRemoved) {
    const QString working = year;
#ifndef Q_OS_WIN
    ASSERT_TRUE(QDir(working).mkdir(QStringLiteral("D:")));
#endif
    const QString saved = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(working));

    const bool drive = removeEmpty(QStringLiteral("D:\\UFDATA.MDF"));
#ifndef Q_OS_WIN
    EXPECT_TRUE(QDir(working).rmdir(QStringLiteral("D:"))) << "the folder named D: stays";
#endif
    const bool bare = removeEmpty(QStringLiteral("UFDATA.MDF"));
    const bool backslashRoot = removeEmpty(QStringLiteral("\\UFDATA.MDF"));
    const bool slashRoot = removeEmpty(QStringLiteral("/UFDATA.MDF"));
    const bool emptyPath = removeEmpty(QString());

    QDir::setCurrent(saved);
    EXPECT_FALSE(drive);
    EXPECT_FALSE(bare);
    EXPECT_FALSE(backslashRoot);
    EXPECT_FALSE(slashRoot);
    EXPECT_FALSE(emptyPath);
    EXPECT_TRUE(QFileInfo::exists(working));
}

} // namespace
} // namespace quenlor
