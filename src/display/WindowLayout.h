// The main window's layout, fonts and colours as both windows build them.
// Pixels in the client area laid out at 96 dpi; controls inside a panel are
// placed relative to the panel. Colours are 0x00BBGGRR values.
#pragma once

#include "settings/Rw_ini.h"

#include <cstdint>

struct TPlace {
    int Left, Top, Width, Height;
};

namespace layout {

inline constexpr int kClientWidth = 416;
inline constexpr int kClientHeight = 464;
// The outer size set at creation in normal mode.
inline constexpr int kOuterWidth = 424;
inline constexpr int kOuterHeight = 476;
// The laid-out position, overwritten by the settings file at creation.
inline constexpr int kLaidOutLeft = 212;
inline constexpr int kLaidOutTop = 106;

inline constexpr TPlace kListView1{0, 0, kClientWidth, 113};
inline constexpr TPlace kListView2{0, 113, kClientWidth, 239};
inline constexpr TPlace kPanel2{0, 352, kClientWidth, 70};
inline constexpr TPlace kProgressBar1{0, 422, kClientWidth, 17};
inline constexpr TPlace kPanel1{0, 439, kClientWidth, 25};
// In Panel2.
inline constexpr TPlace kLabel1{8, 7, 170, 14};
inline constexpr TPlace kLabelRestTime{8, 31, 170, 16};
inline constexpr TPlace kColorButton2{192, 8, 105, 49};
inline constexpr TPlace kColorButton1{304, 8, 105, 49};
// In Panel1.
inline constexpr TPlace kLabelState{8, 5, 350, 14};
inline constexpr TPlace kLabelSend{368, 6, 40, 14};

inline constexpr int kItemColumnWidth = 150;
inline constexpr int kContentColumnWidth = 250;
inline constexpr int kResultColumnWidth = 100;
// The summary list's rows: seven of them under its header fit into its 113
// pixels (a list view would make them taller than its font needs, and
// scroll).
inline constexpr int kSummaryRowHeight = 12;

// Character heights in pixels (font height -12 and -19).
inline constexpr int kWindowFontHeight = 12;
inline constexpr int kButtonFontHeight = 19;
inline constexpr int kShiftJisCharset = 128;

inline constexpr int kTimer1Interval = 100;
inline constexpr int kTimerWaitInterval = 60000;

} // namespace layout

inline constexpr std::uint32_t kPureRed = 0x0000FF;

// The design's colours, each read as a hexadecimal number with red in the
// lowest byte; a value that does not read gives its default.
struct TWindowColours {
    std::uint32_t Background;
    std::uint32_t Button1Face, Button1Text;
    std::uint32_t Button2Face, Button2Text;
};

inline TWindowColours WindowColours(const TDesign& design)
{
    return {ColorFromText(design.BGColor, kDefaultFace),
            ColorFromText(design.Button1BGColor, kDefaultFace), ColorFromText(design.Button1TXColor, kDefaultText),
            ColorFromText(design.Button2BGColor, kDefaultFace), ColorFromText(design.Button2TXColor, kDefaultText)};
}
