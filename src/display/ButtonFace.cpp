#include "display/ButtonFace.h"

#include <algorithm>

namespace buttonface {

namespace {

std::uint32_t Shift(std::uint32_t face, int delta)
{
    std::uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int c = std::clamp(static_cast<int>((face >> shift) & 0xFF) + delta, 0, 255);
        out |= static_cast<std::uint32_t>(c) << shift;
    }
    return out;
}

} // namespace

std::uint32_t LightShade(std::uint32_t face) { return Shift(face, 64); }
std::uint32_t DarkShade(std::uint32_t face) { return Shift(face, -64); }

TEdges PictureTarget(int style, TAlignment alignment, int w, int h, int bevelSize, int spacing, int pw, int ph)
{
    const int d = bevelSize + spacing;
    auto at = [&](int left, int top) { return TEdges{left, top, left + pw, top + ph}; };
    if (style & bsStretch)
        return {d, d, w - d, h - d};
    if (style & bsCenter)
        return at((w - pw) / 2, (h - ph) / 2);
    switch (alignment) {
    case alTopLeft:
    case alTopCenter:
    case alTopRight: return at((w - pw) / 2, h - d - ph);
    case alMiddleLeft: return at(w - d - pw, (h - ph) / 2);
    case alMiddleCenter: return at((w - pw) / 2, (h - ph) / 2);
    case alMiddleRight: return at(d, (h - ph) / 2);
    default: return at((w - pw) / 2, d);
    }
}

TPoint CaptionOrigin(TAlignment alignment, int w, int h, int bevelSize, int spacing, int tw, int th, int offset)
{
    const int d = bevelSize + spacing;
    const int column = alignment % 3;
    const int row = alignment / 3;
    const int x = column == 0 ? d : column == 1 ? (w - 2 * d - tw) / 2 + d : w - d - tw;
    const int y = row == 0 ? d : row == 1 ? (h - 2 * d - th) / 2 + d : h - d - th;
    return {x + offset, y + offset};
}

TAccelerated StripAccelerator(std::string_view caption)
{
    TAccelerated out{std::string(caption), 0};
    const std::size_t amp = caption.find('&');
    if (amp != std::string_view::npos) {
        out.Text.erase(amp, 1);
        out.KeyPos = amp + 1;
    }
    return out;
}

} // namespace buttonface
