// The colour button's drawing rules, shared by both windows: the settings'
// enumerations, the two shades of the face colour, and where the bevel, the
// focus rectangle, the picture and the caption go.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Where the caption sits; the picture goes to the opposite side.
enum TAlignment {
    alTopLeft, alTopCenter, alTopRight,
    alMiddleLeft, alMiddleCenter, alMiddleRight,
    alBottomLeft, alBottomCenter, alBottomRight,
};

enum TButtonBevel { bbLowered, bbNone, bbRaised };

enum TButtonStyles {
    bsAutoSize = 1 << 0,  // size the button to the picture
    bsCenter = 1 << 1,    // centre the picture
    bsStretch = 1 << 2,   // stretch the picture over the inner area
    bsShowFocus = 1 << 3, // draw the focus rectangle
    bsShowKey = 1 << 4,   // underline the accelerator character
};

enum TPressState { psUp, psDown, psDisabled };

// A rectangle with its right and bottom edges outside it.
struct TEdges {
    int Left, Top, Right, Bottom;
    bool operator==(const TEdges&) const = default;
};

namespace buttonface {

// Colours are 0x00BBGGRR values: 64 added to, or taken from, each of red,
// green and blue, within 0 to 255.
std::uint32_t LightShade(std::uint32_t face);
std::uint32_t DarkShade(std::uint32_t face);

// True when the bevel's top-left edges take the dark shade: a raised button
// looks sunken while down, a lowered one raised.
inline bool BevelSunken(TPressState state, TButtonBevel bevel)
{
    return (state == psDown) != (bevel == bbLowered);
}

// The focus rectangle on the inner area left by the bevel.
inline TEdges FocusRect(const TEdges& inner, int spacing)
{
    return {inner.Left + spacing - 1, inner.Top + spacing - 1, inner.Right - spacing + 1, inner.Bottom - spacing + 1};
}

// Where a picture of pw x ph goes on a button of w x h.
TEdges PictureTarget(int style, TAlignment alignment, int w, int h, int bevelSize, int spacing, int pw, int ph);

// The top-left corner of a caption tw x th drawn with offset 0 or 1.
struct TPoint {
    int X, Y;
    bool operator==(const TPoint&) const = default;
};
TPoint CaptionOrigin(TAlignment alignment, int w, int h, int bevelSize, int spacing, int tw, int th, int offset);

// A caption without its first "&", and the position just after it (0 when
// there is none). Later "&" characters stay. Works on bytes: the byte after
// "&" starts a character in both UTF-8 and CP932.
struct TAccelerated {
    std::string Text;
    std::size_t KeyPos = 0;
};
TAccelerated StripAccelerator(std::string_view caption);

} // namespace buttonface
