// The converters of the C library (iconv) and Python's Unicode database.
#include "TextOracle.h"

#include <iconv.h>

#include <cstdio>

namespace oracle {
namespace {

std::optional<std::string> Iconv(const char* from, const char* to, std::string_view in)
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

} // namespace

std::optional<std::string> Utf8ToCp932(std::string_view utf8) { return Iconv("UTF-8", "CP932", utf8); }
std::optional<std::string> Cp932ToUtf8(std::string_view cp932) { return Iconv("CP932", "UTF-8", cp932); }

std::string Iso2022JpMissing() { return {}; }
std::optional<std::string> Iso2022JpToCp932(std::string_view jis) { return Iconv("ISO-2022-JP", "CP932", jis); }
std::optional<std::string> Cp932ToIso2022Jp(std::string_view cp932) { return Iconv("CP932", "ISO-2022-JP", cp932); }

std::string EucJpMissing() { return {}; }
std::optional<std::string> EucJpToCp932(std::string_view euc) { return Iconv("EUC-JP", "CP932", euc); }

std::optional<std::vector<std::string>> Nfkc(const std::vector<std::string>& utf8, std::string* why)
{
    *why = "python3 with unicodedata is not available";
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
    why->clear();
    return out;
}

} // namespace oracle
