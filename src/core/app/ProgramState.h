#pragma once

#include "core/app/MessageSink.h"
#include "core/app/Product.h"
#include "core/app/WindowFactory.h"
#include "core/info/AboutBox.h"
#include "core/login/SqlLoginDialog.h"
#include "platform/Automation.h"
#include "platform/Database.h"
#include "platform/Http.h"
#include "platform/Profile.h"
#include "platform/Registry.h"
#include "platform/Services.h"
#include "platform/System.h"

#include <QString>

#include <memory>

namespace quenlor {

class clsUFLogin;
class QueuedMessageSink;
class ServerWorker;

// The program's title.
inline const QString kProgramTitle = QStringLiteral("Quenlor");

// The run-time's record of the most recent failure of a procedure that passes over failing steps.
struct LastError {
    int number = 0;
    QString description;
    void clear() {
        number = 0;
        description.clear();
    }
    void set(int n, const QString& text) {
        number = n;
        description = text;
    }
};

// The one process-wide record that every module reads directly. It also holds the platform
// services and the single window instances, so a test installs fakes and a fresh state in one
// place (see installState) and nothing else is global.
struct ProgramState {
    ProgramState();
    ~ProgramState();
    ProgramState(const ProgramState&) = delete;
    ProgramState& operator=(const ProgramState&) = delete;

    QString ErrorText;
    // Where the run log goes; empty for the operator's own data folder.
    QString LogFolder;
    QString SqlServer;
    QString SqlUser;
    QString SqlPassword;
    bool AdminLogin = false;
    bool OperatorLogin = false;

    std::unique_ptr<Database> TempdbConn;
    std::unique_ptr<Database> MasterConn;
    std::unique_ptr<Database> SystemConn;

    QString ServerVersionText;
    // Major version of the server (8 = SQL Server 2000), 0 when unknown. Decisions between the
    // SQL Server 2000 family and later servers rest on this, never on the text above.
    int ServerMajorVersion = 0;
    ProductFamily ProductType = ProductFamily::None;
    UfCatalogue ProductSubType = UfCatalogue::Classic;
    QString SystemDbName;

    // The maker's information from Readme.txt (or the built-in defaults), filled when the main
    // window loads. ReadmeWebUrl carries "http://" in front of the file's value.
    QString ReadmeCompany;
    QString ReadmeAuthor;
    QString ReadmeQQ;
    QString ReadmeQQGroup;
    QString ReadmeWebUrl;
    QString ReadmeIntro;

    LastError lastError;

    // The platform. Each starts as the portable behaviour; the program and the tests replace them.
    std::unique_ptr<DatabaseConnector> connector;
    std::unique_ptr<Automation> automation;
    std::unique_ptr<Services> services;
    std::unique_ptr<Registry> registry;
    std::unique_ptr<System> system;
    std::unique_ptr<Http> http;
    std::unique_ptr<Profile> profile;
    std::unique_ptr<WindowFactory> windows;

    // Single instances, created on first use.
    std::unique_ptr<MessageSink> frmMsg;
    std::unique_ptr<SqlLoginDialog> frmSQLLogin;
    std::unique_ptr<clsUFLogin> ufLogin;
    // The about box: made by the main window's labAbout, gone again when it is closed.
    std::unique_ptr<AboutBox> frmAbout;

    // The program's message dialog, created on first use. Called on another thread (a job of
    // the server worker) it is a stand-in that asks the dialog on this state's own thread and
    // waits for the answer there.
    MessageSink& msg();
    // The thread that talks to the server, started on first use.
    ServerWorker& worker();
    // True while the server worker has a job in hand.
    [[nodiscard]] bool serverBusy() const;
    // The ERP login bridge, created on first use.
    clsUFLogin& UFLogin();
    // Destroys every window, the bridge's message dialog and the main window among them, and the
    // factory that makes them, and ends the server worker, whose results would go to them. The
    // program calls it while the application object still exists.
    void releaseWindows();

private:
    std::unique_ptr<QueuedMessageSink> m_queuedMsg;
    // Last, so it is gone (its job finished) before anything a job uses.
    std::unique_ptr<ServerWorker> m_worker;
};

// The current Program state.
ProgramState& state();

// Replaces the Program state (tests start each case with a fresh one) and returns the old one.
std::unique_ptr<ProgramState> installState(std::unique_ptr<ProgramState> fresh);

// True for the SQL Server 2000 family (major version 8 and older), false for later or unknown.
[[nodiscard]] bool isSql2000Family(int majorVersion);

} // namespace quenlor
