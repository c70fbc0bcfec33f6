#include "sim/Scenario.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#ifndef QUENLOR_SIM_SCENARIOS
#error "The scenario folder comes from src/CMakeLists.txt"
#endif

namespace quenlor::sim {

namespace {

bool readJson(const QString& path, QJsonObject* object, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    QJsonParseError parse{};
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parse);
    if (parse.error != QJsonParseError::NoError || !doc.isObject()) {
        *error =
            QStringLiteral("%1: %2 at offset %3").arg(path, parse.errorString()).arg(parse.offset);
        return false;
    }
    *object = doc.object();
    return true;
}

QStringList strings(const QJsonValue& value) {
    QStringList list;
    for (const QJsonValue& v : value.toArray())
        list << v.toString();
    return list;
}

bool readSchema(const QString& path, SchemaDef* schema, QString* error) {
    QJsonObject root;
    if (!readJson(path, &root, error))
        return false;
    for (const QJsonValue& t : root.value(QLatin1String("tables")).toArray()) {
        const QJsonObject o = t.toObject();
        TableDef table;
        table.name = o.value(QLatin1String("name")).toString();
        for (const QJsonValue& c : o.value(QLatin1String("columns")).toArray()) {
            const QJsonObject co = c.toObject();
            table.columns << ColumnDef{co.value(QLatin1String("name")).toString(),
                                       co.value(QLatin1String("type")).toString(),
                                       co.value(QLatin1String("notNull")).toBool()};
        }
        table.primaryKey = strings(o.value(QLatin1String("primaryKey")));
        for (const QJsonValue& f : o.value(QLatin1String("foreignKeys")).toArray()) {
            const QJsonObject fo = f.toObject();
            table.foreignKeys << ForeignKeyDef{fo.value(QLatin1String("name")).toString(),
                                               strings(fo.value(QLatin1String("columns"))),
                                               fo.value(QLatin1String("references")).toString(),
                                               strings(fo.value(QLatin1String("refColumns")))};
        }
        if (table.name.isEmpty() || table.columns.isEmpty()) {
            *error = QStringLiteral("%1: a table without a name or columns").arg(path);
            return false;
        }
        schema->tables << table;
    }
    return true;
}

QVariant cellValue(const QJsonValue& v) {
    switch (v.type()) {
    case QJsonValue::Bool:
        return v.toBool() ? 1 : 0;
    case QJsonValue::Double: {
        const double d = v.toDouble();
        if (d == double(qint64(d)))
            return qint64(d);
        return d;
    }
    case QJsonValue::String:
        return v.toString();
    default:
        return QVariant();
    }
}

} // namespace

const QStringList& databaseFlags() {
    static const QStringList flags = {
        QStringLiteral("IsReadOnly"),      QStringLiteral("IsSingleUser"),
        QStringLiteral("IsShutdown"),      QStringLiteral("IsEmergencyMode"),
        QStringLiteral("IsInStandBy"),     QStringLiteral("IsDetached"),
        QStringLiteral("IsDboOnly"),       QStringLiteral("IsInLoad"),
        QStringLiteral("IsInRecovery"),    QStringLiteral("IsOffline"),
        QStringLiteral("IsSuspect"),       QStringLiteral("IsPublished"),
        QStringLiteral("IsMergePublished")};
    return flags;
}

QString scenarioFolder() {
    return QStringLiteral(QUENLOR_SIM_SCENARIOS);
}

std::unique_ptr<QTemporaryDir> makeDataFolder() {
    const QDir memory(QStringLiteral("/dev/shm"));
    const QDir root =
        memory.exists() && QFileInfo(memory.path()).isWritable() ? memory : QDir::temp();
    for (int attempt = 0; attempt < 20; ++attempt) {
        auto folder =
            std::make_unique<QTemporaryDir>(root.filePath(QStringLiteral("quenlor-sim-XXXXXX")));
        if (folder->isValid() && !folder->path().contains(QLatin1String("zt"), Qt::CaseInsensitive))
            return folder;
    }
    return nullptr;
}

