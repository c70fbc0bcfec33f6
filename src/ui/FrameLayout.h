#pragma once

namespace quenlor {

// A place in twips.
struct FrameRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const FrameRect&) const = default;
};

// The elements of the main window's own frame and top bar.
struct FrameLayout {
    FrameRect impTopLeft, imgTopRight, imgBottomLeft, imgBottomRight;
    FrameRect imgTop, imgBottom, imgLeft, imgRight;
    FrameRect imgExit, imgResum, imgMin, imgMax, labAbout;
};

// Picture sizes in pixels at 96 dpi (15 twips a pixel).
inline constexpr int kTwipsPerPixel96 = 15;

// The frame at design time for a window of the design size (11970 x 7605 twips).
[[nodiscard]] FrameLayout designFrameLayout();

// Places the frame for a window W x H twips. An element whose computed width or height would be
// negative keeps its previous size; every other step still runs. Tops of the top-bar elements
// are not changed.
[[nodiscard]] FrameLayout layoutFrame(int W, int H, FrameLayout current);

inline constexpr int kDesignWidthTwips = 11970;
inline constexpr int kDesignHeightTwips = 7605;

} // namespace quenlor
