#include "jtext/TextKind.h"

std::size_t Utf8BomLength(std::string_view bytes)
{
    return bytes.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
}

std::size_t Utf8SequenceLength(std::string_view bytes, std::size_t i)
{
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x80)
        return 1;
    std::size_t len = 0;
    unsigned char low = 0x80, high = 0xBF; // range of the first continuation byte
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        if (c == 0xE0)
            low = 0xA0; // overlong below
        else if (c == 0xED)
            high = 0x9F; // surrogates above
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        if (c == 0xF0)
            low = 0x90;
        else if (c == 0xF4)
            high = 0x8F; // beyond U+10FFFF
    } else {
        return 0;
    }
    if (i + len > bytes.size())
        return 0;
    for (std::size_t k = 1; k < len; ++k) {
        const auto t = static_cast<unsigned char>(bytes[i + k]);
        if (t < (k == 1 ? low : 0x80) || t > (k == 1 ? high : 0xBF))
            return 0;
    }
    return len;
}

TTextKind GuessTextKind(std::string_view bytes)
{
    if (Utf8BomLength(bytes) != 0)
        return TTextKind::Utf8;
    bool nonAscii = false;
    bool longSequence = false;
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t len = Utf8SequenceLength(bytes, i);
        if (len == 0)
            return TTextKind::ShiftJis;
        nonAscii = nonAscii || len > 1;
        longSequence = longSequence || len >= 3;
        i += len;
    }
    if (!nonAscii)
        return TTextKind::Ascii;
    return longSequence ? TTextKind::Utf8 : TTextKind::ShiftJis;
}