bool loadScenario(const QString& path, Scenario* scenario, QString* error) {
    QJsonObject root;
    if (!readJson(path, &root, error))
        return false;
    Scenario s;
    s.description = root.value(QLatin1String("description")).toString();

    const QJsonObject server = root.value(QLatin1String("server")).toObject();
    auto text = [&](const char* key, const QString& fallback) {
        const QJsonValue v = server.value(QLatin1String(key));
        return v.isString() ? v.toString() : fallback;
    };
    s.server.productVersion = text("productVersion", s.server.productVersion);
    s.server.productLevel = text("productLevel", s.server.productLevel);
    s.server.edition = text("edition", s.server.edition);
    s.server.language = text("language", s.server.language);
    s.server.user = text("user", s.server.user);
    s.server.password = text("password", s.server.password);
    const QJsonObject delays = server.value(QLatin1String("delays")).toObject();
    for (auto d = delays.begin(); d != delays.end(); ++d)
        s.server.delays.append({d.key(), d.value().toInt()});

    const QDir schemas(QFileInfo(path).absoluteDir().filePath(QStringLiteral("../schemas")));
    for (const QJsonValue& d : root.value(QLatin1String("databases")).toArray()) {
        const QJsonObject o = d.toObject();
        DatabaseDef db;
        db.name = o.value(QLatin1String("name")).toString();
        db.file = o.value(QLatin1String("file")).toString();
        db.schema = o.value(QLatin1String("schema")).toString();
        db.flags = strings(o.value(QLatin1String("flags")));
        db.otherUsers = o.value(QLatin1String("otherUsers")).toInt();
        db.dataMb = o.value(QLatin1String("dataMb")).toInt(db.dataMb);
        db.logMb = o.value(QLatin1String("logMb")).toInt(db.logMb);
        db.snapshotOf = o.value(QLatin1String("snapshotOf")).toString();
        db.availabilityGroup = o.value(QLatin1String("availabilityGroup")).toString();
        if (db.name.isEmpty()) {
            *error = QStringLiteral("%1: a database without a name").arg(path);
            return false;
        }
        for (const QString& flag : db.flags) {
            if (!databaseFlags().contains(flag)) {
                *error = QStringLiteral("%1: unknown flag %2 on %3").arg(path, flag, db.name);
                return false;
            }
        }
        if (!db.schema.isEmpty() && !s.schemas.contains(db.schema)) {
            SchemaDef schema;
            if (!readSchema(schemas.filePath(db.schema + QStringLiteral(".json")), &schema, error))
                return false;
            s.schemas.insert(db.schema, schema);
        }
        s.databases << db;
    }

    const QJsonObject rows = root.value(QLatin1String("rows")).toObject();
    for (auto db = rows.begin(); db != rows.end(); ++db) {
        const QJsonObject tables = db.value().toObject();
        for (auto t = tables.begin(); t != tables.end(); ++t) {
            QList<Row>& list = s.rows[db.key()][t.key()];
            for (const QJsonValue& r : t.value().toArray()) {
                const QJsonObject ro = r.toObject();
                Row row;
                for (auto c = ro.begin(); c != ro.end(); ++c)
                    row.insert(c.key(), cellValue(c.value()));
                list << row;
            }
        }
    }

    const QJsonObject generate = root.value(QLatin1String("generate")).toObject();
    s.generate.accounts = generate.value(QLatin1String("accounts")).toInt();
    s.generate.firstYear = generate.value(QLatin1String("firstYear")).toInt(2015);
    s.generate.years = generate.value(QLatin1String("years")).toInt();
    s.generate.database = generate.value(QLatin1String("database")).toString();
    if (s.generate.accounts > 999) {
        *error = QStringLiteral("%1: at most 999 generated account sets").arg(path);
        return false;
    }

    *scenario = std::move(s);
    return true;
}

} // namespace quenlor::sim
