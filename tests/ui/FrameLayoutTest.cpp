#include "ui/FrameLayout.h"

#include <gtest/gtest.h>

namespace quenlor {
namespace {

TEST(FrameLayout, DesignSize) {
    const FrameLayout f = designFrameLayout();
    const int W = kDesignWidthTwips;
    const int H = kDesignHeightTwips;
    EXPECT_EQ(f.imgExit.left, 11615) << "100 twips from the right edge";
    EXPECT_EQ(f.labAbout.left + f.labAbout.width, f.imgExit.left - 200);
    EXPECT_EQ(f.imgResum.left, f.imgExit.left - f.imgResum.width - 100);
    EXPECT_EQ(f.imgMin.left, f.imgResum.left - f.imgMin.width - 100);
    EXPECT_EQ(f.imgMax.left, f.imgResum.left);

    EXPECT_EQ(f.impTopLeft, (FrameRect{0, 0, 105, 375}));
    EXPECT_EQ(f.imgTopRight, (FrameRect{W - 105, 0, 105, 375}));
    EXPECT_EQ(f.imgBottomLeft, (FrameRect{0, H - 105, 105, 105}));
    EXPECT_EQ(f.imgBottomRight, (FrameRect{W - 105, H - 105, 105, 105}));
    EXPECT_EQ(f.imgTop, (FrameRect{105, 0, W - 210, 375}));
    EXPECT_EQ(f.imgBottom, (FrameRect{105, H - 105, W - 210, 105}));
    EXPECT_EQ(f.imgLeft, (FrameRect{0, 375, 105, H - 480}));
    EXPECT_EQ(f.imgRight, (FrameRect{W - 105, 375, 105, H - 480}));
}

TEST(FrameLayout, WindowNarrowerThanItsCornersKeepsTheEdgesPreviousSizes) {
    const FrameLayout before = designFrameLayout();
    const FrameLayout f = layoutFrame(150, 300, before);
    EXPECT_EQ(f.imgTop.width, before.imgTop.width) << "150 - 2 x 105 would be negative";
    EXPECT_EQ(f.imgBottom.width, before.imgBottom.width);
    EXPECT_EQ(f.imgLeft.height, before.imgLeft.height) << "300 - 375 - 105 would be negative";
    EXPECT_EQ(f.imgRight.height, before.imgRight.height);
    // The steps after a skipped one still run.
    EXPECT_EQ(f.imgTopRight.left, 150 - 105);
    EXPECT_EQ(f.imgBottomRight.top, 300 - 105);
    EXPECT_EQ(f.imgRight.left, 150 - 105);
    EXPECT_EQ(f.imgExit.left, 150 - f.imgExit.width - 100);
    EXPECT_EQ(f.imgTop.left, 105);
}

TEST(FrameLayout, TopBarTopsAreNeverMoved) {
    FrameLayout start = designFrameLayout();
    start.imgExit.top = 77;
    start.labAbout.top = 88;
    const FrameLayout f = layoutFrame(20000, 9000, start);
    EXPECT_EQ(f.imgExit.top, 77);
    EXPECT_EQ(f.labAbout.top, 88);
    EXPECT_EQ(f.imgTop.width, 20000 - 210);
}

} // namespace
} // namespace quenlor
