// Writes the window's icon (display/FormIcon.h) as an .ico file, for the
// executables' resources: WriteIcon FILE. Run once while building.
#include "display/FormIcon.h"

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

void Put16(std::vector<unsigned char>& out, unsigned v)
{
    out.push_back(static_cast<unsigned char>(v));
    out.push_back(static_cast<unsigned char>(v >> 8));
}

void Put32(std::vector<unsigned char>& out, std::uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fputs("usage: WriteIcon FILE\n", stderr);
        return 64;
    }
    constexpr int n = formicon::kSize;
    constexpr std::uint32_t kColourBytes = n * n / 2, kMaskBytes = n * n / 8, kHeaderBytes = 40 + 16 * 4;
    std::vector<unsigned char> ico;
    // The file header and its one entry: 32 x 32, 16 colours.
    Put16(ico, 0);
    Put16(ico, 1);
    Put16(ico, 1);
    ico.insert(ico.end(), {static_cast<unsigned char>(n), static_cast<unsigned char>(n), 16, 0});
    Put16(ico, 1);
    Put16(ico, 4);
    Put32(ico, kHeaderBytes + kColourBytes + kMaskBytes);
    Put32(ico, 6 + 16);
    // The image: a bitmap header (twice the height: colours, then the mask), the palette as B, G, R, 0.
    Put32(ico, 40);
    Put32(ico, n);
    Put32(ico, 2 * n);
    Put16(ico, 1);
    Put16(ico, 4);
    for (int i = 0; i < 6; ++i)
        Put32(ico, 0);
    for (std::uint32_t rgb : formicon::kPalette)
        ico.insert(ico.end(), {static_cast<unsigned char>(rgb), static_cast<unsigned char>(rgb >> 8),
                               static_cast<unsigned char>(rgb >> 16), 0});
    // Rows bottom up: two pixels a byte, then the mask, one bit a pixel (1 = transparent).
    for (int y = n - 1; y >= 0; --y)
        for (int x = 0; x < n; x += 2)
            ico.push_back(static_cast<unsigned char>(formicon::Pixel(x, y) << 4 | formicon::Pixel(x + 1, y)));
    for (int y = n - 1; y >= 0; --y)
        for (int x = 0; x < n; x += 8) {
            unsigned char bits = 0;
            for (int k = 0; k < 8; ++k)
                bits = static_cast<unsigned char>(bits << 1 | (formicon::Pixel(x + k, y) == 0 ? 1 : 0));
            ico.push_back(bits);
        }
    std::FILE* f = std::fopen(argv[1], "wb");
    const bool ok = f && std::fwrite(ico.data(), 1, ico.size(), f) == ico.size();
    if (f && std::fclose(f) != 0)
        return 74;
    return ok ? 0 : 74;
}
