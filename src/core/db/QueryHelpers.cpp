#include "core/db/QueryHelpers.h"

#include "core/app/ProgramState.h"
#include "platform/Database.h"

namespace quenlor {

namespace {

const QString kClosedConnection = QStringLiteral("连接未打开，无法执行查询。");
const QString kNoSuchField = QStringLiteral("在对应所需名称或序数的集合中，未找到项目。");

// The named field of the first row; `whenEmpty` when there is no row.
Read<QVariant> firstValue(const QString& field, const QString& statement, Database* conn,
                          const QVariant& whenEmpty) {
    try {
        if (!conn || !conn->isOpen())
            throw DbError{QString(), 0, kClosedConnection};
        const QueryResult result = conn->query(statement);
        if (result.rows.isEmpty())
            return {whenEmpty, Outcome::done()};
        const int column = result.columnIndex(field);
        if (column < 0)
            throw DbError{QString(), 0, kNoSuchField};
        return {result.rows.first().value(column), Outcome::done()};
    } catch (const DbError& e) {
        return {QVariant(), Outcome::failed(e)};
    }
}

} // namespace

Read<std::unique_ptr<Database>> OpenConn(const QString& databaseName) {
    ProgramState& s = state();
    try {
        auto conn = s.connector->open({s.SqlServer, databaseName, s.SqlUser, s.SqlPassword});
        if (conn && conn->isOpen())
            return {std::move(conn), Outcome::done()};
        return {nullptr, Outcome::failed(QString())};
    } catch (const DbError& e) {
        return {nullptr, Outcome::failed(e)};
    }
}

Read<QVariant> LookupValue(const QString& field, const QString& table, const QString& condition,
                           Database* conn) {
    const QString statement = QStringLiteral("select ") + field + QStringLiteral(" from ") + table +
                              QStringLiteral(" where 1=1 and ") + condition;
    return firstValue(field, statement, conn, QVariant());
}

Read<QVariant> GetFieldValue(const QString& field, const QString& statement, Database* conn) {
    return firstValue(field, statement, conn, QVariant(QString()));
}

QString NullToStr(const QVariant& value) {
    if (!value.isValid() || value.isNull())
        return {};
    return value.toString();
}

} // namespace quenlor
