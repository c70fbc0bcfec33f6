#pragma once

#include "platform/Database.h"

#include <QString>

namespace quenlor {

// The run log: every confirmed run appends to Quenlor.log in the operator's own data folder,
// UTF-8, one line per event, each starting with its time. At 10 MB the log moves to Quenlor.1.log
// (that one to Quenlor.2.log) and a new one starts: three files at most. Writing never fails a
// run: the first failure is kept for the run to tell, and the lines after it are dropped.
class RunLog {
public:
    // The folder: the program state's LogFolder when set, else the per-user data location.
    [[nodiscard]] static QString folder();

    // Appends one line; line breaks inside it become blanks, and whatever follows "--password"
    // on its line is left out.
    void write(const QString& event);
    // Why writing failed first, with the file's name; empty while every line went in.
    [[nodiscard]] const QString& failure() const { return m_failure; }

private:
    QString m_failure;
};

// A connection that logs each statement it passes on with its outcome and duration.
class LoggingDatabase final : public Database {
public:
    LoggingDatabase(Database& inner, RunLog& log) : m_inner(inner), m_log(log) {}

    [[nodiscard]] bool isOpen() const override { return m_inner.isOpen(); }
    QueryResult query(const QString& sql) override;
    void execute(const QString& sql) override;
    void beginTrans() override;
    void commitTrans() override;
    void rollbackTrans() override;

private:
    template <typename Step> auto logged(const QString& what, Step step);

    Database& m_inner;
    RunLog& m_log;
};

} // namespace quenlor
