// Test helpers: hex notation and independent converters (glibc iconv, and
// Python's Unicode database for NFKC) to check the jtext routines against.
#pragma once

#include <gtest/gtest.h>

#include <iconv.h>

#include <cstdio>
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

// glibc iconv of the whole input; nullopt when any part is refused.
inline std::optional<std::string> Iconv(const char* from, const char* to, std::string_view in)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    std::string out(in.size() * 4 + 16, '\0');
    std::string src(in);
    char* inp = src.data();
    size_t inLeft = src.size();
    char* outp = out.data();
    size_t outLeft = out.size();
    bool ok = iconv(cd, &inp, &inLeft, &outp, &outLeft) != static_cast<size_t>(-1)
        && iconv(cd, nullptr, nullptr, &outp, &outLeft) != static_cast<size_t>(-1);
    iconv_close(cd);
    if (!ok)
        return std::nullopt;
    out.resize(out.size() - outLeft);
    return out;
}

// UTF-8 literal -> CP932 bytes, so that tests can be written in Japanese.
inline std::string Sj(std::string_view utf8)
{
    auto r = Iconv("UTF-8", "CP932", utf8);
    if (!r) {
        ADD_FAILURE() << "iconv cannot convert " << utf8 << " to CP932";
        return {};
    }
    return *r;
}

// NFKC of each UTF-8 text, computed by python3's unicodedata; nullopt when
// python3 cannot be run.
inline std::optional<std::vector<std::string>> Nfkc(const std::vector<std::string>& utf8)
{
    std::string cmd = "python3 -c \"import sys, unicodedata\n"
                      "for a in sys.argv[1:]:\n"
                      "    print(unicodedata.normalize('NFKC', bytes.fromhex(a).decode()).encode().hex())\"";
    for (const std::string& s : utf8) {
        cmd += ' ';
        for (unsigned char c : s) {
            static const char* digits = "0123456789abcdef";
            cmd.push_back(digits[c >> 4]);
            cmd.push_back(digits[c & 15]);
        }
    }
    FILE* p = popen(cmd.c_str(), "r");
    if (!p)
        return std::nullopt;
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        text.append(buf, n);
    if (pclose(p) != 0)
        return std::nullopt;
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        out.push_back(FromHex(text.substr(start, nl - start)));
    if (out.size() != utf8.size())
        return std::nullopt;
    return out;
}

} // namespace oracle
