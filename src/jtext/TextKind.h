// Which encoding a text file's bytes are in. The program's texts are Shift_JIS;
// a file saved as UTF-8 (what most editors write today) must be told apart,
// because reading it as Shift_JIS sends mojibake.
#pragma once

#include <cstddef>
#include <string_view>

enum class TTextKind {
    Ascii,    // bytes below 0x80 only: the same text in both encodings
    ShiftJis, // anything that is not recognised as UTF-8
    Utf8,     // a byte-order mark, or UTF-8 that is not plausible Shift_JIS
};

// The one rule for telling UTF-8 from Shift_JIS:
//  - a UTF-8 byte-order mark (EF BB BF) at the start: UTF-8;
//  - otherwise UTF-8 when the bytes are valid UTF-8 throughout (no overlong
//    forms, no surrogates, nothing above U+10FFFF) and hold at least one
//    sequence of three or four bytes. Japanese text in Shift_JIS never passes:
//    its kana and most kanji start with 0x81-0x9F, which UTF-8 allows only
//    as a continuation, and a kanji with an 0xE0-0xEF lead would need two
//    continuation bytes in a row, which Shift_JIS text practically never has.
//  - Valid UTF-8 made of two-byte sequences only (C2-DF 80-BF) is also
//    pairs of half-width katakana in Shift_JIS ("ﾃｽ" is C3 BD): it stays
//    Shift_JIS, as the files are declared to be.
TTextKind GuessTextKind(std::string_view bytes);

// Length of the UTF-8 byte-order mark at the start, or 0.
std::size_t Utf8BomLength(std::string_view bytes);

// Length (1 to 4) of the well-formed UTF-8 character that starts at byte i,
// by the rule above; 0 when no valid character starts there.
std::size_t Utf8SequenceLength(std::string_view bytes, std::size_t i);
