#pragma once

#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include <memory>

// A server to simulate, as a scenario file describes it: the server's identity, its databases
// and the tables and rows of its catalogue databases.
namespace quenlor::sim {

struct ColumnDef {
    QString name;
    QString type; // SQL Server spelling: nvarchar(3), int, bit, datetime ...
    bool notNull = false;
};

struct ForeignKeyDef {
    QString name;
    QStringList columns;
    QString references;
    QStringList refColumns;
};

struct TableDef {
    QString name;
    QList<ColumnDef> columns;
    QStringList primaryKey;
    QList<ForeignKeyDef> foreignKeys;
};

struct SchemaDef {
    QList<TableDef> tables;
};

struct DatabaseDef {
    QString name;
    QString file;   // relative to the data folder, "/" separated
    QString schema; // a catalogue's table definitions, by schema name; empty for a plain one
    QStringList flags;
    int otherUsers = 0;
    int dataMb = 8; // the sizes the server gives its files
    int logMb = 2;
    QString snapshotOf;        // a database snapshot of that database
    QString availabilityGroup; // the availability group it is joined to; empty for none
};

struct ServerDef {
    QString productVersion = QStringLiteral("10.50.6000.34");
    QString productLevel = QStringLiteral("SP3");
    QString edition = QStringLiteral("Standard Edition (64-bit)");
    QString language = QStringLiteral("zh-CN");
    QString user = QStringLiteral("sa");
    QString password;
    // Statements (a pattern, case-insensitive) that take this many milliseconds to run.
    QList<QPair<QString, int>> delays;
};

// Expanded by the loader into account sets with one database per year.
struct GenerateDef {
    int accounts = 0;
    int firstYear = 2015;
    int years = 0;
    QString database; // the catalogue database that registers them
};

using Row = QVariantMap;

struct Scenario {
    QString description;
    ServerDef server;
    QList<DatabaseDef> databases;
    QMap<QString, SchemaDef> schemas;               // by schema name
    QHash<QString, QMap<QString, QList<Row>>> rows; // database -> table -> rows
    GenerateDef generate;
};

// The flags a database may carry, as DATABASEPROPERTY names them.
const QStringList& databaseFlags();

// Reads a scenario file; its schemas are read from "../schemas/<name>.json" beside the
// scenarios folder. On failure returns false with a reason.
bool loadScenario(const QString& path, Scenario* scenario, QString* error);

// The folder holding the scenario files of this source tree.
QString scenarioFolder();

// A new folder for a server's data files, removed with the object: in memory where the system
// offers a folder for that (the files are empty stand-ins, ten thousand and more for the large
// scenario, made there in a fraction of the time they take on a disk), else in the temporary
// folder. The program finds an account's folder by the first "ZT" in a data file's path, so the
// path holds no such letters. Null when no folder can be made.
std::unique_ptr<QTemporaryDir> makeDataFolder();

} // namespace quenlor::sim
