#include "ui/frmSQLLogin.h"
#include "support/TestState.h"
#include "support/UiDriver.h"

#include <QLineEdit>

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

// Hands each attempt on to the fakes, first letting the test look at the dialog.
class WatchingConnector final : public DatabaseConnector {
public:
    std::unique_ptr<DatabaseConnector> next;
    std::function<void()> onOpen;
    std::unique_ptr<Database> open(const ConnectionParams& params) override {
        onOpen();
        return next->open(params);
    }
};

// While the server is tried, OK is off and the wait cursor shows; a refusal says so and selects
// the password for retyping.
TEST_F(FrmSQLLoginTest, BusyWhileTryingAndRetriesAfterEachRefusalUntilTheLoginWorks) {
    auto watching = std::make_unique<WatchingConnector>();
    int busyAttempts = 0;
    watching->onOpen = [&] {
        const QCursor* cursor = QApplication::overrideCursor();
        busyAttempts += !button("cmdConfirm")->isEnabled() && cursor != nullptr &&
                        cursor->shape() == Qt::WaitCursor;
    };
    watching->next = std::move(st().connector);
    st().connector = std::move(watching);
    server.failNextOpens(2, DbError{"28000", 18456, "Login failed for user 'sa'."});
    WhenModal drive([&](QWidget* modal) {
        for (const QString password : {"wrong1", "wrong2"}) {
            type(password);
            box("txtUser")->setFocus();
            click(button("cmdConfirm"));
            EXPECT_EQ(modal->focusWidget(), box("txtPwd"));
            EXPECT_EQ(box("txtPwd")->selectedText(), password);
            EXPECT_TRUE(button("cmdConfirm")->isEnabled());
        }
        type(QStringLiteral(" secret "));
        click(button("cmdConfirm"));
    });
    dlg.ConnSql();

    EXPECT_EQ(busyAttempts, 3);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    const QPair<short, QString> retry{4, "输入数据库用户名或密码有误, 请重新输入!"};
    EXPECT_EQ(messages->shown, (QList<QPair<short, QString>>{retry, retry}));
    EXPECT_TRUE(dlg.Confirmed);
    EXPECT_NE(dlg.TestConn, nullptr);
    // As typed, blanks and all.
    EXPECT_EQ((QStringList{dlg.ServerName, dlg.UserName, dlg.Password}),
              (QStringList{"srv ", "sa ", " secret "}));
}

} // namespace
} // namespace quenlor::test
