// The window's icon, one 32 x 32 image in the 16-colour palette: an envelope
// on a transparent ground.
#pragma once

#include <cstdint>

namespace formicon {

inline constexpr int kSize = 32;
// The 16-colour palette as 0x00RRGGBB; index 0 is the transparent ground.
inline constexpr std::uint32_t kPalette[16] = {0x000000, 0x000000, 0x800000, 0x008000, 0x808000, 0x000080,
                                               0x800080, 0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00,
                                               0xFFFF00, 0x0000FF, 0xFF00FF, 0xFFFFFF};

// The palette index of pixel (x, y); 0 is transparent.
inline int Pixel(int x, int y)
{
    if ((x == 25 || x == 26) && (y == 10 || y == 11))
        return 10; // the red stamp
    if (y < 7 || y > 24 || x < 2 || x > 29)
        return 0;
    const bool edge = y == 7 || y == 24 || x == 2 || x == 29;
    // The flap: two lines from the top corners to the middle.
    const bool flap = (y - 7) == (x - 2) * 9 / 14 && x <= 16;
    const bool flap2 = (y - 7) == (29 - x) * 9 / 14 && x >= 16;
    return edge || flap || flap2 ? 5 : 15;
}

} // namespace formicon
