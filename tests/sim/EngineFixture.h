#pragma once

// What the engine's tests share: scenario files written to a temporary folder, a small scenario
// with the shapes that matter, an engine over a temporary data folder, and replies as one line.

#include "sim/Engine.h"
#include "sim/Scenario.h"
#include "support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace quenlor::sim::test {

using namespace Qt::StringLiterals;

// Scenario files laid out as the loader expects: scenarios/ beside schemas/, which takes copies
// of the shipped schemas.
struct ScenarioFolder {
    QTemporaryDir root;
    QString path(const QString& relative) const { return QDir(root.path()).filePath(relative); }
    QString write(const QString& relative, const QByteArray& json) {
        QDir().mkpath(path(relative).section(u'/', 0, -2));
        QFile f(path(relative));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(json) == json.size());
        return path(relative);
    }
    void copySchema(const QString& name) {
        const QString relative = u"schemas/"_s + name + u".json"_s;
        QDir().mkpath(path(u"schemas"_s));
        EXPECT_TRUE(
            QFile::copy(QDir(scenarioFolder()).filePath(u"../"_s + relative), path(relative)));
    }
};

// Departments differ in case and trailing blanks; Archive is a read-only catalogue of the other
// kind; Busy and Solo are held by other programs.
inline constexpr char kSmallScenario[] = R"({
 "server": {"productVersion": "10.50.6000.34", "language": "en", "password": "Quenlor#2026"},
 "databases": [{"name": "UFSystem", "schema": "ufsystem-classic"}, {"name": "UFDATA_001_2023"},
  {"name": "UFDATA_001_2024"}, {"name": "Archive", "schema": "uftsystem", "flags": ["IsReadOnly"]},
  {"name": "OA_Offline", "flags": ["IsOffline"]}, {"name": "Busy", "otherUsers": 1},
  {"name": "Solo", "flags": ["IsSingleUser"], "otherUsers": 1}, {"name": "Acc]ount"}],
 "rows": {"UFSystem": {"UA_Account": [{"cAcc_Id": "001", "cAcc_Name": "北方重工"},
   {"cAcc_Id": "002", "cAcc_Name": "Demo"}], "UA_User": [{"cUser_Id": "admin", "cDept": "Finance"},
   {"cUser_Id": "Bob", "cDept": "IT"}, {"cUser_Id": "li", "cDept": "财务部"}, {"cUser_Id": "wang",
   "cDept": "财务部  "}, {"cUser_Id": "zhang", "cDept": "FINANCE "}, {"cUser_Id": "zhao"}],
  "UA_Period": [{"cAcc_Id": "001", "iYear": 2023, "iId": 1, "bIsDelete": 0}, {"cAcc_Id": "001",
   "iYear": 2024, "iId": 1, "bIsDelete": 0}, {"cAcc_Id": "002", "iYear": 2024, "iId": 1,
   "bIsDelete": 0}], "UA_UserAccount": [{"cUser_Id": "admin", "cAccCode": "001"}]},
  "Archive": {"EAP_Account": [{"ID": 1, "cAcc_Name": "Old", "mRegCapital": 8800000.5},
   {"ID": 2, "cAcc_Name": "Older", "mRegCapital": 5000000}]}}})";

// Rows as one line: "; " between rows, "," between values, texts quoted.
inline QString shownRows(const QList<QList<QVariant>>& rows) {
    QStringList out;
    for (const QList<QVariant>& row : rows) {
        QStringList cells;
        for (const QVariant& v : row)
            cells << (v.isNull()                         ? u"NULL"_s
                      : v.typeId() == QMetaType::QString ? u'\'' + v.toString() + u'\''
                                                         : v.toString());
        out << cells.join(u',');
    }
    return out.join(u"; "_s);
}

// A reply as one line, " / " between its results: a result set's rows (its column types when it
// has none), "N rows" for a change, "#N" for a message.
inline QString shown(const Reply& reply) {
    QStringList results;
    for (const Result& r : reply.results) {
        if (const auto* count = std::get_if<RowCount>(&r)) {
            results << QString::number(count->rows) + u" rows"_s;
        } else if (const auto* m = std::get_if<Message>(&r)) {
            results << u'#' + QString::number(m->number);
        } else if (const auto& set = std::get<ResultSet>(r); set.rows.isEmpty()) {
            QStringList types;
            for (const Column& c : set.columns)
                types << (c.type == ColumnType::Int ? u"int"_s : u"text"_s);
            results << u"no rows of "_s + types.join(u',');
        } else {
            results << shownRows(set.rows);
        }
    }
    return results.join(u" / "_s);
}

class EngineTest : public ::testing::Test {
protected:
    // The engine of a scenario file, on a server of another version when one is given.
    void build(const QString& scenarioPath, const char* version = nullptr) {
        Scenario scenario;
        QString error;
        ASSERT_TRUE(loadScenario(scenarioPath, &scenario, &error)) << error.toStdString();
        if (version)
            scenario.server.productVersion = QString::fromLatin1(version);
        engine = std::make_unique<Engine>(scenario, data.path());
    }

    void buildSmall(const char* version = nullptr) {
        ScenarioFolder folder;
        folder.copySchema(u"ufsystem-classic"_s);
        folder.copySchema(u"uftsystem"_s);
        build(folder.write(u"scenarios/small.json"_s, kSmallScenario), version);
    }

    // Logs a session in with the server's own login; the number of the refusal, or 0.
    int login(Session& session, int id, const QString& database = QString()) {
        session.id = id;
        session.user = engine->server().user;
        session.password = engine->server().password;
        session.database = database;
        const std::optional<Message> refused = engine->login(session);
        return refused ? refused->number : 0;
    }

    QString run(const QString& sql, Session& session) { return shown(engine->batch(sql, session)); }

    QString file(const QString& relative) const { return QDir(data.path()).filePath(relative); }

    QTemporaryDir data;
    std::unique_ptr<Engine> engine;
};

} // namespace quenlor::sim::test
