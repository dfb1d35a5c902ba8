// Shift_JIS to ISO-2022-JP, Base64 and the MIME encoded word of a header.
#pragma once

#include <string>
#include <string_view>

// Number that turns a Shift_JIS pair into its JIS X 0208 code:
// code = lead * 512 + trail - JisOffset(lead, trail). 0 for a trail byte
// outside 0x40-0x7E and 0x80-0xFC.
unsigned JisOffset(unsigned char lead, unsigned char trail);

// Shift_JIS text to ISO-2022-JP bytes: double-byte runs between ESC $ B and
// ESC ( B, single bytes copied. Stops at a NUL byte; a lone lead byte at the
// end is dropped.
std::string SjisToJis(std::string_view sjis);

// Base64 (standard alphabet, "=" padding) without line breaks.
std::string EncodeBase64(std::string_view bytes);

// The bytes of a Base64 text; line breaks and blanks between the characters
// are skipped, decoding ends at the first "=". False (and `bytes` as far as
// it got) for any other character outside the alphabet.
bool DecodeBase64Text(std::string_view text, std::string& bytes);

// "=?ISO-2022-JP?B?" + Base64 of SjisToJis(text) + "?=", one word however long.
std::string EncodeMimeHeader(std::string_view sjis);

// The characters of a Shift_JIS text that ISO-2022-JP cannot carry, each once,
// in order of appearance: half-width katakana, double-byte characters outside
// the rows of JIS X 0208 (the NEC and IBM extensions, user-defined characters),
// and bytes that form no character. Empty when the whole text can be sent.
std::string Iso2022JpStrangers(std::string_view sjis);
