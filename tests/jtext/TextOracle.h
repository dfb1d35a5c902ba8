// Test helpers: hex notation and independent converters to check the jtext
// routines against. The converters are the system's own (one source per
// system, TextOracle_<system>.cpp) and never the code under test.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace oracle {

// "1B 24 42" -> bytes.
inline std::string FromHex(std::string_view hex)
{
    std::string out;
    int nibbles = 0;
    unsigned v = 0;
    for (char ch : hex) {
        unsigned d;
        if (ch >= '0' && ch <= '9') d = ch - '0';
        else if (ch >= 'A' && ch <= 'F') d = ch - 'A' + 10;
        else if (ch >= 'a' && ch <= 'f') d = ch - 'a' + 10;
        else continue;
        v = v * 16 + d;
        if (++nibbles == 2) {
            out.push_back(static_cast<char>(v));
            nibbles = 0;
            v = 0;
        }
    }
    return out;
}

// Bytes -> "1B 24 42", for readable failures.
inline std::string ToHex(std::string_view bytes)
{
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        if (!out.empty())
            out.push_back(' ');
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
    }
    return out;
}

// Conversions of the whole input; nullopt when any part is refused (a
// character the target lacks is refused, never replaced by a look-alike).
std::optional<std::string> Utf8ToCp932(std::string_view utf8);
std::optional<std::string> Cp932ToUtf8(std::string_view cp932);

// ISO-2022-JP, where the system has an independent converter for it: empty
// when it has, otherwise why not (tests that need it skip with that text).
std::string Iso2022JpMissing();
std::optional<std::string> Iso2022JpToCp932(std::string_view jis);
std::optional<std::string> Cp932ToIso2022Jp(std::string_view cp932);

// EUC-JP -> CP932, likewise where the system has a converter for it.
std::string EucJpMissing();
std::optional<std::string> EucJpToCp932(std::string_view euc);

// NFKC of each UTF-8 text; nullopt when the system's normalizer cannot be
// used, with the reason in *why.
std::optional<std::vector<std::string>> Nfkc(const std::vector<std::string>& utf8, std::string* why);

// UTF-8 literal -> CP932 bytes, so that tests can be written in Japanese.
inline std::string Sj(std::string_view utf8)
{
    auto r = Utf8ToCp932(utf8);
    if (!r) {
        ADD_FAILURE() << "cannot convert " << utf8 << " to CP932";
        return {};
    }
    return *r;
}

} // namespace oracle
