#include "ui/frmSQLLogin.h"
#include "support/TestState.h"
#include "support/UiDriver.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QSemaphore>

#include <functional>

namespace quenlor::test {
namespace {

class FrmSQLLoginTest : public StateFixture {
protected:
    QLineEdit* box(const char* name) { return dlg.findChild<QLineEdit*>(name); }
    QWidget* button(const char* name) { return dlg.findChild<QWidget*>(name); }
    void type(const QString& password) {
        box("txtServerName")->setText(QStringLiteral("srv "));
        box("txtUser")->setText(QStringLiteral("sa "));
        box("txtPwd")->setText(password);
    }

    frmSQLLogin dlg;
};

// The boxes show the login handed in, the password masked, else the local server and SA; each
// way out cancels without trying the server.
TEST_F(FrmSQLLoginTest, ShowsThePresetLoginAndEachWayOutCancels) {
    const std::tuple<const char*, QStringList, QStringList, const char*> rows[] = {
        {"nothing preset, cancel button", {"", "", ""}, {"127.0.0.1", "SA", ""}, "cmdCancel"},
        {"preset, Esc", {"ERP01\\U8", "dba", "p<b>w"}, {"ERP01\\U8", "dba", "p<b>w"}, nullptr},
        {"close picture", {"db", "", "pw"}, {"db", "SA", "pw"}, "picExit"},
    };
    for (const auto& [name, preset, expected, leaveBy] : rows) {
        SCOPED_TRACE(name);
        dlg.ServerName = preset[0];
        dlg.UserName = preset[1];
        dlg.Password = preset[2];
        dlg.Confirmed = true; // left over from an earlier showing
        QStringList shown;
        WhenModal drive([&](QWidget* modal) {
            for (const char* name : {"txtServerName", "txtUser", "txtPwd"})
                shown << box(name)->text();
            shown << box("txtPwd")->displayText();
            if (leaveBy != nullptr)
                click(button(leaveBy));
            else
                typeKey(modal, Qt::Key_Escape);
        });
        dlg.ConnSql();
        EXPECT_EQ(shown, expected + QStringList{QString(expected[2].size(), u'*')});
        EXPECT_FALSE(dlg.Confirmed);
        EXPECT_FALSE(dlg.isVisible());
    }
    EXPECT_TRUE(server.opens.empty());
    EXPECT_TRUE(messages->shown.isEmpty());
}

// Hands each attempt on to the fakes, first letting the test look at the dialog on the dialog's
// own thread (attempts run on the server worker).
class WatchingConnector final : public DatabaseConnector {
public:
    std::unique_ptr<DatabaseConnector> next;
    std::function<void()> onOpen;
    QSemaphore* hold = nullptr; // when set, each attempt then waits for a release of it
    std::unique_ptr<Database> open(const ConnectionParams& params) override {
        QMetaObject::invokeMethod(qApp, onOpen, Qt::BlockingQueuedConnection);
        if (hold != nullptr)
            hold->acquire();
        return next->open(params);
    }
};

// While the server is tried, OK is off and the wait cursor shows. Each failure says why and
// selects the box to retype: the password for a refused login or one the driver does not
// classify; the server, named with the driver's reason (FreeTDS's own for a closed and a silent
// port), when it cannot be reached. The dialog stays until the login works.
TEST_F(FrmSQLLoginTest, BusyWhileTryingAndRetriesAfterEachFailureUntilTheLoginWorks) {
    const char* retry = "输入数据库用户名或密码有误, 请重新输入!";
    const std::tuple<const char*, DbError, const char*, const char*> failures[] = {
        {"closed port",
         {"08S01", 20009, "Adaptive Server is unavailable"},
         "无法连接到服务器 srv ：Adaptive Server is unavailable",
         "txtServerName"},
        {"silent port",
         {"HYT00", 0, "Login timeout expired"},
         "无法连接到服务器 srv ：Login timeout expired",
         "txtServerName"},
        {"wrong password", {"28000", 18456, "Login failed for user 'sa'."}, retry, "txtPwd"},
        {"unclassified", {"HY000", 0, "General error"}, retry, "txtPwd"},
    };
    auto watching = std::make_unique<WatchingConnector>();
    int busyAttempts = 0;
    watching->onOpen = [&] {
        const QCursor* cursor = QApplication::overrideCursor();
        busyAttempts += !button("cmdConfirm")->isEnabled() && cursor != nullptr &&
                        cursor->shape() == Qt::WaitCursor;
    };
    watching->next = std::move(st().connector);
    st().connector = std::move(watching);
    WhenModal drive([&](QWidget* modal) {
        for (const auto& [name, error, text, retyped] : failures) {
            SCOPED_TRACE(name);
            server.failNextOpens(1, error);
            messages->shown.clear();
            type(QString::fromUtf8(name));
            box("txtUser")->setFocus();
            click(button("cmdConfirm"));
            EXPECT_EQ(messages->shown, (QList<QPair<short, QString>>{{4, text}}));
            EXPECT_EQ(modal->focusWidget(), box(retyped));
            EXPECT_EQ(box(retyped)->selectedText(), box(retyped)->text());
            EXPECT_TRUE(button("cmdConfirm")->isEnabled());
        }
        type(QStringLiteral(" secret "));
        click(button("cmdConfirm"));
    });
    dlg.ConnSql();

    EXPECT_EQ(busyAttempts, 5);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(dlg.Confirmed);
    EXPECT_NE(dlg.TestConn, nullptr);
    // As typed, blanks and all.
    EXPECT_EQ((QStringList{dlg.ServerName, dlg.UserName, dlg.Password}),
              (QStringList{"srv ", "sa ", " secret "}));
}

// 取消 during an attempt closes the dialog at once (every way out leaves as 取消 does), without
// waiting for the server; the attempt's late answer, even a working login, is dropped.
TEST_F(FrmSQLLoginTest, CancelDuringAnAttemptAbandonsIt) {
    auto watching = std::make_unique<WatchingConnector>();
    QSemaphore answer;
    bool trying = false;
    watching->onOpen = [&] { trying = true; }, watching->hold = &answer;
    watching->next = std::move(st().connector);
    st().connector = std::move(watching);
    WhenModal drive([&](QWidget*) {
        type(QStringLiteral("pw"));
        static_cast<QAbstractButton*>(button("cmdConfirm"))->click();
        // The connector now waits for the test: nothing but leaving can end the attempt.
        turnUntil([&] { return trying; });
        click(button("cmdCancel"));
    });
    dlg.ConnSql();
    EXPECT_TRUE(trying && state().serverBusy()) << "the dialog closed while the server waits";
    answer.release(), settle();
    EXPECT_FALSE(dlg.Confirmed);
    EXPECT_EQ(dlg.TestConn, nullptr);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(messages->shown.isEmpty());
}

} // namespace
} // namespace quenlor::test
