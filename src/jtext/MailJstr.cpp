#include "jtext/MailJstr.h"

#include "jtext/SjisBytes.h"

#include <set>

namespace {

constexpr std::string_view kToJis0208 = "\x1B$B";
constexpr std::string_view kToAscii = "\x1B(B";

// Narrower than IsSjisLead: 0xF0-0xFC are single bytes for this conversion.
bool IsJisLead(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xEF);
}


} // namespace

unsigned JisOffset(unsigned char lead, unsigned char trail)
{
    const bool low = lead >= 0x81 && lead <= 0x9F;
    if (trail >= 0x40 && trail <= 0x7E)
        return low ? 0xE11F : 0x1611F;
    if (trail >= 0x80 && trail <= 0x9E)
        return low ? 0xE120 : 0x16120;
    if (trail >= 0x9F && trail <= 0xFC)
        return low ? 0xE07E : 0x1607E;
    return 0;
}

std::string SjisToJis(std::string_view sjis)
{
    std::string out;
    // Worst case: a single byte after every pair, three bytes each, plus the
    // closing escape.
    out.reserve(sjis.size() * 3 + kToAscii.size());
    bool pending = false;
    bool dbl = false;
    unsigned char lead = 0;
    for (std::size_t i = 0; i < sjis.size(); ++i) {
        const auto c = static_cast<unsigned char>(sjis[i]);
        if (c == 0)
            break; // the rest of the text is lost, as in a C string
        if (!pending && IsJisLead(c)) {
            pending = true;
            lead = c;
        } else if (pending && IsSjisTrail(c)) {
            const unsigned code = lead * 512u + c - JisOffset(lead, c);
            if (!dbl) {
                out.append(kToJis0208);
                dbl = true;
            }
            out.push_back(static_cast<char>((code >> 8) & 0xFF));
            out.push_back(static_cast<char>(code & 0xFF));
            pending = false;
        } else {
            // A text that starts with a single byte opens with ESC ( B too:
            // redundant (ASCII is the starting mode) but the established form.
            if (dbl || i == 0) {
                out.append(kToAscii);
                dbl = false;
            }
            if (pending) {
                out.push_back(static_cast<char>(lead));
                pending = false;
            }
            out.push_back(static_cast<char>(c));
        }
    }
    if (dbl)
        out.append(kToAscii);
    return out;
}

std::string EncodeBase64(std::string_view bytes)
{
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16)
            | (static_cast<unsigned char>(bytes[i + 1]) << 8)
            | static_cast<unsigned char>(bytes[i + 2]);
        out.push_back(kAlphabet[(v >> 18) & 63]);
        out.push_back(kAlphabet[(v >> 12) & 63]);
        out.push_back(kAlphabet[(v >> 6) & 63]);
        out.push_back(kAlphabet[v & 63]);
    }
    const std::size_t rest = bytes.size() - i;
    if (rest > 0) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (rest == 2)
            v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out.push_back(kAlphabet[(v >> 18) & 63]);
        out.push_back(kAlphabet[(v >> 12) & 63]);
        out.push_back(rest == 2 ? kAlphabet[(v >> 6) & 63] : '=');
        out.push_back('=');
    }
    return out;
}

bool DecodeBase64Text(std::string_view text, std::string& bytes)
{
    bytes.clear();
    unsigned v = 0;
    int bits = 0;
    for (const char c : text) {
        int d;
        if (c >= 'A' && c <= 'Z')
            d = c - 'A';
        else if (c >= 'a' && c <= 'z')
            d = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            d = c - '0' + 52;
        else if (c == '+')
            d = 62;
        else if (c == '/')
            d = 63;
        else if (c == '=')
            break;
        else if (c == '\r' || c == '\n' || c == ' ' || c == '\t')
            continue;
        else
            return false;
        v = (v << 6) | static_cast<unsigned>(d);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes.push_back(static_cast<char>((v >> bits) & 0xFF));
        }
    }
    return true;
}

std::string EncodeMimeHeader(std::string_view sjis)
{
    static constexpr std::string_view kOpen = "=?ISO-2022-JP?B?";
    static constexpr std::string_view kClose = "?=";
    const std::string b64 = EncodeBase64(SjisToJis(sjis));
    std::string out;
    out.reserve(kOpen.size() + b64.size() + kClose.size());
    out.append(kOpen).append(b64).append(kClose);
    return out;
}

std::string Iso2022JpStrangers(std::string_view sjis)
{
    std::string out;
    std::set<std::string_view> seen;
    auto add = [&](std::string_view ch) {
        if (seen.insert(ch).second)
            out.append(ch);
    };
    for (std::size_t i = 0; i < sjis.size(); ++i) {
        const auto c = static_cast<unsigned char>(sjis[i]);
        const bool lead = IsJisLead(c) || (c >= 0xF0 && c <= 0xFC);
        if (lead && i + 1 < sjis.size() && IsSjisTrail(static_cast<unsigned char>(sjis[i + 1]))) {
            const auto t = static_cast<unsigned char>(sjis[i + 1]);
            // JIS X 0208 rows 1-8 and 16-84; lead bytes from 0xF0 are outside it.
            const unsigned row = c >= 0xF0 ? 0 : ((c * 512u + t - JisOffset(c, t)) >> 8) - 0x20;
            if (!((row >= 1 && row <= 8) || (row >= 16 && row <= 84)))
                add(sjis.substr(i, 2));
            ++i;
        } else if ((c >= 0xA1 && c <= 0xDF) || lead || c >= 0x80) {
            add(sjis.substr(i, 1));
        }
    }
    return out;
}
