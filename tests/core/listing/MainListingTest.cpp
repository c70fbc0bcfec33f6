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

TEST_F(MainListingTest, EachSelectionSendsItsListingToMaster) {
    load(ProductFamily::ServerDatabases, QStringLiteral("全部"));
    load(ProductFamily::Tplus, QStringLiteral("全部"));
    load(ProductFamily::UfSystem, QStringLiteral("全部"));
    load(ProductFamily::U8, QStringLiteral("[003]演示账套"));
    st().ProductSubType = UfCatalogue::NewerU8;
    load(ProductFamily::T6, QStringLiteral("[004]"));

    EXPECT_EQ(
        server.log,
        (QStringList{QStringLiteral("master: ") + test::sqlListing(),
                     QStringLiteral("master: ") + test::tplusListing(),
                     QStringLiteral("master: ") + test::accountSetListing(),
                     QStringLiteral("master: ") + test::yearListing(QStringLiteral("003")),
                     QStringLiteral("master: ") + test::yearRangeListing(QStringLiteral("004"))}));
    EXPECT_EQ(listing.CurrentType, ProductFamily::T6);
    EXPECT_EQ(listing.CurrentAcc, QStringLiteral("004"));
}

TEST_F(MainListingTest, AccountCodeStandsForItselfInsideTheLikePattern) {
    // Codes come from the catalogue; a damaged one must neither break the statement nor match
    // other account sets.
    load(ProductFamily::U8, QStringLiteral("[0'1]x"));
    load(ProductFamily::U8, QStringLiteral("[0_%]x"));
    load(ProductFamily::U8, QStringLiteral("[[a]"));
    EXPECT_EQ(
        server.log,
        (QStringList{QStringLiteral("master: ") + test::yearListing(QStringLiteral("0''1")),
                     QStringLiteral("master: ") + test::yearListing(QStringLiteral("0[_][%]")),
                     QStringLiteral("master: ") + test::yearListing(QStringLiteral("[[]a]"))}));
}

TEST_F(MainListingTest, EmptyAccountListListsTheYearsOfNoAccount) {
    load(ProductFamily::T3, QString());
    EXPECT_EQ(listing.CurrentAcc, QString());
    EXPECT_EQ(server.log, QStringList{QStringLiteral("master: ") + test::yearListing(QString())});
    EXPECT_EQ(listing.grid().Rows(), 2) << "header and placeholder";
}

TEST_F(MainListingTest, ResultFillsTheGridUnderItsHeaderRow) {
    server.answer(
        test::accountSetListing(),
        table(
            {QStringLiteral("选择"), QStringLiteral("账套号"), QStringLiteral("账套名称"),
             QStringLiteral("状态")},
            {{QString(), QStringLiteral("001"), QStringLiteral("演示"), QStringLiteral("正常")},
             {QString(), QStringLiteral("005"), QVariant(), QStringLiteral("系统管理控制之外")}}));
    load(ProductFamily::U8, QStringLiteral("全部"));

    const GridModel& g = listing.grid();
    ASSERT_EQ(g.Rows(), 3);
    ASSERT_EQ(g.Cols(), 4);
    EXPECT_EQ(row(0), (QStringList{"选择", "账套号", "账套名称", "状态"}));
    EXPECT_EQ(row(1), (QStringList{"", "001", "演示", "正常"}));
    EXPECT_EQ(row(2), (QStringList{"", "005", "", "系统管理控制之外"})) << "null shows as empty";
    EXPECT_EQ(listing.listedRow(2).item, (ListedItem{AccountSetRow{"005", ""}}));
    EXPECT_EQ(g.currentRow(), 1);
    EXPECT_EQ(g.colWidthTwips(0), 600);
    EXPECT_EQ(g.colWidthTwips(2), 4000);
    // The view sees data rows only, the header row as its header.
    EXPECT_EQ(g.rowCount(), 2);
    EXPECT_EQ(g.headerData(1, Qt::Horizontal).toString(), QStringLiteral("账套号"));
    EXPECT_EQ(g.data(g.index(0, 1)).toString(), QStringLiteral("001"));
}

TEST_F(MainListingTest, SwitchingListingsReplacesHeaderAndWidths) {
    load(ProductFamily::Tplus, QStringLiteral("全部"));
    server.answer(test::sqlListing(), table({QStringLiteral("选择"), QStringLiteral("数据库"),
                                             QStringLiteral("状态"), QStringLiteral("路径")}));
    load(ProductFamily::ServerDatabases, QStringLiteral("全部"));
    EXPECT_EQ(listing.grid().Cols(), 4);
    EXPECT_EQ(row(0), (QStringList{"选择", "数据库", "状态", "路径"}));
    EXPECT_EQ(row(1), (QStringList{"", "", "", ""})) << "an empty listing keeps one blank row";
    EXPECT_EQ(listing.grid().Rows(), 2);
    EXPECT_EQ(listing.grid().colWidthTwips(3), 7000);
    EXPECT_EQ(listing.grid().colWidthTwips(6), 0) << "no width survives from the T+ layout";
}

