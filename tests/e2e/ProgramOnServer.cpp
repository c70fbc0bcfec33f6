#include "e2e/ProgramOnServer.h"

#include "core/login/ManualLogin.h"
#include "core/startup/Startup.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QThread>

namespace quenlor::test {

namespace {

QString quotedName(const QString& name) {
    QString escaped = name;
    escaped.replace(u'"', QStringLiteral("\"\""));
    return u'"' + escaped + u'"';
}

QString cellText(const QVariant& v) {
    if (!v.isValid() || v.isNull())
        return QStringLiteral("NULL");
    return v.toString();
}

} // namespace

ProgramOnServer::ProgramOnServer() {
    listing.setRefresh([this] { listing.LoadDB(); });
}

ProgramOnServer::~ProgramOnServer() {
    // The program's connections close while the server still answers.
    st().TempdbConn.reset();
    st().MasterConn.reset();
    st().SystemConn.reset();
    st().frmSQLLogin.reset();
    m_sim.reset();
}

void ProgramOnServer::serve(const QString& scenario, int queryTimeoutSeconds,
                            sim::ReportedPaths paths) {
    m_sim = std::make_unique<SimulatedServer>(scenario, paths);
    st().connector = SimulatedServer::connector(queryTimeoutSeconds);
}

void ProgramOnServer::start(const QString& scenario, int queryTimeoutSeconds) {
    serve(scenario, queryTimeoutSeconds);
    const QString address = m_sim->address();
    const QString user = m_sim->user();
    const QString password = m_sim->password();
    windows->loginScript = [=](SqlLoginDialog& d) {
        d.TestConn = openTestConnection(address, QStringLiteral("master"), user, password).value;
        if (!d.TestConn)
            return;
        d.ServerName = address;
        d.UserName = user;
        d.Password = password;
        d.Confirmed = true;
    };
    Main();
    ASSERT_EQ(windows->mainWindowShown, 1) << st().ErrorText.toStdString();
}

// --- The main window ---

QStringList ProgramOnServer::accountEntries(ProductFamily product) {
    return listing.accountEntries(product);
}

void ProgramOnServer::show(ProductFamily product, const QString& account) {
    MainListing::Action action(listing);
    const QStringList entries = listing.chooseProduct(product).accounts;
    if (!entries.contains(account))
        ADD_FAILURE() << "no account entry " << account.toStdString() << " for "
                      << productEntry(product).toStdString() << ": "
                      << entries.join(u',').toStdString();
    listing.chooseAccount(account);
    listing.requestRefresh();
}

void ProgramOnServer::reload() {
    ++reloads;
    MainListing::Action action(listing);
    listing.chooseProduct(listing.selection().product);
    listing.requestRefresh();
}

QList<QStringList> ProgramOnServer::shownRows() const {
    QList<QStringList> out;
    const GridModel& grid = listing.grid();
    for (int row = 1; row < grid.Rows(); ++row) {
        QStringList cells;
        for (int col = 1; col < grid.Cols(); ++col)
            cells << grid.TextMatrix(row, col);
        out << cells;
    }
    return out;
}

QStringList ProgramOnServer::shownColumn(int column) const {
    QStringList out;
    for (const QStringList& row : shownRows())
        out << row.value(column);
    return out;
}

void ProgramOnServer::tick(int column, const QString& text) {
    const GridModel& grid = listing.grid();
    for (int row = 1; row < grid.Rows(); ++row) {
        if (grid.TextMatrix(row, column + 1) == text) {
            listing.toggleTick(row, 0);
            return;
        }
    }
    ADD_FAILURE() << "no shown row reads " << text.toStdString();
}

Told ProgramOnServer::confirm(bool deleteDatabases) {
    const qsizetype before = messages->shown.size();
    messages->answers.append(MsgResult::Yes);
    run.cmdConfirm_Click(listing.confirmedSelection(), deleteDatabases);
    const Told shown = messages->shown.mid(before);
    if (shown.value(0) != qMakePair(MsgKind::Question, kQuestion)) {
        ADD_FAILURE() << "the run was not confirmed: "
                      << (shown.isEmpty() ? std::string("nothing shown")
                                          : shown.first().second.toStdString());
        return shown;
    }
    return shown.mid(1);
}

// --- The server ---

QStringList ProgramOnServer::selected(const QString& engineSql) {
    QStringList out;
    for (const QVariantList& row : engine().rows(engineSql)) {
        QStringList cells;
        for (const QVariant& v : row)
            cells << cellText(v);
        out << cells.join(QStringLiteral(" | "));
    }
    out.sort();
    return out;
}

QStringList ProgramOnServer::rows(const QString& database, const QString& table,
                                  const QString& where) {
    return selected(QStringLiteral("SELECT * FROM %1.%2 WHERE %3")
                        .arg(quotedName(database), quotedName(table), where));
}

QMap<QString, QStringList> ProgramOnServer::catalogue(const QString& database) {
    QMap<QString, QStringList> tables;
    const QList<QVariantList> names =
        engine().rows(QStringLiteral("SELECT name FROM %1.sqlite_master WHERE type='table'")
                          .arg(quotedName(database)));
    for (const QVariantList& name : names)
        tables.insert(name.value(0).toString(), rows(database, name.value(0).toString()));
    return tables;
}

void ProgramOnServer::expectCatalogue(const QString& database,
                                      const QMap<QString, QStringList>& expected) {
    const QMap<QString, QStringList> actual = catalogue(database);
    EXPECT_EQ(actual.keys(), expected.keys()) << database.toStdString();
    for (auto it = expected.begin(); it != expected.end(); ++it)
        EXPECT_EQ(actual.value(it.key()), it.value())
            << database.toStdString() << ".." << it.key().toStdString();
}

bool ProgramOnServer::exists(const QString& database) const {
    return m_sim->engine().database(database).has_value();
}

QStringList ProgramOnServer::filesOf(const QString& database) const {
    const std::optional<sim::DatabaseState> db = m_sim->engine().database(database);
    if (!db)
        return {};
    return {db->file, db->logFile};
}

QString ProgramOnServer::dataPath(const QString& relative) const {
    return QDir(m_sim->dataFolder()).filePath(relative);
}

QStringList ProgramOnServer::batches() const {
    QStringList all;
    for (const sim::Session& s : m_sim->tds().sessions())
        all << s.batches;
    return all;
}

QMap<QString, QStringList> ProgramOnServer::catalogueWithoutAccountSet(const QString& code) {
    const QString sys = QStringLiteral("UFSystem");
    QMap<QString, QStringList> expected = catalogue(sys);
    const QString notIt = QStringLiteral("\"%1\" IS NOT '") + code + u'\'';
    for (const char* table : {"UA_Account", "UA_AccountDatabase", "UA_Period", "UA_HoldAuth",
                              "UA_Task", "UA_BackupPlans", "UA_Log"}) {
        if (expected.contains(QLatin1String(table)))
            expected[table] = rows(sys, table, notIt.arg(QLatin1String("cAcc_Id")));
    }
    expected["UA_UserAccount"] = rows(sys, "UA_UserAccount", notIt.arg("cAccCode"));
    expected["UA_Message"] = rows(sys, "UA_Message", notIt.arg("Account"));
    expected["UA_BackupPlan"] =
        rows(sys, "UA_BackupPlan",
             "\"cPlan_Id\" IN (SELECT \"cPlan_Id\" FROM \"UFSystem\".\"UA_BackupPlans\" WHERE " +
                 notIt.arg("cAcc_Id") + u')');
    expected["UA_TaskLog"] =
        rows(sys, "UA_TaskLog",
             "\"TaskState\" IS NOT 1 OR \"cTaskId\" IN (SELECT \"cTaskId\" FROM "
             "\"UFSystem\".\"UA_Task\" WHERE " +
                 notIt.arg("cAcc_Id") + u')');
    return expected;
}

bool ProgramOnServer::eventually(const std::function<bool()>& condition) {
    QDeadlineTimer deadline(3000);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}

} // namespace quenlor::test
