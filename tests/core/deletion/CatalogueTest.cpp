#include "core/deletion/Catalogue.h"

#include "support/TestState.h"

#include <QCoreApplication>
#include <QDir>

namespace quenlor {
namespace {

using test::table;

// The catalogue as the workers meet it. Statements go through the fake server, which records
// them and answers those scripted there; a statement containing `failing` fails once sent. Any
// other look-up finds one reference table per worker, and one value (a database, the account, a
// table or column) unless the account is not `known`.
class Catalogue final : public Database {
public:
    explicit Catalogue(test::FakeServer& server) : m_db(server, "master") {}

    bool known = true;
    QString failing;

    bool isOpen() const override { return true; }
    QueryResult query(const QString& sql) override {
        const QueryResult scripted = m_db.query(sql);
        if (!failing.isEmpty() && sql.contains(failing))
            throw DbError{"42000", 547, "服务器拒绝: " + failing};
        if (!scripted.rows.isEmpty() || sql.contains("name,filename"))
            return scripted;
        if (sql.contains("'%year%'"))
            return table({"ctable", "cacc", "cyear"}, {{"ua_task", "cacc_id", "iBeginYear"}});
        if (sql.contains("sysreferences"))
            return table({"ctable", "ccol"}, {{"GL_x", "accid"}});
        if (!known && !sql.contains("sysdatabases"))
            return {};
        return table({"name", "cAcc_Id", "DSName"}, {{"x", "001", "x"}});
    }
    void execute(const QString& sql) override {
        m_db.execute(sql);
        if (!failing.isEmpty() && sql.contains(failing))
            throw DbError{"42000", 547, "服务器拒绝: " + failing};
    }
    void beginTrans() override { m_db.beginTrans(); }
    void commitTrans() override { m_db.commitTrans(); }
    void rollbackTrans() override { m_db.rollbackTrans(); }

private:
    test::FakeDatabase m_db;
};

const QString kAccountDatabases001 = QStringLiteral(
    "select name,filename from master..sysdatabases where name like 'ufdata[_]001[_]%' or name "
    "like 'UFMeta[_]001'");
const QString kYearDatabases =
    "select name,filename from master..sysdatabases where name like 'ufdata[_]001[_]2015'";

const auto accountSet = [](Database* c) { return DeleteAcc_UF("001", c, true); };
const auto tplusAccount = [](Database* c) { return DeleteAcc_TN("UFTData1_001", c, true); };
const auto yearOnly = [](Database* c) { return DeleteYear_UF("001", "2015", c, false); };
const auto yearAndDatabases = [](Database* c) { return DeleteYear_UF("001", "2015", c, true); };

class CatalogueTest : public test::StateFixture {
protected:
    CatalogueTest() {
        auto catalogue = std::make_unique<Catalogue>(server);
        db = catalogue.get();
        st().MasterConn = std::move(catalogue);
        st().ServerVersionText = "SQL Server 2008 SP1 标准版";
    }

