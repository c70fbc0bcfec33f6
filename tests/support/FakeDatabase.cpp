#include "support/FakeDatabase.h"

namespace quenlor::test {

void FakeServer::answer(const QString& sql, QueryResult result) {
    m_answers.insert(sql, std::move(result));
}

void FakeServer::fail(const QString& sql, DbError error) {
    m_failures.insert(sql, std::move(error));
}

void FakeServer::failOpen(const QString& database, DbError error) {
    m_openFailures.insert(database.toLower(), std::move(error));
}

void FakeServer::failNextOpens(int n, DbError error) {
    m_failOpens = n;
    m_failOpenError = std::move(error);
}

void FakeServer::record(const QString& database, const QString& entry) {
    log.append(database + QStringLiteral(": ") + entry);
}

QueryResult FakeServer::run(const QString& database, const QString& sql, bool wantResult) {
    record(database, sql);
    if (auto it = m_failures.constFind(sql); it != m_failures.constEnd())
        throw *it;
    if (!wantResult)
        return {};
    if (auto it = m_answers.constFind(sql); it != m_answers.constEnd() || !respond)
        return m_answers.value(sql);
    return respond(sql).value_or(QueryResult());
}

std::unique_ptr<Database> FakeServer::open(const ConnectionParams& params) {
    opens.push_back(params);
    if (m_failOpens > 0) {
        --m_failOpens;
        throw m_failOpenError;
    }
    if (auto it = m_openFailures.constFind(params.database.toLower());
        it != m_openFailures.constEnd())
        throw *it;
    if (auto it = m_openFailures.constFind(QString()); it != m_openFailures.constEnd())
        throw *it;
    return std::make_unique<FakeDatabase>(*this, params.database);
}

QueryResult table(const QStringList& columns, const QList<QList<QVariant>>& rows) {
    QueryResult r;
    r.columns = columns;
    r.rows = rows;
    return r;
}

} // namespace quenlor::test
