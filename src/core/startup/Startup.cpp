#include "core/startup/Startup.h"

#include "core/app/ProgramState.h"
#include "core/db/QueryHelpers.h"
#include "core/db/ServerVersion.h"
#include "core/login/ManualLogin.h"
#include "core/login/clsUFLogin.h"

namespace quenlor {

namespace {

const QString kAlreadyRunning = QStringLiteral("您的计算机上已经运行了此程序");

} // namespace

ProductFamily DetectProductType() {
    ProgramState& s = state();
    const ProductFamily version = s.UFLogin().Version();
    if (version != ProductFamily::None)
        return version;

    // The catalogue views arrived after SQL Server 2000; its family only has sysdatabases.
    const QString table = isSql2000Family(s.ServerMajorVersion) ? QStringLiteral("sysdatabases")
                                                                : QStringLiteral("sys.databases");
    // A look-up that fails counts as a database that is not there.
    const auto present = [&](const char* condition) {
        return !NullToStr(LookupValue(QStringLiteral("name"), table, QString::fromLatin1(condition),
                                      s.MasterConn.get())
                              .value)
                    .isEmpty();
    };
    ProductFamily result = ProductFamily::None;
    if (present("name='ufsystem'"))
        result = ProductFamily::UfSystem;
    if (present("name='uftsystem'"))
        result = ProductFamily::Tplus;
    return result;
}

UfCatalogue DetectProductSubType() {
    ProgramState& s = state();
    if (!usesUfSystem(s.ProductType))
        return UfCatalogue::Classic;
    const QString column = NullToStr(
        GetFieldValue(
            QStringLiteral("name"),
            QStringLiteral("select b.name from ufsystem..sysobjects as a inner join "
                           "ufsystem..syscolumns as b on a.id=b.id where a.name='UA_Task' and "
                           "b.name='iBeginYear'"),
            s.MasterConn.get())
            .value);
    return column.isEmpty() ? UfCatalogue::Classic : UfCatalogue::NewerU8;
}

QString GetSystemDbName(ProductFamily productType) {
    if (usesUfSystem(productType))
        return QStringLiteral("UFSystem");
    if (productType == ProductFamily::Tplus)
        return QStringLiteral("UFTSystem");
    return QStringLiteral("master");
}

void OpenConnectionsAndDetect() {
    ProgramState& s = state();
    // None of these looks at the outcome of the one before: a connection that failed stays
    // empty, ErrorText keeps the text of the last step that failed, and the main window opens
    // all the same.
    const auto open = [&](const QString& database) {
        Read<std::unique_ptr<Database>> opened = OpenConn(database);
        if (!opened.outcome.text().isEmpty())
            s.ErrorText = opened.outcome.text();
        return std::move(opened.value);
    };
    s.TempdbConn = open(QStringLiteral("Tempdb"));
    s.MasterConn = open(QStringLiteral("master"));
    const Read<QString> version = GetServerVersionText(s.MasterConn.get(), &s.ServerMajorVersion);
    s.ServerVersionText = version.value;
    if (!version.outcome.text().isEmpty())
        s.ErrorText = version.outcome.text();
    s.ProductType = DetectProductType();
    s.ProductSubType = DetectProductSubType();
    s.SystemDbName = GetSystemDbName(s.ProductType);
    s.SystemConn = open(s.SystemDbName);
}

Outcome ReopenLostConnections() {
    ProgramState& s = state();
    const std::pair<std::unique_ptr<Database>*, QString> connections[] = {
        {&s.TempdbConn, QStringLiteral("Tempdb")},
        {&s.MasterConn, QStringLiteral("master")},
        {&s.SystemConn, s.SystemDbName}};
    for (const auto& [conn, database] : connections) {
        if (!*conn || (*conn)->isOpen())
            continue;
        Read<std::unique_ptr<Database>> reopened = OpenConn(database);
        if (!reopened.value)
            return Outcome::failed(kServerUnreachableText.arg(s.SqlServer) +
                                       reopened.outcome.text(),
                                   reopened.outcome.number());
        *conn = std::move(reopened.value);
    }
    return Outcome::done();
}

void Main() {
    ProgramState& s = state();
    s.ErrorText.clear();

    bool loggedIn = false;
    if (!s.system->acquireSingleInstance()) {
        s.ErrorText = kAlreadyRunning;
    } else {
        s.AdminLogin = true;
        // A failed ERP login is not told on its own: the manual login follows, and when the
        // operator gives that up too, the last failure recorded on the way is the one shown.
        loggedIn = UFLoginConnect().value;
        if (!loggedIn) {
            // Without the ERP on this computer the manual login is the way in, and the components
            // that could not be created are no failure to report when the operator cancels it.
            if (s.UFLogin().Version() == ProductFamily::None)
                s.lastError.clear();
            const Read<bool> manual = ManualLogin();
            s.ErrorText = manual.outcome.text();
            loggedIn = manual.value;
        }
    }

    if (loggedIn) {
        // The window shows at once; the server is read on the server worker meanwhile.
        if (s.windows)
            s.windows->showMainWindow(OpenConnectionsAndDetect);
        else
            OpenConnectionsAndDetect();
        return;
    }

    if (!s.ErrorText.isEmpty())
        s.system->messageBox(kProgramTitle, s.ErrorText);
    s.system->endProcess(0);
}

} // namespace quenlor
