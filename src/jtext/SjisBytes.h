// Shift_JIS (code page 932) byte helpers. Texts are byte strings; lengths and
// positions count bytes. Searches here are character-aware: a separator never
// matches the second byte of a double-byte character.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Lead byte of a double-byte character: 0x81-0x9F and 0xE0-0xFC.
bool IsSjisLead(unsigned char c);
// Second byte of a double-byte character: 0x40-0x7E and 0x80-0xFC.
bool IsSjisTrail(unsigned char c);

// Length (1 or 2) of the character that starts at byte i. The one lead-byte
// rule of the program: a lead byte takes the next byte with it only when that
// byte can be a second byte; otherwise (a quote, a space, a control byte, the
// end of the text) the lead byte is a single-byte character of its own, so it
// never swallows a separator or a quote.
std::size_t SjisCharLen(std::string_view s, std::size_t i);

// Position of the first character ch at or after `from`, or npos. `from` must
// be a character boundary (the start, or just behind an earlier find).
std::size_t FindChar(std::string_view s, char ch, std::size_t from = 0);
// Position of the last character ch, or npos.
std::size_t FindLastChar(std::string_view s, char ch);
// Position of the first occurrence of `needle` that starts on a character
// boundary, at or after `from` (itself a character boundary), or npos.
std::size_t FindText(std::string_view s, std::string_view needle, std::size_t from = 0);
// Every character `from` replaced by `to` (double-byte characters untouched).
std::string ReplaceChar(std::string_view s, char from, char to);

// Leading and trailing bytes with codes 0 to 32 removed.
std::string Trim(std::string_view s);
// The same as a view into `s`, for texts too long to copy.
std::string_view TrimView(std::string_view s);

// Field n (from 1) of `text` cut at the one-character separator `sep`,
// searched by characters. Empty when the text has fewer than n fields.
std::string GetField(std::string_view text, char sep, int n);

// Calls each(field) for fields 1, 2, 3, ... of `text` cut at `sep`, stopping at
// the first empty field (an empty field ends every list). One pass.
template <typename Each>
void ForEachField(std::string_view text, char sep, Each each)
{
    std::size_t start = 0;
    for (;;) {
        const std::size_t cut = FindChar(text, sep, start);
        const std::string_view field = text.substr(start, cut == std::string_view::npos ? std::string_view::npos : cut - start);
        if (field.empty())
            return;
        each(std::string(field));
        if (cut == std::string_view::npos)
            return;
        start = cut + 1;
    }
}

// The longest start of the text of at most maxBytes bytes that does not cut a
// character in two.
std::string_view CharPrefix(std::string_view s, std::size_t maxBytes);

// True when the text holds at least one double-byte character.
bool HasDoubleByte(std::string_view s);
