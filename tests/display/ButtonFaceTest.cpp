// The colour button's geometry and shades, as both windows draw them.
#include "display/ButtonFace.h"

#include <gtest/gtest.h>

namespace {

using namespace buttonface;

TEST(ButtonFace, Shades)
{
    // Face red 212, green 208, blue 200 (0xC8D0D4): white and 148/144/136.
    EXPECT_EQ(LightShade(0xC8D0D4), 0xFFFFFFu);
    EXPECT_EQ(DarkShade(0xC8D0D4), 0x889094u);
    EXPECT_EQ(LightShade(0x000000), 0x404040u);
    EXPECT_EQ(DarkShade(0x3010FF), 0x0000BFu);

    EXPECT_FALSE(BevelSunken(psUp, bbRaised));
    EXPECT_TRUE(BevelSunken(psDown, bbRaised));
    EXPECT_TRUE(BevelSunken(psUp, bbLowered));
    EXPECT_FALSE(BevelSunken(psDown, bbLowered));
    EXPECT_FALSE(BevelSunken(psDisabled, bbRaised));
}

TEST(ButtonFace, MainWindowButtonGeometry)
{
    // 105 x 49, bevel 2, spacing 2: the focus rectangle runs from (3, 3) to (102, 46).
    EXPECT_EQ(FocusRect({2, 2, 103, 47}, 2), (TEdges{3, 3, 102, 46}));
    // With no bevel it is placed on the whole button.
    EXPECT_EQ(FocusRect({0, 0, 105, 49}, 2), (TEdges{1, 1, 104, 48}));
}

TEST(ButtonFace, CaptionOriginForEveryAlignment)
{
    // W 105, H 49, d 4, text 40 x 20; offset 1 moves both coordinates by one.
    const struct {
        TAlignment a;
        int x, y;
    } cases[] = {{alTopLeft, 4, 4},       {alTopCenter, 32, 4},      {alTopRight, 61, 4},
                 {alMiddleLeft, 4, 14},   {alMiddleCenter, 32, 14},  {alMiddleRight, 61, 14},
                 {alBottomLeft, 4, 25},   {alBottomCenter, 32, 25},  {alBottomRight, 61, 25}};
    for (const auto& c : cases) {
        EXPECT_EQ(CaptionOrigin(c.a, 105, 49, 2, 2, 40, 20, 0), (TPoint{c.x, c.y})) << c.a;
        EXPECT_EQ(CaptionOrigin(c.a, 105, 49, 2, 2, 40, 20, 1), (TPoint{c.x + 1, c.y + 1})) << c.a;
    }
    // Halves are truncated: (105 - 8 - 42) / 2 = 27, (49 - 8 - 21) / 2 = 10.
    EXPECT_EQ(CaptionOrigin(alMiddleCenter, 105, 49, 2, 2, 42, 21, 0), (TPoint{31, 14}));
}

TEST(ButtonFace, PictureGoesOppositeTheCaption)
{
    // W 100, H 60, d 4, picture 20 x 10.
    const int noStyle = 0;
    EXPECT_EQ(PictureTarget(bsStretch, alTopLeft, 100, 60, 2, 2, 20, 10), (TEdges{4, 4, 96, 56}));
    EXPECT_EQ(PictureTarget(bsCenter, alTopLeft, 100, 60, 2, 2, 20, 10), (TEdges{40, 25, 60, 35}));
    const struct {
        TAlignment a;
        int left, top;
    } cases[] = {{alTopCenter, 40, 46}, {alMiddleLeft, 76, 25}, {alMiddleCenter, 40, 25},
                 {alMiddleRight, 4, 25}, {alBottomRight, 40, 4}};
    for (const auto& c : cases)
        EXPECT_EQ(PictureTarget(noStyle, c.a, 100, 60, 2, 2, 20, 10), (TEdges{c.left, c.top, c.left + 20, c.top + 10})) << c.a;
}

TEST(ButtonFace, Accelerator)
{
    const struct {
        const char* caption;
        const char* text;
        std::size_t key;
    } cases[] = {{"Stop", "Stop", 0}, {"&Stop", "Stop", 1}, {"A&&B", "A&B", 2}, {"a&b&c", "ab&c", 2}};
    for (const auto& c : cases) {
        const TAccelerated a = StripAccelerator(c.caption);
        EXPECT_EQ(a.Text, c.text) << c.caption;
        EXPECT_EQ(a.KeyPos, c.key) << c.caption;
    }
}

} // namespace
