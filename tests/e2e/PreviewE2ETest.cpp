#include "ProgramOnServer.h"

#include "core/deletion/PreviewEffects.h"
#include "core/deletion/RunScript.h"

#include <QFile>
#include <QTemporaryDir>

namespace quenlor {
namespace {

class PreviewE2E : public test::ProgramOnServer {
public:
    // A fresh server of the scenario, the script run on it batch by batch by another client.
    void replay(const QString& scenario, const QString& script) {
        st().MasterConn.reset();
        st().SystemConn.reset();
        st().TempdbConn.reset();
        serve(scenario);
        const auto other =
            openTestConnection(sim().address(), "master", sim().user(), sim().password());
        ASSERT_TRUE(other.value) << other.outcome.text().toStdString();
        for (const QString& batch : script.split("\r\nGO\r\n", Qt::SkipEmptyParts))
            other.value->execute(batch);
    }
};

// The preview of two account sets shows its databases as the server holds them, the catalogue rows
// the run then removes, and a script that, run by another client against the same scenario,
// leaves the catalogue and the databases as the run itself does.
TEST_F(PreviewE2E, ShowsWhatTheRunRemovesAndItsScriptDoesTheSame) {
    start("realistic");
    show(ProductFamily::UfSystem);
    tick(0, "001");
    tick(0, "002");
    const QStringList before = batches();
    const RunPreview preview = PreviewRun(listing.confirmedSelection(), true, true);
    ASSERT_TRUE(preview.outcome.ok()) << preview.outcome.text().toStdString();
    for (const QString& batch : batches().mid(before.size()))
        EXPECT_TRUE(batch.trimmed().startsWith("select", Qt::CaseInsensitive))
            << batch.toStdString();
    ASSERT_EQ(preview.rows.size(), 2);
    const RowPreview& row = preview.rows[0];
    QStringList names;
    for (const DatabaseEffect& db : row.databases) {
        names << db.name;
        EXPECT_EQ(db.state, "ONLINE");
        EXPECT_EQ(db.otherConnections, 0);
        // The scenario gives 2024's files 300 MB and 50 MB, every other the server's 8 and 2.
        const bool big = db.name == "UFDATA_001_2024";
        EXPECT_EQ(db.dataKb, (big ? 300 : 8) * 1024) << db.name.toStdString();
        EXPECT_EQ(db.logKb, (big ? 50 : 2) * 1024) << db.name.toStdString();
    }
    names.sort();
    EXPECT_EQ(names, sim().engine().databaseNames().filter("_001"));
    EXPECT_TRUE(row.folders.contains(QDir::toNativeSeparators(sim().dataPath("U8SOFT/ZT001"))))
        << row.folders.join(' ').toStdString();

    // Each table loses the rows the preview counted, over both account sets.
    QMap<QString, qint64> counted;
    for (const CatalogueEffect& c : row.catalogue + preview.rows[1].catalogue)
        counted[c.table.section("..", 1).remove('[').remove(']').toLower()] += c.rows;
    QMap<QString, qsizetype> rowsBefore;
    for (auto it = counted.begin(); it != counted.end(); ++it)
        rowsBefore[it.key()] = rows("UFSystem", it.key()).size();
    EXPECT_GT(counted.value("ua_account"), 0);

    const QString script = RunScript(preview, sim().address());
    QTemporaryDir folder;
    const QString path = folder.filePath("删除 [001].sql");
    ASSERT_TRUE(SaveScript(path, script).ok());
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), "\xEF\xBB\xBF" + script.toUtf8());

    EXPECT_EQ(confirm().value(0).second, test::kDone);
    for (auto it = counted.begin(); it != counted.end(); ++it)
        EXPECT_EQ(rowsBefore[it.key()] - rows("UFSystem", it.key()).size(), it.value())
            << it.key().toStdString();
    const test::Tables afterRun = catalogue("UFSystem");
    const QStringList databasesAfterRun = sim().engine().databaseNames();

    // The same scenario again, the script run batch by batch by another client.
    replay("realistic", script);
    expectCatalogue("UFSystem", afterRun);
    EXPECT_EQ(sim().engine().databaseNames(), databasesAfterRun);
}

// A name with brackets, quotes, wildcards, blanks and Chinese reaches the preview, the script and
// the log exactly, and the script's statements, run elsewhere, drop that database and no other.
TEST_F(PreviewE2E, AnAwkwardNameIsShownScriptedAndLoggedExactly) {
    const QString odd = "销售 [2019]_50%'s";
    start("realistic");
    show(ProductFamily::ServerDatabases);
    tick(0, odd);
    const RunPreview preview = PreviewRun(listing.confirmedSelection(), true, false);
    ASSERT_TRUE(preview.outcome.ok()) << preview.outcome.text().toStdString();
    ASSERT_EQ(preview.rows.size(), 1);
    EXPECT_TRUE(preview.rows[0].label.contains(odd));
    ASSERT_EQ(preview.rows[0].databases.size(), 1);
    EXPECT_EQ(preview.rows[0].databases[0].name, odd);
    EXPECT_EQ(preview.rows[0].databases[0].state, "ONLINE");
    const QString script = RunScript(preview, sim().address());
    EXPECT_TRUE(script.contains(odd));
    EXPECT_EQ(confirm().value(0).second, test::kDone);
    QFile log(st().LogFolder + "/Quenlor.log");
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(log.readAll()).contains(odd));
    QStringList expected = sim().engine().databaseNames();
    replay("realistic", script);
    EXPECT_EQ(sim().engine().databaseNames(), expected);
}

// The server goes away while the preview counts: the preview names the query that failed, and
// nothing on the server changed.
TEST_F(PreviewE2E, ServerGoneDuringThePreviewIsNamedAndNothingChanges) {
    start("realistic");
    show(ProductFamily::UfSystem);
    tick(0, "001");
    const test::Tables before = catalogue("UFSystem");
    const QStringList databases = sim().engine().databaseNames();
    sim().engine().addFault(
        sim::Fault{QRegularExpression("^select count"), sim::Fault::Kind::Disconnect, {}, 1});
    const RunPreview preview = PreviewRun(listing.confirmedSelection(), true, false);
    EXPECT_FALSE(preview.outcome.ok());
    EXPECT_TRUE(preview.outcome.text().contains("失败的查询：select count(*) as n from UFSystem.."))
        << preview.outcome.text().toStdString();
    expectCatalogue("UFSystem", before);
    EXPECT_EQ(sim().engine().databaseNames(), databases);
}

} // namespace
} // namespace quenlor
