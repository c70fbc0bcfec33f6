#include "core/listing/MainListing.h"

#include "support/ListingStatements.h"
#include "support/TestState.h"

namespace quenlor {
namespace {

using test::table;

class MainListingTest : public test::StateFixture {
protected:
    MainListingTest() {
        st().MasterConn = std::make_unique<test::FakeDatabase>(server, QStringLiteral("master"));
        st().TempdbConn = std::make_unique<test::FakeDatabase>(server, QStringLiteral("Tempdb"));
    }

    QStringList row(int r) const {
        QStringList cells;
        for (int c = 0; c < listing.grid().Cols(); ++c)
            cells.append(listing.grid().TextMatrix(r, c));
        return cells;
    }
    // Chooses the product and account entry and lists them.
    void load(ProductFamily product, const QString& account) {
        listing.select({product, account});
        listing.LoadDB();
    }

    MainListing listing;
};

// The year listings: of no account when the list is empty, as ranges in the newer catalogue.
TEST_F(MainListingTest, YearListingsFollowTheCatalogue) {
    load(ProductFamily::T3, QString());
    st().ProductSubType = UfCatalogue::NewerU8;
    load(ProductFamily::T6, "[004]");
    EXPECT_EQ(server.log, (QStringList{"master: " + test::yearListing(""),
                                       "master: " + test::yearRangeListing("004")}));
}

TEST_F(MainListingTest, AccountCodeStandsForItselfInsideTheLikePattern) {
    // Codes come from the catalogue; a damaged one must neither break the statement nor match
    // other account sets.
    load(ProductFamily::U8, QStringLiteral("[0'1]x"));
    load(ProductFamily::U8, QStringLiteral("[0_%]x"));
    load(ProductFamily::U8, QStringLiteral("[[a]"));
    EXPECT_EQ(server.log, (QStringList{"master: " + test::yearListing("0''1"),
                                       "master: " + test::yearListing("0[_][%]"),
                                       "master: " + test::yearListing("[[]a]")}));
}

TEST_F(MainListingTest, ResultFillsTheGridUnderItsHeaderRow) {
    server.answer(test::accountSetListing(), table({"选择", "账套号", "账套名称", "状态"},
                                                   {{"", "001", "演示", "正常"},
                                                    {"", "005", QVariant(), "系统管理控制之外"}}));
    load(ProductFamily::U8, "全部");

    ASSERT_EQ(listing.grid().Rows(), 3);
    EXPECT_EQ(row(0), (QStringList{"选择", "账套号", "账套名称", "状态"}));
    EXPECT_EQ(row(2), (QStringList{"", "005", "", "系统管理控制之外"})) << "null shows as empty";
    EXPECT_EQ(listing.listedRow(2).item, (ListedItem{AccountSetRow{"005", ""}}));
    // The view sees data rows only, the header row as its header.
    EXPECT_EQ(listing.grid().rowCount(), 2);
    EXPECT_EQ(listing.grid().headerData(1, Qt::Horizontal).toString(), QStringLiteral("账套号"));
}

// A failing or empty listing keeps its header and one blank row, which can be ticked.
TEST_F(MainListingTest, FailingListingShowsTheServersTextAndKeepsHeaderAndPlaceholder) {
    server.fail(test::tplusListing(),
                DbError{"42S02", 208, "对象名 'UFTSystem..EAP_Account' 无效。"});
    load(ProductFamily::Tplus, "全部");
    EXPECT_EQ(messages->shown,
              (QList<QPair<short, QString>>{{4, "对象名 'UFTSystem..EAP_Account' 无效。"}}));
    EXPECT_EQ(listing.grid().Rows(), 2);
    EXPECT_EQ(row(0),
              (QStringList{"选择", "数据库", "账套号", "账套名称", "开始年度", "状态", "路径"}));
    listing.selectAll();
    EXPECT_EQ(listing.CountTicked(), 1);

    st().MasterConn.reset();
    load(ProductFamily::ServerDatabases, "全部");
    EXPECT_EQ(messages->shown.size(), 2) << "no connection is reported too";
    EXPECT_EQ(row(0), (QStringList{"选择", "数据库", "状态", "路径"}));
    EXPECT_EQ(row(1), (QStringList{"", "", "", ""}));
}

// A connection lost since the last action is opened again, once per action, by the next one (the
// end-to-end run shows it listing again); a server that cannot be reached is named with the
// driver's text, and nothing is read.
TEST_F(MainListingTest, LostConnectionIsOpenedAgainByTheNextAction) {
    st().SqlServer = "srv";
    const DbError gone{"08001", 20009, "Adaptive Server is unavailable"};
    for (const bool lost : {false, true}) {
        SCOPED_TRACE(lost ? "server gone" : "nothing lost");
        if (lost)
            static_cast<test::FakeDatabase&>(*st().MasterConn).lose();
        server.failNextOpens(int(lost), gone);
        server.opens.clear(), server.log.clear(), messages->shown.clear();
        load(ProductFamily::U8, "全部");
        EXPECT_EQ(server.opens.size(), size_t(lost));
        EXPECT_EQ(server.log,
                  lost ? QStringList() : QStringList{"master: " + test::accountSetListing()});
        EXPECT_EQ(messages->shown.value(0).second,
                  lost ? "无法连接到服务器 srv：" + gone.description : QString());
    }
}

// A failed look-up counts as a missing catalogue, and SQL is always offered; a catalogue without
// account sets still offers 全部, which lists the databases outside it; a failed account list
// offers nothing. Read as on the server worker, the choice sends the listing's statements in the
// same order and tells nothing until it is taken, and then the account list's failure alone.
TEST_F(MainListingTest, FailedLookUpsOfferLess) {
    using enum ProductFamily;
    const QString lookUp = QStringLiteral("select name from sysdatabases where 1=1 and name='%1'");
    server.answer(lookUp.arg("ufsystem"), table({"name"}, {{"ufsystem"}}));
    server.fail(lookUp.arg("uftsystem"), DbError{"08S01", 0, "连接中断"});
    QString failure;
    EXPECT_EQ(MainListing::readAccountEntries(U8, failure), QStringList{"全部"});

    server.fail(test::kAccountQuery, DbError{"42000", 229, "拒绝了 SELECT 权限"});
    server.fail(test::yearListing(""), DbError{"42000", 229, "拒绝了 ua_period 的 SELECT 权限"});
    server.log.clear();
    ChoiceRead read = listing.choiceRequest(std::nullopt);
    MainListing::readChoice(read);
    EXPECT_EQ(read.products, (QList<ProductFamily>{UfSystem, ServerDatabases}));
    EXPECT_EQ(
        server.log,
        (QStringList{"master: " + lookUp.arg("ufsystem"), "master: " + lookUp.arg("uftsystem"),
                     "Tempdb: " + test::kAccountQuery, "master: " + test::yearListing("")}));
    EXPECT_TRUE(messages->shown.isEmpty());
    EXPECT_TRUE(listing.takeChoice(std::move(read)).accounts.isEmpty());
    EXPECT_EQ(messages->shown, (QList<QPair<short, QString>>{{4, "拒绝了 SELECT 权限"}}));
}

TEST_F(MainListingTest, TicksLiveInColumnZeroOfDataRows) {
    server.answer(test::sqlListing(), table({"选择", "数据库"}, {{"", "a"}, {"", "b"}, {"", "c"}}));
    load(ProductFamily::ServerDatabases, QString());
    listing.toggleTick(0, 0);
    EXPECT_FALSE(listing.HasTicked()) << "the header row is no data row";
    EXPECT_EQ(listing.grid().TextMatrix(0, 0), QStringLiteral("选择"));

    listing.selectAll();
    listing.grid().setTextMatrix(3, 0, QStringLiteral("y"));
    EXPECT_EQ(listing.CountTicked(), 2) << "only an upper-case Y is a tick";
    listing.toggleTick(3, 0);
    EXPECT_EQ(listing.grid().TextMatrix(3, 0), QString()) << "any other text toggles to empty";
    listing.clearAll();
    EXPECT_EQ(listing.CountTicked(), 0);

    listing.selectAll();
    load(ProductFamily::ServerDatabases, QString());
    EXPECT_EQ(listing.CountTicked(), 0) << "a refresh drops every tick";
}

// However often an action, its nested actions and the refresh it asked for report failures, the
// operator is told the first one only; the next action may report again.
TEST_F(MainListingTest, OneFailureIsToldPerAction) {
    int refreshes = 0;
    listing.setRefresh([&] {
        ++refreshes;
        listing.reportFailure("from the refresh");
    });
    {
        MainListing::Action outer(listing);
        listing.reportFailure("first");
        MainListing::Action inner(listing);
        listing.reportFailure("second");
        listing.requestRefresh();
    }
    EXPECT_EQ(refreshes, 1);
    EXPECT_EQ(messages->shown, (QList<QPair<short, QString>>{{4, "first"}}));
    MainListing::Action next(listing);
    listing.reportFailure("next");
    EXPECT_EQ(messages->shown.size(), 2);
}

} // namespace
} // namespace quenlor
