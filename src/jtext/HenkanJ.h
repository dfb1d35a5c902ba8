// Half-width katakana to full-width: the converters behind the mail
// definition reader. Texts are Shift_JIS (CP932) byte strings.
#pragma once

#include "jtext/SjisBytes.h" // IsSjisLead

#include <cstdint>
#include <string>
#include <string_view>

// JIS X 0208 code (row byte, cell byte; both 0x21-0x7E) to its Shift_JIS code.
// Other values give a harmless but meaningless code.
std::uint16_t JisToSjis(std::uint16_t jis);

// The two bytes of a 16-bit code, high byte first.
std::string CodeToChars(std::uint16_t code);

// The full-width Shift_JIS code of a half-width punctuation byte
// (､ ｡ ･ ｰ ｢ ｣), or the byte itself for any other byte.
std::uint16_t FullWidthSymbol(unsigned char c);

// Full-width form of one half-width character, possibly followed by its
// voicing mark. Bytes that are neither katakana nor punctuation are copied.
std::string ToFullWidth(std::string_view chars);

// One line with half-width katakana and Japanese punctuation widened; every
// other byte, double-byte characters included, stays as it is.
std::string NormalizeKana(std::string_view line);
