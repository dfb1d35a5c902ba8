#include "platform/CodePage.h"

#include "jtext/SjisBytes.h"

#include <windows.h>

#include <algorithm>

namespace platform {
namespace {

constexpr UINT kCp932 = 932;

void AppendUtf8(std::string& out, unsigned cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The code point of a valid UTF-8 sequence at the front of `s` and its length;
// length 0 when the front byte starts no valid sequence.
std::size_t DecodeUtf8(std::string_view s, unsigned& cp)
{
    const auto c0 = static_cast<unsigned char>(s[0]);
    std::size_t len = 0;
    if (c0 < 0x80) {
        cp = c0;
        return 1;
    }
    if (c0 >= 0xC2 && c0 <= 0xDF) {
        len = 2;
        cp = c0 & 0x1F;
    } else if (c0 >= 0xE0 && c0 <= 0xEF) {
        len = 3;
        cp = c0 & 0x0F;
    } else if (c0 >= 0xF0 && c0 <= 0xF4) {
        len = 4;
        cp = c0 & 0x07;
    } else {
        return 0;
    }
    if (s.size() < len)
        return 0;
    for (std::size_t k = 1; k < len; ++k) {
        const auto c = static_cast<unsigned char>(s[k]);
        if ((c & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (c & 0x3F);
    }
    const bool shortest = (len == 2) || (len == 3 && cp >= 0x800) || (len == 4 && cp >= 0x10000 && cp <= 0x10FFFF);
    return shortest ? len : 0;
}

} // namespace

std::string Cp932ToUtf8(std::string_view cp932)
{
    std::string out;
    out.reserve(cp932.size() * 3 / 2);
    for (std::size_t i = 0; i < cp932.size();) {
        const auto c = static_cast<unsigned char>(cp932[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        const std::size_t len = SjisCharLen(cp932, i);
        wchar_t wide[2];
        const int n = ::MultiByteToWideChar(kCp932, MB_ERR_INVALID_CHARS, cp932.data() + i, static_cast<int>(len), wide, 2);
        if (n == 1) {
            AppendUtf8(out, wide[0]);
            i += len;
        } else {
            // Keep an unconvertible byte as an escaped code point.
            AppendUtf8(out, 0xDC00 | c);
            ++i;
        }
    }
    return out;
}

std::string Utf8ToCp932(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    while (!utf8.empty()) {
        unsigned cp = 0;
        const std::size_t len = DecodeUtf8(utf8, cp);
        if (len == 0) {
            // Not UTF-8: the byte goes through as it is.
            out += utf8[0];
            utf8.remove_prefix(1);
            continue;
        }
        utf8.remove_prefix(len);
        if (cp < 0x80) {
            out += static_cast<char>(cp);
            continue;
        }
        if (cp >= 0xDC80 && cp <= 0xDCFF) { // an escaped byte
            out += static_cast<char>(cp & 0xFF);
            continue;
        }
        char bytes[4];
        BOOL usedDefault = FALSE;
        const wchar_t wide = static_cast<wchar_t>(cp);
        const int n = cp < 0x10000 && !(cp >= 0xD800 && cp <= 0xDFFF)
            ? ::WideCharToMultiByte(kCp932, WC_NO_BEST_FIT_CHARS, &wide, 1, bytes, sizeof bytes, nullptr, &usedDefault)
            : 0;
        if (n <= 0 || usedDefault)
            out += '?';
        else
            out.append(bytes, static_cast<std::size_t>(n));
    }
    return out;
}

std::string ToConsoleText(std::string_view utf8) { return Utf8ToCp932(utf8); }

} // namespace platform
