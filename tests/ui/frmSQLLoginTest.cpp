#include "ui/frmSQLLogin.h"
#include "support/TestState.h"
#include "support/UiDriver.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace quenlor::test {
namespace {

const QString kRetry = QStringLiteral("输入数据库用户名或密码有误, 请重新输入!");

class FrmSQLLoginTest : public StateFixture {
protected:
    template <typename T = QWidget> T* control(const char* name) {
        T* w = dlg.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QLineEdit* box(const char* name) { return control<QLineEdit>(name); }
    QStringList boxTexts() {
        return {box("txtServerName")->text(), box("txtUser")->text(), box("txtPwd")->text()};
    }
    void type(const QString& server, const QString& user, const QString& password) {
        box("txtServerName")->setText(server);
        box("txtUser")->setText(user);
        box("txtPwd")->setText(password);
    }

    frmSQLLogin dlg;
};

TEST_F(FrmSQLLoginTest, WithNothingPresetOffersTheLocalServerAndSa) {
    QStringList shown;
    WhenModal drive([&](QWidget* modal) {
        EXPECT_EQ(modal, &dlg);
        shown = boxTexts();
        click(control("cmdCancel"));
    });
    dlg.ConnSql();
    EXPECT_EQ(shown, (QStringList{"127.0.0.1", "SA", ""}));
    EXPECT_FALSE(dlg.Confirmed);
    EXPECT_TRUE(server.opens.empty());
    EXPECT_EQ(dlg.TestConn, nullptr);
}

TEST_F(FrmSQLLoginTest, PresetFieldsShowInTheBoxesAndEscCancels) {
    dlg.ServerName = QStringLiteral("ERP01\\U8");
    dlg.UserName = QStringLiteral("dba");
    dlg.Password = QStringLiteral("p<b>w");
    dlg.Confirmed = true; // left over from an earlier showing
    QStringList shown;
    QString masked;
    WhenModal drive([&](QWidget* modal) {
        shown = boxTexts();
        masked = box("txtPwd")->displayText();
        typeKey(modal, Qt::Key_Escape);
    });
    dlg.ConnSql();
    EXPECT_EQ(shown, (QStringList{"ERP01\\U8", "dba", "p<b>w"}));
    EXPECT_EQ(masked, QStringLiteral("*****"));
    EXPECT_FALSE(dlg.Confirmed);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_TRUE(server.opens.empty());
    EXPECT_TRUE(messages->shown.isEmpty());
}

TEST_F(FrmSQLLoginTest, RetriesAfterEachRefusalUntilTheLoginWorks) {
    server.failNextOpens(
        3, DbError{QStringLiteral("28000"), 18456, QStringLiteral("Login failed for user 'sa'.")});
    WhenModal drive([&](QWidget* modal) {
        for (int attempt = 1; attempt <= 3; ++attempt) {
            SCOPED_TRACE(attempt);
            const QString password = QStringLiteral("wrong%1").arg(attempt);
            type(QStringLiteral("srv "), QStringLiteral("sa "), password);
            box("txtUser")->setFocus();
            click(control("cmdConfirm"));

            ASSERT_EQ(messages->shown.size(), attempt);
            EXPECT_EQ(messages->shown.last(), (QPair<short, QString>(4, kRetry)));
            EXPECT_TRUE(modal->isVisible());
            EXPECT_EQ(modal->focusWidget(), box("txtPwd"));
            EXPECT_EQ(box("txtPwd")->selectedText(), password);
            EXPECT_TRUE(control("cmdConfirm")->isEnabled());
        }
        type(QStringLiteral("srv "), QStringLiteral("sa "), QStringLiteral(" secret "));
        click(control("cmdConfirm"));
    });
    dlg.ConnSql();

    EXPECT_TRUE(dlg.Confirmed);
    EXPECT_EQ(dlg.ServerName, QStringLiteral("srv "));
    EXPECT_EQ(dlg.UserName, QStringLiteral("sa "));
    EXPECT_EQ(dlg.Password, QStringLiteral(" secret "));
    EXPECT_NE(dlg.TestConn, nullptr);
    EXPECT_EQ(messages->shown.size(), 3);

    QStringList attempts;
    for (const ConnectionParams& p : server.opens)
        attempts.append(p.server + "|" + p.database + "|" + p.user + "|" + p.password);
    EXPECT_EQ(attempts, (QStringList{"srv |master|sa |wrong1", "srv |master|sa |wrong2",
                                     "srv |master|sa |wrong3", "srv |master|sa | secret "}));
}

TEST_F(FrmSQLLoginTest, EnterConfirms) {
    dlg.ServerName = QStringLiteral("db");
    dlg.Password = QStringLiteral("pw");
    WhenModal drive([&](QWidget* modal) {
        box("txtPwd")->setFocus();
        typeKey(modal, Qt::Key_Return);
    });
    dlg.ConnSql();
    EXPECT_TRUE(dlg.Confirmed);
    ASSERT_EQ(server.opens.size(), 1u);
    EXPECT_EQ(server.opens[0].server, QStringLiteral("db"));
    EXPECT_EQ(server.opens[0].user, QStringLiteral("SA"));
    EXPECT_EQ(server.opens[0].password, QStringLiteral("pw"));
}

TEST_F(FrmSQLLoginTest, ClosePictureCancelsLikeTheCancelButton) {
    WhenModal drive([&](QWidget*) { click(control("picExit")); });
    dlg.ConnSql();
    EXPECT_FALSE(dlg.Confirmed);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_TRUE(server.opens.empty());
}

TEST_F(FrmSQLLoginTest, TabRunsServerUserPasswordOkCancel) {
    QStringList visited;
    WhenModal drive([&](QWidget* modal) {
        visited.append(modal->focusWidget()->objectName());
        for (int i = 0; i < 5; ++i) {
            typeKey(modal, Qt::Key_Tab);
            visited.append(modal->focusWidget()->objectName());
        }
        typeKey(modal, Qt::Key_Escape);
    });
    dlg.ConnSql();
    EXPECT_EQ(visited, (QStringList{"txtServerName", "txtUser", "txtPwd", "cmdConfirm", "cmdCancel",
                                    "txtServerName"}));
}

TEST_F(FrmSQLLoginTest, LeftPressOnTheCaptionMovesTheWindow) {
    dlg.show();
    MoveRecorder moves;
    pressMouse(control("labHint"), Qt::RightButton, QPoint(2, 2));
    pressMouse(control("Label1"), Qt::RightButton, QPoint(2, 2));
    EXPECT_TRUE(moves.moved.isEmpty());
    pressMouse(control("labHint"), Qt::LeftButton, QPoint(2, 2));
    pressMouse(control("Label1"), Qt::LeftButton, QPoint(2, 2));
    pressMouse(box("txtUser"), Qt::LeftButton, QPoint(2, 2));
    EXPECT_EQ(moves.moved, (QList<QWidget*>{&dlg, &dlg}));
    dlg.hide();
}

TEST_F(FrmSQLLoginTest, TextsOfTheDialog) {
    EXPECT_EQ(control<QLabel>("labHint")->text(), QStringLiteral("服务器设置"));
    EXPECT_EQ(control("picExit")->toolTip(), QStringLiteral("关闭"));
    const std::pair<const char*, const char*> labels[] = {{"Label1", "服务器"},
                                                          {"Label2", "操作员"},
                                                          {"Label3", "口令"},
                                                          {"Label4", "*"},
                                                          {"Label5", "*"}};
    for (const auto& [name, text] : labels)
        EXPECT_EQ(control<QLabel>(name)->text(), QString::fromUtf8(text)) << name;
    const std::pair<const char*, const char*> tips[] = {{"txtServerName", "请输入服务器名称"},
                                                        {"txtUser", "请输入操作员"},
                                                        {"txtPwd", "请输入口令"},
                                                        {"cmdConfirm", "确定"},
                                                        {"cmdCancel", "取消"}};
    for (const auto& [name, tip] : tips)
        EXPECT_EQ(control(name)->toolTip(), QString::fromUtf8(tip)) << name;
    EXPECT_EQ(control<QPushButton>("cmdConfirm")->text(), QStringLiteral("确定"));
    EXPECT_EQ(control<QPushButton>("cmdCancel")->text(), QStringLiteral("取消"));
    EXPECT_EQ(box("txtPwd")->echoMode(), QLineEdit::Password);
}

} // namespace
} // namespace quenlor::test
