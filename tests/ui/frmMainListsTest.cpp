#include "ui/MainWindowFixture.h"

#include <QCheckBox>
#include <QLabel>

#include <functional>

namespace quenlor::test {
namespace {

const QString kAll = QStringLiteral("全部");

class FrmMainListsTest : public MainWindowFixture {
protected:
    QWidget* lblAcc() { return control("lblAcc"); }
    QCheckBox* chkDeleteDB() { return control<QCheckBox>("chkDeleteDB"); }
    // What the operator sees of the account controls and the whole-database box.
    void expectAccountControls(bool shown) {
        EXPECT_EQ(lblAcc()->isVisibleTo(window.get()), shown);
        EXPECT_EQ(cboAcc()->isVisibleTo(window.get()), shown);
        EXPECT_EQ(chkDeleteDB()->isChecked(), !shown);
        EXPECT_EQ(chkDeleteDB()->isEnabled(), shown);
    }
};

// --- Products ---

TEST_F(FrmMainListsTest, ProductNamedByTheErpComesFirstInsteadOfTheSharedCatalogue) {
    setErpVersion(ProductFamily::U8);
    hasUfSystem();
    hasUftSystem();
    open();
    EXPECT_EQ(entries(cboType()), (QStringList{"U8", "T+", "SQL"}));
    EXPECT_EQ(cboType()->currentText(), QStringLiteral("U8"));
    EXPECT_FALSE(cboType()->isEditable());
    EXPECT_FALSE(server.log.contains(QStringLiteral("master: ") + kUfSystemLookup));
}

TEST_F(FrmMainListsTest, SharedCatalogueIsOfferedUnderItsProductLine) {
    hasUfSystem();
    open();
    EXPECT_EQ(entries(cboType()), (QStringList{"T3|T6|U8", "SQL"}));
    expectAccountControls(true);
}

TEST_F(FrmMainListsTest, WithoutAnyErpCatalogueOnlyPlainDatabasesAreOffered) {
    open();
    EXPECT_EQ(entries(cboType()), QStringList{"SQL"});
    EXPECT_EQ(cboType()->currentText(), QStringLiteral("SQL"));
    expectAccountControls(false);
    EXPECT_EQ(window->listing().CurrentType, ProductFamily::ServerDatabases);
}

TEST_F(FrmMainListsTest, LeavingPlainDatabasesBringsTheAccountControlsBack) {
    hasUfSystem();
    accounts({{QStringLiteral("[001]总公司")}});
    open();
    ASSERT_EQ(entries(cboType()), (QStringList{"T3|T6|U8", "SQL"}));

    pressKey(cboType(), Qt::Key_Down);
    ASSERT_EQ(cboType()->currentText(), QStringLiteral("SQL"));
    expectAccountControls(false);

    pressKey(cboType(), Qt::Key_Up);
    ASSERT_EQ(cboType()->currentText(), QStringLiteral("T3|T6|U8"));
    expectAccountControls(true);
    EXPECT_EQ(entries(cboAcc()), (QStringList{kAll, "[001]总公司"}));
    EXPECT_EQ(window->listing().CurrentType, ProductFamily::UfSystem);
}

// --- Accounts ---

TEST_F(FrmMainListsTest, CloudProductListsAllItsAccountsAtOnce) {
    hasUftSystem();
    open();
    ASSERT_EQ(cboType()->currentText(), QStringLiteral("T+"));
    expectAccountControls(true);
    EXPECT_EQ(entries(cboAcc()), QStringList{kAll});
    EXPECT_EQ(cboAcc()->currentText(), kAll);
    EXPECT_FALSE(server.log.contains(QStringLiteral("Tempdb: ") + kAccountQuery))
        << "the cloud product has no account list to read";
}

TEST_F(FrmMainListsTest, AccountListKeepsTheServersOrderBehindAll) {
    hasUfSystem();
    accounts({{QStringLiteral("[003]分公司")},
              {QStringLiteral("[001]总公司")},
              {QStringLiteral("[002]O'Neil & Co")}});
    open();
    EXPECT_EQ(entries(cboAcc()),
              (QStringList{kAll, "[003]分公司", "[001]总公司", "[002]O'Neil & Co"}));
    EXPECT_EQ(cboAcc()->currentIndex(), 0);
    EXPECT_FALSE(cboAcc()->isEditable());
    EXPECT_EQ(server.log.count(QStringLiteral("Tempdb: ") + kAccountQuery), 1);
}

TEST_F(FrmMainListsTest, EmptyAccountCatalogueLeavesTheListEmpty) {
    hasUfSystem();
    accounts({});
    open();
    EXPECT_EQ(cboAcc()->count(), 0);
    EXPECT_TRUE(cboAcc()->isVisibleTo(window.get()));
    EXPECT_TRUE(messages->shown.isEmpty());
}

TEST_F(FrmMainListsTest, NullAccountRowAddsNoEntry) {
    hasUfSystem();
    accounts({{QVariant()}, {QStringLiteral("[001]总公司")}, {QVariant()}});
    open();
    EXPECT_EQ(entries(cboAcc()), (QStringList{kAll, "[001]总公司"}));
}

// --- One listing per operator action ---

TEST_F(FrmMainListsTest, EachOperatorActionListsExactlyOnce) {
    hasUfSystem();
    hasUftSystem();
    accounts({{QStringLiteral("[001]总公司")}, {QStringLiteral("[003]分公司")}});

    open();
    EXPECT_EQ(listings(), QStringList{kUfListing}) << "start-up";

    pressKey(cboAcc(), Qt::Key_Down);
    EXPECT_EQ(listings().size(), 2) << "account changed from the keyboard";

    choose(cboAcc(), cboAcc()->currentIndex());
    EXPECT_EQ(listings().size(), 3) << "the same account chosen again";

    pressKey(cboType(), Qt::Key_Down);
    ASSERT_EQ(cboType()->currentText(), QStringLiteral("T+"));
    EXPECT_EQ(listings().size(), 4) << "product changed from the keyboard";

    choose(cboType(), 2);
    ASSERT_EQ(cboType()->currentText(), QStringLiteral("SQL"));
    EXPECT_EQ(listings().size(), 5) << "product chosen in the drop-down list";

    click(control("cmdBrush"));
    EXPECT_EQ(listings().size(), 6) << "refresh button";
    EXPECT_EQ(listings().mid(3), (QStringList{kTnListing, kSqlListing, kSqlListing}));
}

TEST_F(FrmMainListsTest, EachProductSendsItsListingToMaster) {
    struct Case {
        const char* product;
        std::function<void()> install;
        QString statement;
    };
    // Answers stay for the following cases, and each adds a catalogue listed before the last.
    const Case cases[] = {
        {"SQL", [] {}, kSqlListing},
        {"T+", [this] { hasUftSystem(); }, kTnListing},
        {"T3|T6|U8",
         [this] {
             hasUfSystem();
             accounts({{QStringLiteral("[003]分公司")}});
         },
         kUfListing},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.product);
        server.log.clear();
        c.install();
        open();
        ASSERT_EQ(cboType()->currentText(), QString::fromLatin1(c.product));
        EXPECT_TRUE(server.log.contains(QStringLiteral("master: ") + c.statement));
        EXPECT_EQ(listings(), QStringList{c.statement});
    }
}

TEST_F(FrmMainListsTest, OneAccountSetListsItsYears) {
    struct Case {
        UfCatalogue catalogue;
        QString statement;
    };
    for (const Case& c : {Case{UfCatalogue::Classic, kYearListing003},
                          Case{UfCatalogue::NewerU8, kYearListingU8N003}}) {
        SCOPED_TRACE(c.statement.toStdString());
        server.log.clear();
        st().ProductSubType = c.catalogue;
        hasUfSystem();
        accounts({{QStringLiteral("[003]分公司")}, {QStringLiteral("[001]总公司")}});
        open();
        pressKey(cboAcc(), Qt::Key_Down);
        ASSERT_EQ(cboAcc()->currentText(), QStringLiteral("[003]分公司"));
        EXPECT_EQ(listings(), (QStringList{kUfListing, c.statement}));
        EXPECT_EQ(window->listing().CurrentAcc, QStringLiteral("003"));
    }
}

} // namespace
} // namespace quenlor::test
