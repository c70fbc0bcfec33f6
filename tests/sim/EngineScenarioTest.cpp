// The engine built from scenarios: files the loader or the engine refuses, generated account
// sets, and every shipped scenario with its databases, files and rows.

#include "sim/EngineFixture.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <stdexcept>

namespace quenlor::sim::test {

// ---- scenarios ----

namespace {

// A scenario file in a folder of its own, beside a schemas folder as the loader expects.
struct ScenarioFolder {
    QTemporaryDir root;
    QString write(const QString& name, const QJsonObject& content) {
        QDir(root.path()).mkpath(u"scenarios"_s);
        QDir(root.path()).mkpath(u"schemas"_s);
        const QString path = QDir(root.path()).filePath(u"scenarios/"_s + name + u".json"_s);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            ADD_FAILURE() << "cannot write " << path.toStdString();
        f.write(QJsonDocument(content).toJson());
        return path;
    }
    bool copySchema(const QString& name) {
        QDir(root.path()).mkpath(u"schemas"_s);
        return QFile::copy(QDir(scenarioFolder()).filePath(u"../schemas/"_s + name + u".json"_s),
                           QDir(root.path()).filePath(u"schemas/"_s + name + u".json"_s));
    }
};

QJsonObject json(const QString& text) {
    return QJsonDocument::fromJson(text.toUtf8()).object();
}

QString loadError(const QString& path) {
    Scenario s;
    QString error;
    EXPECT_FALSE(loadScenario(path, &s, &error));
    return error;
}

std::string engineError(const Scenario& scenario, const QString& folder) {
    try {
        Engine e(scenario, folder);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    ADD_FAILURE() << "the engine accepted the scenario";
    return {};
}

} // namespace

TEST(ScenarioLoader, BrokenScenariosAreRefusedWithAReason) {
    ScenarioFolder folder;
    ASSERT_TRUE(folder.root.isValid());
    const QString flag = folder.write(
        u"flag"_s, json(u"{\"databases\":[{\"name\":\"HRDB\",\"flags\":[\"IsFrozen\"]}]}"_s));
    EXPECT_EQ(loadError(flag), flag + u": unknown flag IsFrozen on HRDB"_s);

    const QString unnamed =
        folder.write(u"unnamed"_s, json(u"{\"databases\":[{\"file\":\"x\"}]}"_s));
    EXPECT_EQ(loadError(unnamed), unnamed + u": a database without a name"_s);

    const QString schema = folder.write(
        u"schema"_s, json(u"{\"databases\":[{\"name\":\"UFSystem\",\"schema\":\"nosuch\"}]}"_s));
    const QString missing = loadError(schema);
    EXPECT_TRUE(missing.startsWith(u"cannot read "_s)) << missing.toStdString();
    EXPECT_TRUE(missing.contains(u"schemas/nosuch.json: "_s)) << missing.toStdString();

    const QString many = folder.write(
        u"many"_s,
        json(u"{\"generate\":{\"accounts\":1000,\"years\":1,\"database\":\"UFSystem\"}}"_s));
    EXPECT_EQ(loadError(many), many + u": at most 999 generated account sets"_s);

    QTemporaryDir data;
    Scenario twice = smallScenario();
    twice.databases << DatabaseDef{u"ufdata_001_2024"_s, u"elsewhere.mdf"_s, {}, {}, 0};
    EXPECT_EQ(engineError(twice, data.path()), "database listed twice: ufdata_001_2024");

    Scenario plainRows = smallScenario();
    plainRows.rows[u"UFDATA_001_2023"_s][u"UA_Account"_s] = {row({{u"cAcc_Id"_s, u"001"_s}})};
    EXPECT_EQ(engineError(plainRows, data.path()),
              "rows for a database without tables: UFDATA_001_2023");

    Scenario unknownRows = smallScenario();
    unknownRows.rows[u"Nowhere"_s][u"UA_Account"_s] = {row({{u"cAcc_Id"_s, u"001"_s}})};
    EXPECT_EQ(engineError(unknownRows, data.path()), "rows for a database without tables: Nowhere");
}

TEST_F(EngineTest, GeneratedAccountSetsHaveADatabaseAndTwelvePeriodsPerYear) {
    ScenarioFolder folder;
    ASSERT_TRUE(folder.copySchema(u"ufsystem-classic"_s));
    const QString path = folder.write(
        u"generated"_s,
        json(u"{\"server\":{\"productVersion\":\"11.0.7001.0\",\"password\":\"Quenlor#2026\"},"
             "\"databases\":[{\"name\":\"UFSystem\",\"file\":\"U8SOFT/Admin/UFSystem.MDF\","
             "\"schema\":\"ufsystem-classic\"}],"
             "\"generate\":{\"accounts\":3,\"firstYear\":2019,\"years\":2,"
             "\"database\":\"UFSystem\"}}"_s));
    Scenario scenario;
    QString error;
    ASSERT_TRUE(loadScenario(path, &scenario, &error)) << error.toStdString();
    EXPECT_EQ(scenario.generate.accounts, 3);
    EXPECT_EQ(scenario.generate.firstYear, 2019);
    build(scenario);
    Session s = open(1);

    EXPECT_EQ(column(select(u"select name from master..sysdatabases where name like 'ufdata%' "
                            "order by name"_s,
                            s)),
              (QStringList{u"UFDATA_001_2019"_s, u"UFDATA_001_2020"_s, u"UFDATA_002_2019"_s,
                           u"UFDATA_002_2020"_s, u"UFDATA_003_2019"_s, u"UFDATA_003_2020"_s}));
    EXPECT_EQ(select(u"select cAcc_Id, iYear, count(*), min(dBegin), max(dEnd) from "
                     "UFSystem..UA_Period where cAcc_Id='002' group by cAcc_Id, iYear order by "
                     "iYear"_s,
                     s),
              (QList<QList<QVariant>>{{u"002"_s, 2019, 12, u"2019-01-01"_s, u"2019-12-31"_s},
                                      {u"002"_s, 2020, 12, u"2020-01-01"_s, u"2020-12-31"_s}}));
    EXPECT_EQ(scalar(u"select count(*) from UFSystem..UA_Period"_s, s), 72);
    EXPECT_EQ(scalar(u"select dEnd from UFSystem..UA_Period where cAcc_Id='003' and "
                     "iYear=2020 and iId=2"_s,
                     s),
              u"2020-02-29"_s);
    EXPECT_EQ(select(u"select cAcc_Name, iYear from UFSystem..UA_Account where cAcc_Id='003'"_s, s),
              (QList<QList<QVariant>>{{u"第003号演示账套"_s, 2019}}));
    EXPECT_EQ(scalar(u"select iYear from UFSystem..UA_HoldAuth where cAcc_Id='001'"_s, s), 2020);

    const QList<QList<QVariant>> files =
        select(u"select name,filename from master..sysdatabases where name like "
               "'ufdata[_]002[_]%' order by name"_s,
               s);
    ASSERT_EQ(files.size(), 2);
    EXPECT_EQ(files[1][1].toString(),
              QDir::toNativeSeparators(file(u"U8SOFT/ZT002/2020/UFDATA.MDF"_s)));
    EXPECT_TRUE(QFile::exists(file(u"U8SOFT/ZT002/2020/UFDATA.MDF"_s)));
    EXPECT_TRUE(QFile::exists(file(u"U8SOFT/ZT002/2020/UFDATA_log.LDF"_s)));
}

TEST_F(EngineTest, EveryShippedScenarioBuildsWithItsDatabasesFilesAndRows) {
    for (const QString& name : {u"realistic"_s, u"u8new"_s, u"tplus"_s, u"both"_s, u"sql2000"_s}) {
        SCOPED_TRACE(name.toStdString());
        Scenario scenario;
        QString error;
        ASSERT_TRUE(
            loadScenario(QDir(scenarioFolder()).filePath(name + u".json"_s), &scenario, &error))
            << error.toStdString();
        engine.reset();
        QDir(data.path()).removeRecursively();
        build(scenario);

        Session s;
        s.id = 1;
        s.user = scenario.server.user;
        s.password = scenario.server.password;
        ASSERT_FALSE(engine->login(s).has_value());
        EXPECT_EQ(engine->majorVersion(),
                  scenario.server.productVersion.section(u'.', 0, 0).toInt());
        EXPECT_EQ(scalar(u"select count(*) from master..sysdatabases"_s, s),
                  scenario.databases.size() + 4);
        for (const DatabaseDef& def : scenario.databases) {
            const std::optional<DatabaseState> db = engine->database(def.name);
            ASSERT_TRUE(db.has_value()) << def.name.toStdString();
            EXPECT_EQ(db->file, file(def.file));
            EXPECT_TRUE(QFile::exists(db->file)) << db->file.toStdString();
            EXPECT_TRUE(QFile::exists(db->logFile)) << db->logFile.toStdString();
            EXPECT_EQ(QSet<QString>(def.flags.begin(), def.flags.end()), db->flags);
        }
        for (auto db = scenario.rows.begin(); db != scenario.rows.end(); ++db) {
            for (auto t = db.value().begin(); t != db.value().end(); ++t) {
                EXPECT_EQ(scalar(u"select count(*) from %1..[%2]"_s.arg(db.key(), t.key()), s),
                          t.value().size())
                    << db.key().toStdString() << ".." << t.key().toStdString();
            }
        }
        // The messages speak the scenario's language.
        const QString unknown = texts(run(u"use NoSuch"_s, s)).value(0);
        EXPECT_EQ(unknown, scenario.server.language == u"en"_s
                               ? u"Database 'NoSuch' does not exist. Make sure that the name is "
                                 "entered correctly."_s
                               : u"数据库 'NoSuch' 不存在。请确保正确地输入了该名称。"_s);
    }
}

} // namespace quenlor::sim::test
