#include "platform/CodePage.h"

#include <cerrno>
#include <algorithm>
#include <iconv.h>

namespace platform {
namespace {

// One converter per direction for the life of the process; the program is single
// threaded on this path, the tests too.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter()
    {
        if (cd_ != reinterpret_cast<iconv_t>(-1))
            iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts as much as possible; returns how many input bytes were consumed
    // before the first byte that could not be converted.
    std::size_t Convert(std::string_view in, std::string& out)
    {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(in.data());
        std::size_t left = in.size();
        char buf[4096];
        while (left > 0) {
            char* dst = buf;
            std::size_t room = sizeof buf;
            const std::size_t r = iconv(cd_, &src, &left, &dst, &room);
            out.append(buf, static_cast<std::size_t>(dst - buf));
            if (r == static_cast<std::size_t>(-1) && errno != E2BIG)
                break;
        }
        return in.size() - left;
    }

private:
    iconv_t cd_;
};

void AppendUtf8(std::string& out, unsigned cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// ASCII reads the same in CP932 and UTF-8 (the system's CP932 keeps 0x5C and
// 0x7E the backslash and the tilde both ways): most paths need no converter.
bool IsAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

} // namespace

std::string Cp932ToUtf8(std::string_view cp932)
{
    if (IsAscii(cp932))
        return std::string(cp932);
    static Converter conv("UTF-8", "CP932");
    std::string out;
    out.reserve(cp932.size() * 3 / 2);
    while (!cp932.empty()) {
        const std::size_t used = conv.Convert(cp932, out);
        cp932.remove_prefix(used);
        if (cp932.empty())
            break;
        // Keep an unconvertible byte as an escaped code point.
        AppendUtf8(out, 0xDC00 | static_cast<unsigned char>(cp932.front()));
        cp932.remove_prefix(1);
    }
    return out;
}

std::string Utf8ToCp932(std::string_view utf8)
{
    if (IsAscii(utf8))
        return std::string(utf8);
    static Converter conv("CP932", "UTF-8");
    std::string out;
    out.reserve(utf8.size());
    while (!utf8.empty()) {
        const std::size_t used = conv.Convert(utf8, out);
        utf8.remove_prefix(used);
        if (utf8.empty())
            break;
        const auto c0 = static_cast<unsigned char>(utf8[0]);
        // Escaped byte U+DC80..U+DCFF: ED B2 80 .. ED B3 BF.
        if (c0 == 0xED && utf8.size() >= 3) {
            const unsigned cp = ((c0 & 0x0F) << 12) | ((static_cast<unsigned char>(utf8[1]) & 0x3F) << 6) |
                                (static_cast<unsigned char>(utf8[2]) & 0x3F);
            if (cp >= 0xDC80 && cp <= 0xDCFF) {
                out += static_cast<char>(cp & 0xFF);
                utf8.remove_prefix(3);
                continue;
            }
        }
        // A valid character without a CP932 form: "?" for the whole sequence.
        std::size_t len = 1;
        if (c0 >= 0xC2 && c0 <= 0xDF) len = 2;
        else if (c0 >= 0xE0 && c0 <= 0xEF) len = 3;
        else if (c0 >= 0xF0 && c0 <= 0xF4) len = 4;
        bool valid = len > 1 && utf8.size() >= len;
        for (std::size_t k = 1; valid && k < len; ++k)
            valid = (static_cast<unsigned char>(utf8[k]) & 0xC0) == 0x80;
        if (valid) {
            out += '?';
            utf8.remove_prefix(len);
        } else {
            out += static_cast<char>(c0);
            utf8.remove_prefix(1);
        }
    }
    return out;
}

std::string ToConsoleText(std::string_view utf8) { return std::string(utf8); }

} // namespace platform