TEST_F(MainListingTest, UnknownProductListsNothing) {
    load(ProductFamily::ServerDatabases, QStringLiteral("全部"));
    load(ProductFamily::None, QStringLiteral("全部"));
    EXPECT_EQ(listing.grid().Rows(), 0);
    EXPECT_EQ(listing.grid().Cols(), 0);
    EXPECT_EQ(listing.grid().currentRow(), 0);
    EXPECT_EQ(server.log.size(), 1) << "no statement for the unknown product";
}

TEST_F(MainListingTest, FailingListingShowsTheServersTextAndKeepsHeaderAndPlaceholder) {
    server.fail(test::tplusListing(),
                DbError{QStringLiteral("42S02"), 208,
                        QStringLiteral("对象名 'UFTSystem..EAP_Account' 无效。")});
    load(ProductFamily::Tplus, QStringLiteral("全部"));
    ASSERT_EQ(messages->shown.size(), 1);
    EXPECT_EQ(messages->shown[0],
              (QPair<short, QString>(4, QStringLiteral("对象名 'UFTSystem..EAP_Account' 无效。"))));
    EXPECT_EQ(listing.grid().Rows(), 2);
    EXPECT_EQ(row(0),
              (QStringList{"选择", "数据库", "账套号", "账套名称", "开始年度", "状态", "路径"}));

    st().MasterConn.reset();
    load(ProductFamily::ServerDatabases, QStringLiteral("全部"));
    EXPECT_EQ(messages->shown.size(), 2) << "no connection is reported too";
    EXPECT_EQ(row(0), (QStringList{"选择", "数据库", "状态", "路径"}));
}

TEST_F(MainListingTest, ProductEntries) {
    using enum ProductFamily;
    EXPECT_EQ(listing.productEntries(), QList<ProductFamily>{ServerDatabases});

    server.answer(QStringLiteral("select name from sysdatabases where 1=1 and name='ufsystem'"),
                  table({QStringLiteral("name")}, {{QStringLiteral("ufsystem")}}));
    server.answer(QStringLiteral("select name from sysdatabases where 1=1 and name='uftsystem'"),
                  table({QStringLiteral("name")}, {{QStringLiteral("UFTSystem")}}));
    EXPECT_EQ(listing.productEntries(), (QList<ProductFamily>{UfSystem, Tplus, ServerDatabases}));

    server.fail(QStringLiteral("select name from sysdatabases where 1=1 and name='uftsystem'"),
                DbError{QStringLiteral("08S01"), 0, QStringLiteral("连接中断")});
    EXPECT_EQ(listing.productEntries(), (QList<ProductFamily>{UfSystem, ServerDatabases}))
        << "a failed look-up counts as a missing database; SQL is always offered";
}

TEST_F(MainListingTest, AccountEntries) {
    const QString q = QStringLiteral(
        "select '['+cAcc_Id+']'+cAcc_Name as Acc from ufsystem..ua_account order by cAcc_Id");
    for (const ProductFamily p : {ProductFamily::Tplus, ProductFamily::ServerDatabases})
        EXPECT_EQ(listing.accountEntries(p), QStringList{QStringLiteral("全部")});
    EXPECT_TRUE(server.log.isEmpty()) << "only the ufsystem products have account sets";

    EXPECT_TRUE(listing.accountEntries(ProductFamily::U8).isEmpty())
        << "no account set: not even 全部";

    server.answer(q, table({QStringLiteral("Acc")}, {{QStringLiteral("[001]甲")},
                                                     {QVariant()},
                                                     {QStringLiteral("[002]乙")},
                                                     {QStringLiteral("[003]丙")}}));
    EXPECT_EQ(listing.accountEntries(ProductFamily::UfSystem),
              (QStringList{"全部", "[001]甲", "[002]乙", "[003]丙"}));
    EXPECT_EQ(server.log.last(), QStringLiteral("Tempdb: ") + q) << "the account list reads Tempdb";

    server.fail(q, DbError{QStringLiteral("42000"), 229, QStringLiteral("拒绝了 SELECT 权限")});
    EXPECT_TRUE(listing.accountEntries(ProductFamily::T3).isEmpty());
    ASSERT_EQ(messages->shown.size(), 1);
    EXPECT_EQ(messages->shown[0].second, QStringLiteral("拒绝了 SELECT 权限"));
}

