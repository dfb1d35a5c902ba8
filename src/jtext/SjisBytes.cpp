#include "jtext/SjisBytes.h"

bool IsSjisLead(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

bool IsSjisTrail(unsigned char c)
{
    return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC);
}

std::size_t SjisCharLen(std::string_view s, std::size_t i)
{
    return (IsSjisLead(static_cast<unsigned char>(s[i])) && i + 1 < s.size()
            && IsSjisTrail(static_cast<unsigned char>(s[i + 1])))
        ? 2
        : 1;
}

namespace {
inline std::size_t CharLen(std::string_view s, std::size_t i)
{
    return SjisCharLen(s, i);
}
} // namespace

std::size_t FindChar(std::string_view s, char ch, std::size_t from)
{
    // A byte below 0x40 is never part of a double-byte character (lead bytes
    // start at 0x81, second bytes at 0x40): a plain search finds the same.
    if (static_cast<unsigned char>(ch) < 0x40)
        return from >= s.size() ? std::string_view::npos : s.find(ch, from);
    for (std::size_t i = from; i < s.size(); i += CharLen(s, i)) {
        if (s[i] == ch)
            return i;
    }
    return std::string_view::npos;
}

std::size_t FindLastChar(std::string_view s, char ch)
{
    std::size_t found = std::string_view::npos;
    for (std::size_t i = 0; i < s.size(); i += CharLen(s, i)) {
        if (s[i] == ch)
            found = i;
    }
    return found;
}

std::size_t FindText(std::string_view s, std::string_view needle, std::size_t from)
{
    if (needle.empty())
        return from <= s.size() ? from : std::string_view::npos;
    for (std::size_t i = from; i < s.size(); i += CharLen(s, i)) {
        if (s.compare(i, needle.size(), needle) == 0)
            return i;
    }
    return std::string_view::npos;
}

std::string ReplaceChar(std::string_view s, char from, char to)
{
    std::string out(s);
    // Boundaries come from the original: a replacement that is a lead byte
    // must not swallow the next character.
    for (std::size_t i = 0; i < out.size(); i += CharLen(s, i)) {
        if (out[i] == from)
            out[i] = to;
    }
    return out;
}

std::string_view TrimView(std::string_view s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= 32)
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32)
        --e;
    return s.substr(b, e - b);
}

std::string Trim(std::string_view s)
{
    return std::string(TrimView(s));
}

std::string GetField(std::string_view text, char sep, int n)
{
    if (n < 1)
        return {};
    // One pass: field starts are always character boundaries.
    int field = 1;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); i += CharLen(text, i)) {
        if (text[i] != sep)
            continue;
        if (field == n)
            return std::string(text.substr(start, i - start));
        ++field;
        start = i + 1;
    }
    return field == n ? std::string(text.substr(start)) : std::string();
}

bool HasDoubleByte(std::string_view s)
{
    for (std::size_t i = 0; i < s.size(); i += CharLen(s, i)) {
        if (CharLen(s, i) == 2)
            return true;
    }
    return false;
}

std::string_view CharPrefix(std::string_view s, std::size_t maxBytes)
{
    if (s.size() <= maxBytes)
        return s;
    std::size_t cut = 0;
    while (cut < s.size() && cut + CharLen(s, cut) <= maxBytes)
        cut += CharLen(s, cut);
    return s.substr(0, cut);
}
