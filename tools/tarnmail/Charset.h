// Conversions between charsets that the system's own converter does (iconv
// on POSIX, the code pages on Windows), one source per system. Utf8ToIso2022Jp
// (MailText.h) is one of them.
#pragma once

#include <string>

// The bytes of a text in the named charset (an encoded word's) as UTF-8;
// false when the charset is unknown here or the bytes are not valid in it.
bool CharsetToUtf8(const std::string& charset, const std::string& bytes, std::string& utf8);

// CP932 maps a few JIS X 0208 characters to other code points than the JIS
// tables do (FULLWIDTH TILDE for WAVE DASH and the like). ToJisCodePoints
// gives them their JIS code points, ToCp932CodePoints the CP932 ones.
std::string ToJisCodePoints(const std::string& utf8);
std::string ToCp932CodePoints(const std::string& utf8);
