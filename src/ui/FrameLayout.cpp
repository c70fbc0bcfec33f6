#include "ui/FrameLayout.h"

namespace quenlor {

namespace {

constexpr int px(int pixels) {
    return pixels * kTwipsPerPixel96;
}

// A computed size that would be negative is not applied.
void setWidth(FrameRect& r, int width) {
    if (width >= 0)
        r.width = width;
}

void setHeight(FrameRect& r, int height) {
    if (height >= 0)
        r.height = height;
}

} // namespace

FrameLayout designFrameLayout() {
    FrameLayout f;
    f.impTopLeft = {0, 0, px(7), px(25)};
    f.imgTopRight = {0, 0, px(7), px(25)};
    f.imgBottomLeft = {0, 0, px(7), px(7)};
    f.imgBottomRight = {0, 0, px(7), px(7)};
    f.imgTop = {0, 0, px(368), px(25)};
    f.imgBottom = {0, 0, px(368), px(7)};
    f.imgLeft = {0, 0, px(7), px(118)};
    f.imgRight = {0, 0, px(7), px(118)};
    // The caption pictures are 17 x 18 pixels and sit in the top bar.
    f.imgExit = {0, px(4), px(17), px(18)};
    f.imgResum = {0, px(4), px(17), px(18)};
    f.imgMin = {0, px(4), px(17), px(18)};
    f.imgMax = {0, px(4), px(17), px(18)};
    f.labAbout = {0, px(6), 480, px(14)};
    return layoutFrame(kDesignWidthTwips, kDesignHeightTwips, f);
}

FrameLayout layoutFrame(int W, int H, FrameLayout f) {
    f.impTopLeft.left = 0;
    f.impTopLeft.top = 0;
    f.imgTopRight.left = W - f.imgTopRight.width;
    f.imgTopRight.top = 0;
    f.imgBottomLeft.left = 0;
    f.imgBottomLeft.top = H - f.imgBottomLeft.height;
    f.imgBottomRight.left = W - f.imgBottomRight.width;
    f.imgBottomRight.top = H - f.imgBottomRight.height;

    f.imgTop.top = 0;
    f.imgTop.left = f.impTopLeft.left + f.impTopLeft.width;
    setWidth(f.imgTop, W - f.impTopLeft.width - f.imgTopRight.width);

    f.imgBottom.top = f.imgBottomLeft.top;
    f.imgBottom.left = f.imgBottomLeft.left + f.imgBottomLeft.width;
    setWidth(f.imgBottom, W - f.imgBottomLeft.width - f.imgBottomRight.width);

    f.imgLeft.left = 0;
    f.imgLeft.top = f.impTopLeft.top + f.impTopLeft.height;
    setHeight(f.imgLeft, H - f.impTopLeft.height - f.imgBottomLeft.height);

    f.imgRight.top = f.imgTopRight.top + f.imgTopRight.height;
    f.imgRight.left = W - f.imgRight.width;
    setHeight(f.imgRight, H - f.imgTopRight.height - f.imgBottomRight.height);

    f.imgExit.left = W - f.imgExit.width - 100;
    f.imgResum.left = f.imgExit.left - f.imgResum.width - 100;
    f.imgMin.left = f.imgResum.left - f.imgMin.width - 100;
    f.imgMax.left = f.imgResum.left;
    f.labAbout.left = f.imgExit.left - 200 - f.labAbout.width;
    return f;
}

} // namespace quenlor
