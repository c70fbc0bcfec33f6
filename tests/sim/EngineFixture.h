#pragma once

// What the engine's tests share: a small scenario with the shapes that matter, a fixture that
// builds an engine over a temporary data folder and logs sessions in, and readers of replies.

#include "sim/Engine.h"
#include "sim/Scenario.h"
#include "support/QtPrinters.h"

#include <QDir>
#include <QTemporaryDir>
#include <QVariant>

#include <gtest/gtest.h>

#include <memory>

// Values in failure output as the engine's text, a number or NULL.
inline void PrintTo(const QVariant& v, std::ostream* os) {
    if (v.isNull())
        *os << "NULL";
    else if (v.typeId() == QMetaType::QString)
        *os << '"' << v.toString().toStdString() << '"';
    else
        *os << v.toString().toStdString() << " (" << v.typeName() << ')';
}

namespace quenlor::sim::test {

using namespace Qt::StringLiterals;

inline const QString kPassword = u"Quenlor#2026"_s;

inline ServerDef server(const QString& version, const QString& language) {
    ServerDef s;
    s.productVersion = version;
    s.language = language;
    s.password = kPassword;
    return s;
}

// A catalogue with the shapes that matter: a parent table, a child with a key of three columns,
// a link table whose foreign key column is not its first, and a name that needs brackets.
inline SchemaDef catalogueSchema() {
    SchemaDef schema;
    schema.tables << TableDef{u"UA_Account"_s,
                              {{u"cAcc_Id"_s, u"nvarchar(3)"_s, true},
                               {u"cAcc_Name"_s, u"nvarchar(80)"_s},
                               {u"iYear"_s, u"smallint"_s},
                               {u"mCapital"_s, u"money"_s}},
                              {u"cAcc_Id"_s},
                              {}};
    schema.tables << TableDef{
        u"UA_User"_s,
        {{u"cUser_Id"_s, u"nvarchar(20)"_s, true}, {u"cDept"_s, u"nvarchar(40)"_s}},
        {u"cUser_Id"_s},
        {}};
    schema.tables << TableDef{
        u"UA_Period"_s,
        {{u"cAcc_Id"_s, u"nvarchar(3)"_s, true},
         {u"iYear"_s, u"smallint"_s, true},
         {u"iId"_s, u"tinyint"_s, true},
         {u"bIsDelete"_s, u"bit"_s}},
        {u"cAcc_Id"_s, u"iYear"_s, u"iId"_s},
        {{u"FK_UA_Period_UA_Account"_s, {u"cAcc_Id"_s}, u"UA_Account"_s, {u"cAcc_Id"_s}}}};
    schema.tables << TableDef{
        u"UA_UserAccount"_s,
        {{u"cUser_Id"_s, u"nvarchar(20)"_s, true},
         {u"cRole_Id"_s, u"nvarchar(20)"_s},
         {u"cAccCode"_s, u"nvarchar(3)"_s, true}},
        {u"cUser_Id"_s, u"cAccCode"_s},
        {{u"FK_UA_UserAccount_UA_User"_s, {u"cUser_Id"_s}, u"UA_User"_s, {u"cUser_Id"_s}},
         {u"FK_UA_UserAccount_UA_Account"_s, {u"cAccCode"_s}, u"UA_Account"_s, {u"cAcc_Id"_s}}}};
    schema.tables << TableDef{u"Odd]Name"_s, {{u"x"_s, u"int"_s}}, {}, {}};
    return schema;
}

inline Row row(std::initializer_list<std::pair<const QString, QVariant>> cells) {
    return Row(cells);
}

inline Scenario smallScenario(const QString& version = u"10.50.6000.34"_s,
                              const QString& language = u"en"_s) {
    Scenario s;
    s.server = server(version, language);
    s.schemas.insert(u"cat"_s, catalogueSchema());
    s.databases = {
        {u"UFSystem"_s, u"U8SOFT/Admin/UFSystem.MDF"_s, u"cat"_s, {}, 0},
        {u"UFDATA_001_2023"_s, u"U8SOFT/ZT001/2023/UFDATA.MDF"_s, {}, {}, 0},
        {u"UFDATA_001_2024"_s, u"U8SOFT/ZT001/2024/UFDATA.MDF"_s, {}, {}, 0},
        {u"Archive"_s, u"Archive/Archive.mdf"_s, u"cat"_s, {u"IsReadOnly"_s}, 0},
        {u"OA_Offline"_s, u"MSSQL/DATA/OA_Offline.mdf"_s, {}, {u"IsOffline"_s}, 0},
        {u"Busy"_s, u"MSSQL/DATA/Busy.mdf"_s, {}, {}, 1},
        {u"Solo"_s, u"MSSQL/DATA/Solo.mdf"_s, {}, {u"IsSingleUser"_s}, 1},
        {u"Acc]ount"_s, {}, {}, {}, 0},
        {u"测试库"_s, u"MSSQL/DATA/测试库.mdf"_s, {}, {}, 0},
    };
    s.rows[u"UFSystem"_s][u"UA_Account"_s] = {row({{u"cAcc_Id"_s, u"001"_s},
                                                   {u"cAcc_Name"_s, u"北方重工"_s},
                                                   {u"iYear"_s, 2023},
                                                   {u"mCapital"_s, 8800000.5}}),
                                              row({{u"cAcc_Id"_s, u"002"_s},
                                                   {u"cAcc_Name"_s, u"Demo"_s},
                                                   {u"iYear"_s, 2024},
                                                   {u"mCapital"_s, 5000000}})};
    s.rows[u"UFSystem"_s][u"UA_User"_s] = {
        row({{u"cUser_Id"_s, u"admin"_s}, {u"cDept"_s, u"Finance"_s}}),
        row({{u"cUser_Id"_s, u"Bob"_s}, {u"cDept"_s, u"IT"_s}}),
        row({{u"cUser_Id"_s, u"li"_s}, {u"cDept"_s, u"财务部"_s}}),
        row({{u"cUser_Id"_s, u"wang"_s}, {u"cDept"_s, u"财务部  "_s}}),
        row({{u"cUser_Id"_s, u"zhang"_s}, {u"cDept"_s, u"FINANCE "_s}}),
        row({{u"cUser_Id"_s, u"zhao"_s}, {u"cDept"_s, QVariant()}})};
    s.rows[u"UFSystem"_s][u"UA_Period"_s] = {
        row({{u"cAcc_Id"_s, u"001"_s}, {u"iYear"_s, 2023}, {u"iId"_s, 1}, {u"bIsDelete"_s, 0}}),
        row({{u"cAcc_Id"_s, u"001"_s}, {u"iYear"_s, 2023}, {u"iId"_s, 2}, {u"bIsDelete"_s, 0}}),
        row({{u"cAcc_Id"_s, u"002"_s}, {u"iYear"_s, 2024}, {u"iId"_s, 1}, {u"bIsDelete"_s, 0}})};
    s.rows[u"UFSystem"_s][u"UA_UserAccount"_s] = {
        row({{u"cUser_Id"_s, u"admin"_s}, {u"cRole_Id"_s, u"r1"_s}, {u"cAccCode"_s, u"001"_s}})};
    s.rows[u"Archive"_s][u"UA_Account"_s] = {
        row({{u"cAcc_Id"_s, u"009"_s}, {u"cAcc_Name"_s, u"Old"_s}, {u"iYear"_s, 2010}})};
    return s;
}

inline QList<int> numbers(const Reply& reply) {
    QList<int> out;
    for (const Result& r : reply.results) {
        if (const auto* m = std::get_if<Message>(&r))
            out << m->number;
    }
    return out;
}

inline QStringList texts(const Reply& reply) {
    QStringList out;
    for (const Result& r : reply.results) {
        if (const auto* m = std::get_if<Message>(&r))
            out << m->text;
    }
    return out;
}

inline QList<qint64> rowCounts(const Reply& reply) {
    QList<qint64> out;
    for (const Result& r : reply.results) {
        if (const auto* c = std::get_if<RowCount>(&r))
            out << c->rows;
    }
    return out;
}

inline ResultSet onlySet(const Reply& reply) {
    if (reply.results.size() != 1 || !std::holds_alternative<ResultSet>(reply.results.front())) {
        ADD_FAILURE() << "not one result set; messages: "
                      << texts(reply).join(u" | "_s).toStdString();
        return {};
    }
    return std::get<ResultSet>(reply.results.front());
}

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(data.isValid()); }

    void build(const Scenario& scenario) {
        engine = std::make_unique<Engine>(scenario, data.path());
    }

    Session open(int id, const QString& database = QString()) {
        Session s;
        s.id = id;
        s.user = u"sa"_s;
        s.password = kPassword;
        s.database = database;
        const std::optional<Message> refused = engine->login(s);
        EXPECT_FALSE(refused.has_value()) << (refused ? refused->text.toStdString() : "");
        return s;
    }

    Reply run(const QString& sql, Session& session) { return engine->batch(sql, session); }

    QList<QList<QVariant>> select(const QString& sql, Session& session) {
        return onlySet(run(sql, session)).rows;
    }

    QVariant scalar(const QString& sql, Session& session) {
        const QList<QList<QVariant>> rows = select(sql, session);
        return rows.isEmpty() || rows.first().isEmpty() ? QVariant() : rows.first().first();
    }

    qint64 count(const QString& engineTable) {
        return engine->value(u"select count(*) from "_s + engineTable).toLongLong();
    }

    QString file(const QString& relative) const { return QDir(data.path()).filePath(relative); }

    QTemporaryDir data;
    std::unique_ptr<Engine> engine;
};

inline QStringList column(const QList<QList<QVariant>>& rows, int c = 0) {
    QStringList out;
    for (const QList<QVariant>& r : rows)
        out << (r.value(c).isNull() ? u"<null>"_s : r.value(c).toString());
    return out;
}

} // namespace quenlor::sim::test
