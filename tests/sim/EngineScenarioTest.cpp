// The engine built from scenarios: files the loader or the engine refuses, generated account
// sets, and every shipped scenario with its databases, files and rows.

#include "sim/EngineFixture.h"

#include <algorithm>
#include <stdexcept>

namespace quenlor::sim::test {
namespace {

struct BrokenScenario {
    const char* name;
    const char* json;
    const char* reason; // what the loader's or the engine's refusal says
};

const BrokenScenario kBroken[] = {
    {"UnknownFlag", R"({"databases":[{"name":"S","flags":["IsFrozen"]}]})",
     "unknown flag IsFrozen"},
    {"DatabaseWithoutName", R"({"databases":[{"file":"x.mdf"}]})", "a database without a name"},
    {"MissingSchema", R"({"databases":[{"name":"S","schema":"nosuch"}]})", "schemas/nosuch.json"},
    {"TooManyGeneratedAccountSets", R"({"generate":{"accounts":1000,"years":1}})", "at most 999"},
    {"GeneratedWithoutACatalogue",
     R"({"databases":[{"name":"S"}],"generate":{"accounts":1,"years":1,"database":"S"}})",
     "generated account sets need a catalogue"},
    {"DatabaseListedTwice", R"({"databases":[{"name":"HRDB"},{"name":"hrdb"}]})", "twice: hrdb"},
    {"RowsForAPlainDatabase", R"({"databases":[{"name":"S"}],"rows":{"S":{"T":[{}]}}})",
     "rows for a database without tables: S"},
    {"RowsForAnUnknownDatabase", R"({"rows":{"Nowhere":{"T":[{}]}}})", "without tables: Nowhere"},
};

TEST(ScenarioLoader, BrokenScenariosAreRefusedWithTheirReason) {
    for (const BrokenScenario& row : kBroken) {
        SCOPED_TRACE(row.name);
        ScenarioFolder folder;
        Scenario scenario;
        QString error;
        if (loadScenario(folder.write(u"scenarios/broken.json"_s, row.json), &scenario, &error)) {
            QTemporaryDir data;
            try {
                Engine engine(scenario, data.path());
                ADD_FAILURE() << "the engine accepted the scenario";
            } catch (const std::runtime_error& e) {
                error = QString::fromUtf8(e.what());
            }
        }
        EXPECT_TRUE(error.contains(QString::fromUtf8(row.reason))) << error.toStdString();
    }
}

TEST_F(EngineTest, GeneratedAccountSetsHaveADatabaseAndTwelvePeriodsPerYear) {
    ScenarioFolder folder;
    folder.copySchema(u"ufsystem-classic"_s);
    build(folder.write(u"scenarios/generated.json"_s, R"({"server": {"password": "pw"},
        "databases": [{"name": "UFSystem", "schema": "ufsystem-classic"}],
        "generate": {"accounts": 3, "firstYear": 2019, "years": 2, "database": "UFSystem"}})"));
    Session s;
    ASSERT_EQ(login(s, 1, u"UFSystem"_s), 0);
    EXPECT_EQ(
        run(u"select name from master..sysdatabases where name like 'ufdata%' order by name"_s, s),
        u"'UFDATA_001_2019'; 'UFDATA_001_2020'; 'UFDATA_002_2019'; 'UFDATA_002_2020'; "
        "'UFDATA_003_2019'; 'UFDATA_003_2020'"_s);
    EXPECT_EQ(run(u"select iYear, count(*), min(dBegin), max(dEnd) from UA_Period where "
                  "cAcc_Id='002' group by iYear order by iYear; select count(*) from UA_Period; "
                  "select dEnd from UA_Period where cAcc_Id='003' and iYear=2020 and iId=2; "
                  "select cAcc_Name, iYear from UA_Account where cAcc_Id='003'; select iYear from "
                  "UA_HoldAuth"_s,
                  s),
              u"2019,12,'2019-01-01','2019-12-31'; 2020,12,'2020-01-01','2020-12-31' / 72 / "
              "'2020-02-29' / '第003号演示账套',2019 / 2020; 2020; 2020"_s);
    EXPECT_EQ(engine->database(u"UFDATA_002_2020"_s)->file,
              file(u"U8SOFT/ZT002/2020/UFDATA.MDF"_s));
}

TEST_F(EngineTest, EveryShippedScenarioLoadsWithItsDatabasesFilesAndRows) {
    const QStringList names = QDir(scenarioFolder()).entryList({u"*.json"_s}, QDir::Files);
    ASSERT_FALSE(names.isEmpty());
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        Scenario scenario;
        QString error;
        ASSERT_TRUE(loadScenario(QDir(scenarioFolder()).filePath(name), &scenario, &error))
            << error.toStdString();
        // Two generated account sets stand for any number; the test above covers them.
        scenario.generate.accounts = std::min(scenario.generate.accounts, 2);
        engine = std::make_unique<Engine>(scenario, data.path());
        for (const DatabaseDef& def : scenario.databases) {
            const std::optional<DatabaseState> db = engine->database(def.name);
            ASSERT_TRUE(db.has_value()) << def.name.toStdString();
            EXPECT_EQ(db->file, file(def.file));
            EXPECT_TRUE(QFile::exists(db->logFile)) << db->logFile.toStdString();
        }
        for (auto db = scenario.rows.begin(); db != scenario.rows.end(); ++db) {
            for (auto t = db.value().begin(); t != db.value().end(); ++t)
                EXPECT_EQ(
                    engine->value(u"select count(*) from \"%1\".\"%2\""_s.arg(db.key(), t.key()))
                        .toLongLong(),
                    t.value().size())
                    << db.key().toStdString() << ".." << t.key().toStdString();
        }
    }
}

} // namespace
} // namespace quenlor::sim::test