    bool sent(const QString& s) const { return server.log.contains("master: " + s); }
    qsizetype at(const QString& s) const { return server.log.indexOf("master: " + s); }
    Catalogue* db = nullptr;
};

// Inside one transaction opened after the account check: the references, with their names
// quoted, the orphaned backup plans and finished task logs, and last the account row.
TEST_F(CatalogueTest, AccountSetCatalogueRowsGoInOneTransactionAndTheAccountRowLast) {
    EXPECT_TRUE(accountSet(db).ok());
    EXPECT_EQ(at("BEGIN"), 1);
    for (const char* statement :
         {"delete UFSystem..[GL_x] where [accid]='001'",
          "delete from UFSystem..UA_BackupPlan WHERE cPlan_Id not in (select cPlan_Id FROM "
          "UFSystem..UA_BackupPlans)",
          "delete from UFSystem..ua_tasklog where taskstate=1 and ctaskid not in (select ctaskid "
          "from UFSystem..ua_task)"})
        EXPECT_GT(at(statement), 1) << statement;
    EXPECT_EQ(at("delete UFSystem..UA_Account where cAcc_Id='001'") + 1, at("COMMIT"));
    EXPECT_EQ(server.log.last(), "master: " + kAccountDatabases001) << "no database of the set";
}

TEST_F(CatalogueTest, AccountSetOutsideTheCatalogueStillHasItsDatabasesAndFoldersRemoved) {
    // A data folder tree of our own whose path holds no "ZT" of its own.
    const QString root = QDir::temp().filePath(
        QStringLiteral("quenlor-catalogue-%1").arg(QCoreApplication::applicationPid()));
    const QString year = root + "/U8SOFT/ZT001/2015";
    const QString meta = root + "/U8SOFT/ZT001/meta";
    ASSERT_TRUE(QDir().mkpath(year) && QDir().mkpath(meta));
    server.answer(kAccountDatabases001,
                  table({"name", "filename"},
                        {{"ufdata_001_2015", QDir::toNativeSeparators(year + "/UFDATA.MDF")},
                         {"UFMeta_001", QDir::toNativeSeparators(meta + "/UFMeta.mdf")}}));
    db->known = false;

    EXPECT_TRUE(accountSet(db).ok());
    EXPECT_TRUE(sent("drop database [ufdata_001_2015]"));
    EXPECT_TRUE(sent("drop database [UFMeta_001]"));
    EXPECT_FALSE(sent("BEGIN")) << "the catalogue does not know the set: it is left as it is";
    // Each data folder went, and then the account folder (the path up to "ZT" and five more).
    EXPECT_FALSE(QDir(root + "/U8SOFT/ZT001").exists());
    EXPECT_TRUE(QDir(root + "/U8SOFT").exists());
    QDir(root).removeRecursively();
}

TEST_F(CatalogueTest, MalformedAccountCodesAndYearsAreRefusedBeforeAnyStatement) {
    for (const char* code : {"", "00", "0001", "0'1", "0_1", "0%1", "账套1"}) {
        EXPECT_FALSE(DeleteAcc_UF(code, db, true).ok()) << code;
        EXPECT_FALSE(DeleteYear_UF(code, "2015", db, true).ok()) << code;
    }
    for (const char* year : {"", "201", "20155", "2O15", "2012-2014"})
        EXPECT_FALSE(DeleteYear_UF("001", year, db, false).ok()) << year;
    EXPECT_TRUE(server.log.isEmpty());
    EXPECT_TRUE(isValidAccountCode("A0z"));
}

// Without an open connection every worker fails with a text and sends nothing: in particular no
// rollback of a transaction it never opened.
TEST_F(CatalogueTest, WorkersWithoutAConnectionFailAndSendNothing) {
    for (const auto worker : {+accountSet, +tplusAccount, +yearOnly, +yearAndDatabases}) {
        const Outcome outcome = worker(nullptr);
        EXPECT_FALSE(outcome.ok());
        EXPECT_FALSE(outcome.text().isEmpty());
    }
    EXPECT_TRUE(server.log.isEmpty());
}

// One statement of a worker fails: the server's text reaches the operator, the catalogue phase
// is all or nothing, and no database goes after a catalogue phase that did not.
TEST_F(CatalogueTest, FailingStatementRollsBackTheCataloguePhaseOrEndsTheDatabasePhase) {
    const struct {
        const char* name;
        Outcome (*worker)(Database*);
        QString failing;
        QString boundary; // how the transaction ended, if one was opened
    } cases[] = {
        {"account check", accountSet, "from UFSystem..UA_Account where 1=1", ""},
        {"optional table check", accountSet, "a.name='ua_holdauth'", "ROLLBACK"},
        {"account row", accountSet, "delete UFSystem..UA_Account", "ROLLBACK"},
        {"listing the set's databases", accountSet, kAccountDatabases001, "COMMIT"},
        {"T+ column check", tplusAccount, "a.name='eap_backupplans'", "ROLLBACK"},
        {"marking the year", yearOnly, "UPDATE UFSystem..UA_Period", "ROLLBACK"},
        // The year's databases go first: a failed drop leaves the catalogue untouched.
        {"year's database", yearAndDatabases, "drop database", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server = test::FakeServer();
        for (const QString& listing : {kAccountDatabases001, kYearDatabases})
            server.answer(listing, table({"name", "filename"},
                                         {{"ufdata_001_2014", ""}, {"ufdata_001_2015", ""}}));
        db->failing = c.failing;

        EXPECT_EQ(c.worker(db).text(), "服务器拒绝: " + c.failing);
        EXPECT_EQ(sent("BEGIN"), !c.boundary.isEmpty());
        EXPECT_EQ(sent("ROLLBACK"), c.boundary == "ROLLBACK");
        EXPECT_EQ(sent("COMMIT"), c.boundary == "COMMIT");
        if (c.boundary != "COMMIT") {
            EXPECT_FALSE(sent(kAccountDatabases001));
        }
    }
}

TEST_F(CatalogueTest, YearDropsItsDatabasesFirstThenMarksItsPeriodsDeleted) {
    server.answer(kYearDatabases, table({"name", "filename"}, {{"ufdata_001_2015", QString()}}));
    // The run is told each database once it is found, before its drop.
    qsizetype noticedAt = -1;
    DropHooks hooks;
    hooks.dropping = [&](const QString& name) {
        noticedAt = name == "ufdata_001_2015" ? server.log.size() : -2;
    };
    EXPECT_TRUE(DeleteYear_UF("001", "2015", db, true, hooks).ok());
    EXPECT_TRUE(noticedAt > at(kYearDatabases) &&
                noticedAt <= at("drop database [ufdata_001_2015]"));
    EXPECT_LT(at("drop database [ufdata_001_2015]"), at("BEGIN"));
    EXPECT_TRUE(sent("delete UFSystem..[ua_task] where [cacc_id]='001' and  [iBeginYear]='2015'"));
    EXPECT_TRUE(
        sent("UPDATE UFSystem..UA_Period SET bIsDelete=1 WHERE cAcc_Id='001' AND iyear=2015"));
}

TEST_F(CatalogueTest, TPlusAccountRowGoesLastThenItsDatabase) {
    const QString row = "delete UFTSystem..EAP_Account where DSName='UFTData1_001'";
    server.answer("select name,filename from master..sysdatabases where name='UFTData1_001'",
                  table({"name", "filename"}, {{"UFTData1_001", QString()}}));
    EXPECT_TRUE(tplusAccount(db).ok());
    EXPECT_TRUE(sent("delete from UFTSystem..eap_backupplans where cast(cAcc_id as int) in (select "
                     "cacc_num from UFTSystem..EAP_Account where dsname='UFTData1_001')"));
    EXPECT_EQ(at(row) + 1, at("COMMIT"));
    EXPECT_GT(at("drop database [UFTData1_001]"), at("COMMIT"));
}

// A name too long for the server is refused; any other is quoted as a literal.
TEST_F(CatalogueTest, TPlusNameTooLongOrQuoted) {
    db->known = false;
    EXPECT_FALSE(DeleteAcc_TN(QString(129, u'a'), db, true).ok());
    EXPECT_TRUE(DeleteAcc_TN("x' or '1'='1", db, false).ok());
    EXPECT_EQ(server.log, QStringList{"master: select DSName from UFTSystem..EAP_Account where 1=1 "
                                      "and DSName='x'' or ''1''=''1'"});
}

} // namespace
} // namespace quenlor