TEST_F(MainListingTest, TicksLiveInColumnZeroOfDataRows) {
    server.answer(test::sqlListing(),
                  table({QStringLiteral("选择"), QStringLiteral("数据库"), QStringLiteral("状态"),
                         QStringLiteral("路径")},
                        {{QString(), QStringLiteral("a"), QStringLiteral("正常"), QString()},
                         {QString(), QStringLiteral("b"), QStringLiteral("正常"), QString()},
                         {QString(), QStringLiteral("c"), QStringLiteral("正常"), QString()}}));
    load(ProductFamily::ServerDatabases, QString());
    EXPECT_FALSE(listing.HasTicked());
    EXPECT_EQ(listing.CountTicked(), 0);

    listing.toggleTick(2, 0);
    EXPECT_EQ(listing.grid().TextMatrix(2, 0), QStringLiteral("Y"));
    EXPECT_EQ(listing.CountTicked(), 1);
    listing.toggleTick(2, 0);
    EXPECT_EQ(listing.grid().TextMatrix(2, 0), QString()) << "twice returns to unticked";
    listing.toggleTick(2, 1);
    listing.toggleTick(0, 0);
    EXPECT_EQ(listing.CountTicked(), 0) << "other columns and the header row do nothing";
    EXPECT_EQ(listing.grid().TextMatrix(0, 0), QStringLiteral("选择"));

    listing.selectAll();
    EXPECT_EQ(listing.CountTicked(), 3);
    listing.grid().setTextMatrix(3, 0, QStringLiteral("y"));
    EXPECT_EQ(listing.CountTicked(), 2) << "only an upper-case Y is a tick";
    listing.toggleTick(3, 0);
    EXPECT_EQ(listing.grid().TextMatrix(3, 0), QString()) << "any other text toggles to empty";
    listing.clearAll();
    EXPECT_EQ(listing.CountTicked(), 0);
    EXPECT_FALSE(listing.HasTicked());

    listing.selectAll();
    load(ProductFamily::ServerDatabases, QString());
    EXPECT_EQ(listing.CountTicked(), 0) << "a refresh drops every tick";
}

TEST_F(MainListingTest, PlaceholderRowOfAnEmptyListingCanBeTicked) {
    load(ProductFamily::Tplus, QString());
    listing.selectAll();
    EXPECT_TRUE(listing.HasTicked());
    EXPECT_EQ(listing.CountTicked(), 1);
}

TEST_F(MainListingTest, CountsBeyondSixteenBits) {
    QList<QList<QVariant>> rows;
    for (int i = 0; i < 40000; ++i)
        rows.append({QString(), QStringLiteral("db%1").arg(i), QStringLiteral("正常"), QString()});
    server.answer(test::sqlListing(), table({QStringLiteral("选择"), QStringLiteral("数据库"),
                                             QStringLiteral("状态"), QStringLiteral("路径")},
                                            rows));
    load(ProductFamily::ServerDatabases, QString());
    listing.selectAll();
    EXPECT_EQ(listing.CountTicked(), 40000);
}

TEST_F(MainListingTest, OneRefreshPerActionHoweverOftenItIsAskedFor) {
    int refreshes = 0;
    listing.setRefresh([&] { ++refreshes; });

    listing.requestRefresh();
    EXPECT_EQ(refreshes, 1) << "outside an action it runs at once";

    {
        MainListing::Action outer(listing);
        listing.requestRefresh();
        {
            MainListing::Action inner(listing);
            listing.requestRefresh();
        }
        EXPECT_EQ(refreshes, 1) << "nothing until the outermost action ends";
        listing.requestRefresh();
    }
    EXPECT_EQ(refreshes, 2);

    { MainListing::Action quiet(listing); }
    EXPECT_EQ(refreshes, 2) << "an action that asked for nothing refreshes nothing";
}

TEST_F(MainListingTest, FailuresAreReportedOncePerAction) {
    listing.setRefresh([&] { listing.reportFailure(QStringLiteral("third")); });
    {
        MainListing::Action a(listing);
        listing.reportFailure(QStringLiteral("first"));
        listing.reportFailure(QStringLiteral("second"));
        listing.requestRefresh();
    }
    ASSERT_EQ(messages->shown.size(), 1);
    EXPECT_EQ(messages->shown[0], (QPair<short, QString>(4, QStringLiteral("first"))));
    {
        MainListing::Action next(listing);
        listing.reportFailure(QStringLiteral("next action"));
    }
    EXPECT_EQ(messages->shown.size(), 2) << "a new action may report again";
}

} // namespace
} // namespace quenlor
