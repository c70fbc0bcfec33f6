#include "core/login/ManualLogin.h"

#include "support/TestState.h"

namespace quenlor {
namespace {

using ManualLoginTest = test::StateFixture;

// Each call makes a fresh dialog preset from Config.ini; only a confirmed one gives the program
// its login, exactly as typed.
TEST_F(ManualLoginTest, FreshPresetDialogEachTimeAndTheConfirmedLoginIsKept) {
    writeProgramFile(QStringLiteral("Config.ini"), "[Login]\nServer=db01\nSa=admin\nPwd=pw\n");
    QStringList seen;
    windows->loginScript = [&](SqlLoginDialog& d) {
        seen = QStringList{d.ServerName, d.UserName, d.Password};
        d.ServerName = QStringLiteral(" srv ");
        d.Password = QString();
        d.Confirmed = windows->loginDialogsCreated == 2;
    };
    const Read<bool> declined = ManualLogin();
    EXPECT_FALSE(declined.value);
    EXPECT_TRUE(declined.outcome.ok()) << "nothing failed";
    EXPECT_EQ(st().SqlServer, QString());

    EXPECT_TRUE(ManualLogin().value);
    EXPECT_EQ(seen, (QStringList{"db01", "admin", "pw"})) << "nothing left from the first dialog";
    EXPECT_EQ((QStringList{st().SqlServer, st().SqlUser, st().SqlPassword}),
              (QStringList{" srv ", "admin", ""}));
}

// The dialog's test connection opens exactly what was typed; when the operator gives up, its
// last failure is the login's.
TEST_F(ManualLoginTest, GivingUpReportsTheLastFailedTestConnection) {
    EXPECT_NE(openTestConnection("srv ", "master", " sa", "p w").value, nullptr);
    const ConnectionParams& p = server.opens.at(0);
    EXPECT_EQ((QStringList{p.server, p.database, p.user, p.password}),
              (QStringList{"srv ", "master", " sa", "p w"}));

    server.failNextOpens(1, DbError{"28000", 18456, "用户 'sa' 登录失败。"});
    EXPECT_EQ(openTestConnection("srv", "master", "sa", QString()).value, nullptr);
    const Read<bool> login = ManualLogin();
    EXPECT_FALSE(login.value);
    EXPECT_EQ(login.outcome.text(), QStringLiteral("用户 'sa' 登录失败。"));
}

} // namespace
} // namespace quenlor
