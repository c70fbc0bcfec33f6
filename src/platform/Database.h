#pragma once

#include "platform/Failure.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

namespace quenlor {

// A failure reported by the database layer: SQLSTATE, the server's native error number (number)
// and the driver's full message (description). Thrown by Database and DatabaseConnector; the
// program's steps catch it and return it as their outcome.
struct DbError : PlatformFailure {
    DbError() = default;
    DbError(QString state, int nativeError, QString message)
        : PlatformFailure{nativeError, std::move(message)}, sqlState(std::move(state)) {}

    QString sqlState;
};

// The whole result of one statement, read at once. SQL NULL is a null QVariant.
struct QueryResult {
    QStringList columns;
    QList<QList<QVariant>> rows;

    // Column lookup ignores letter case, as the server's own field names do; -1 when absent.
    [[nodiscard]] int columnIndex(const QString& name) const;
    [[nodiscard]] bool isEmpty() const { return rows.isEmpty(); }
};

// One open connection to one database of one server.
class Database {
public:
    virtual ~Database() = default;

    [[nodiscard]] virtual bool isOpen() const = 0;
    // Runs a statement and returns its first result set (an empty one when it has none).
    virtual QueryResult query(const QString& sql) = 0;
    // Runs a statement whose results are not wanted; every result is still drained so that an
    // error in a later part of a batch is not lost.
    virtual void execute(const QString& sql) = 0;
    virtual void beginTrans() = 0;
    virtual void commitTrans() = 0;
    virtual void rollbackTrans() = 0;
};

// What a connection to the program's server needs.
struct ConnectionParams {
    QString server;
    QString database;
    QString user;
    QString password;
};

// Opens connections; throws DbError when the server cannot be reached or the login is refused.
class DatabaseConnector {
public:
    virtual ~DatabaseConnector() = default;
    virtual std::unique_ptr<Database> open(const ConnectionParams& params) = 0;
};

} // namespace quenlor
