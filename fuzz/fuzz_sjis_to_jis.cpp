// SjisToJis, EncodeBase64 and EncodeMimeHeader on arbitrary bytes.
#include "FuzzCheck.h"
#include "jtext/MailJstr.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

int Base64Value(char c)
{
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// Decodes strictly; false for anything that is not padded standard Base64.
bool DecodeBase64(std::string_view text, std::string& out)
{
    out.clear();
    if (text.size() % 4 != 0)
        return false;
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        int v[4];
        int pad = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = text[i + static_cast<std::size_t>(k)];
            if (c == '=' && last && k >= 2) {
                v[k] = 0;
                ++pad;
                continue;
            }
            if (pad > 0)
                return false;
            v[k] = Base64Value(c);
            if (v[k] < 0)
                return false;
        }
        const unsigned bits = (unsigned(v[0]) << 18) | (unsigned(v[1]) << 12) | (unsigned(v[2]) << 6) | unsigned(v[3]);
        out += static_cast<char>((bits >> 16) & 0xFF);
        if (pad < 2)
            out += static_cast<char>((bits >> 8) & 0xFF);
        if (pad < 1)
            out += static_cast<char>(bits & 0xFF);
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view in(reinterpret_cast<const char*>(data), size);
    const std::string jis = SjisToJis(in);

    // The conversion stops at a NUL, so none comes out.
    FUZZ_CHECK(jis.find('\0') == std::string::npos);
    // Double-byte runs are closed: the text ends in single-byte mode (when
    // the input itself holds no escape bytes to confuse the check).
    const std::size_t kanji = jis.rfind("\x1b$B");
    if (kanji != std::string::npos && in.find('\x1b') == std::string_view::npos)
        FUZZ_CHECK(jis.find("\x1b(B", kanji) != std::string::npos);

    const std::string b64 = EncodeBase64(jis);
    FUZZ_CHECK(b64.size() == (jis.size() + 2) / 3 * 4);
    std::string back;
    FUZZ_CHECK(DecodeBase64(b64, back));
    FUZZ_CHECK(back == jis);

    const std::string word = EncodeMimeHeader(in);
    FUZZ_CHECK(word == "=?ISO-2022-JP?B?" + b64 + "?=");
    return 0;
}
