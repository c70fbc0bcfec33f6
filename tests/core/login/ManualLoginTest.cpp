#include "core/login/ManualLogin.h"

#include "support/TestState.h"

namespace quenlor {
namespace {

class ManualLoginTest : public test::StateFixture {};

TEST_F(ManualLoginTest, DialogIsPresetFromConfigBeforeItIsShown) {
    writeProgramFile(QStringLiteral("Config.ini"), "[Login]\nServer=db01\nSa=admin\nPwd=pw\n");
    QString seenServer, seenUser, seenPassword;
    windows->loginScript = [&](SqlLoginDialog& d) {
        seenServer = d.ServerName;
        seenUser = d.UserName;
        seenPassword = d.Password;
    };
    const Read<bool> login = ManualLogin();
    EXPECT_FALSE(login.value);
    EXPECT_EQ(seenServer, QStringLiteral("db01"));
    EXPECT_EQ(seenUser, QStringLiteral("admin"));
    EXPECT_EQ(seenPassword, QStringLiteral("pw"));
    EXPECT_TRUE(login.outcome.ok()) << "nothing failed";
}

TEST_F(ManualLoginTest, ConfirmedLoginBecomesTheProgramLogin) {
    windows->loginScript = [](SqlLoginDialog& d) {
        d.ServerName = QStringLiteral(" srv ");
        d.UserName = QStringLiteral("sa");
        d.Password = QStringLiteral("");
        d.Confirmed = true;
    };
    EXPECT_TRUE(ManualLogin().value);
    EXPECT_EQ(st().SqlServer, QStringLiteral(" srv "));
    EXPECT_EQ(st().SqlUser, QStringLiteral("sa"));
    EXPECT_EQ(st().SqlPassword, QString());
    ASSERT_NE(st().frmSQLLogin, nullptr) << "the dialog instance is kept in the Program state";
    EXPECT_TRUE(st().frmSQLLogin->Confirmed);
}

TEST_F(ManualLoginTest, EachCallMakesAFreshDialog) {
    EXPECT_FALSE(ManualLogin().value);
    windows->loginScript = [](SqlLoginDialog& d) {
        EXPECT_FALSE(d.Confirmed);
        EXPECT_TRUE(d.ServerName.isEmpty()) << "no values left over from the first dialog";
    };
    EXPECT_FALSE(ManualLogin().value);
    EXPECT_EQ(windows->loginDialogsCreated, 2);
}

TEST_F(ManualLoginTest, GivingUpReportsTheLastRecordedFailure) {
    st().lastError.set(18456, QStringLiteral("用户 'sa' 登录失败。"));
    const Read<bool> login = ManualLogin();
    EXPECT_FALSE(login.value);
    EXPECT_EQ(login.outcome.text(), QStringLiteral("用户 'sa' 登录失败。"));
}

TEST_F(ManualLoginTest, TestConnectionOpensExactlyWhatWasTyped) {
    const Read<std::unique_ptr<Database>> opened =
        openTestConnection(QStringLiteral("srv "), QStringLiteral("master"), QStringLiteral(" sa"),
                           QStringLiteral("p w"));
    ASSERT_NE(opened.value, nullptr);
    EXPECT_TRUE(opened.outcome.ok());
    ASSERT_EQ(server.opens.size(), 1u);
    EXPECT_EQ(server.opens[0].server, QStringLiteral("srv "));
    EXPECT_EQ(server.opens[0].database, QStringLiteral("master"));
    EXPECT_EQ(server.opens[0].user, QStringLiteral(" sa"));
    EXPECT_EQ(server.opens[0].password, QStringLiteral("p w"));

    server.failNextOpens(1, DbError{QStringLiteral("08001"), 20009,
                                    QStringLiteral("[FreeTDS][SQL Server]Unable to connect")});
    const Read<std::unique_ptr<Database>> refused = openTestConnection(
        QStringLiteral("nowhere"), QStringLiteral("master"), QStringLiteral("sa"), QString());
    EXPECT_EQ(refused.value, nullptr);
    EXPECT_EQ(refused.outcome.text(), QStringLiteral("[FreeTDS][SQL Server]Unable to connect"));
    EXPECT_EQ(refused.outcome.number(), 20009);
    EXPECT_EQ(st().lastError.number, 20009) << "the login reads it when the operator gives up";
}

} // namespace
} // namespace quenlor
