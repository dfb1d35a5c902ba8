#include "jtext/HenkanJ.h"

namespace {

constexpr unsigned char kVoiced = 0xDE;     // ﾞ
constexpr unsigned char kSemiVoiced = 0xDF; // ﾟ
constexpr unsigned char kVoicingFlag = 0x80;

// Half-width 0xA6-0xDF: cell byte of the full-width katakana in JIS row 0x25,
// plus 0x80 for letters that join with a following ﾞ or ﾟ. 0 means no letter
// (ｰ goes through the punctuation list, ﾞ and ﾟ alone stay as they are).
constexpr unsigned char kKanaTable[58] = {
    0x72,                               // ｦ
    0x21, 0x23, 0x25, 0x27, 0x29,       // ｧ ｨ ｩ ｪ ｫ
    0x63, 0x65, 0x67,                   // ｬ ｭ ｮ
    0x43,                               // ｯ
    0x00,                               // ｰ
    0x22, 0x24, 0x26, 0x28, 0x2A,       // ｱ ｲ ｳ ｴ ｵ
    0xAB, 0xAD, 0xAF, 0xB1, 0xB3,       // ｶ ｷ ｸ ｹ ｺ
    0xB5, 0xB7, 0xB9, 0xBB, 0xBD,       // ｻ ｼ ｽ ｾ ｿ
    0xBF, 0xC1, 0xC4, 0xC6, 0xC8,       // ﾀ ﾁ ﾂ ﾃ ﾄ
    0x4A, 0x4B, 0x4C, 0x4D, 0x4E,       // ﾅ ﾆ ﾇ ﾈ ﾉ
    0xCF, 0xD2, 0xD5, 0xD8, 0xDB,       // ﾊ ﾋ ﾌ ﾍ ﾎ
    0x5E, 0x5F, 0x60, 0x61, 0x62,       // ﾏ ﾐ ﾑ ﾒ ﾓ
    0x64, 0x66, 0x68,                   // ﾔ ﾕ ﾖ
    0x69, 0x6A, 0x6B, 0x6C, 0x6D,       // ﾗ ﾘ ﾙ ﾚ ﾛ
    0x6F,                               // ﾜ
    0x73,                               // ﾝ
    0x00, 0x00,                         // ﾞ ﾟ
};

struct Symbol {
    unsigned char half;
    std::uint16_t full;
};
// In search order.
constexpr Symbol kSymbols[] = {
    {0xA4, 0x8141}, // ､ 、
    {0xA1, 0x8142}, // ｡ 。
    {0xA5, 0x8145}, // ･ ・
    {0xB0, 0x815B}, // ｰ ー
    {0xA2, 0x8175}, // ｢ 「
    {0xA3, 0x8176}, // ｣ 」
};

bool IsSymbol(unsigned char c)
{
    for (const Symbol& s : kSymbols) {
        if (s.half == c)
            return true;
    }
    return false;
}

void AppendCode(std::string& out, std::uint16_t code)
{
    out.push_back(static_cast<char>(code >> 8));
    out.push_back(static_cast<char>(code & 0xFF));
}

void AppendJis(std::string& out, std::uint16_t jis)
{
    AppendCode(out, JisToSjis(jis));
}

// ToFullWidth, appending to `out` so that NormalizeKana builds one string.
void AppendFullWidth(std::string& out, std::string_view in)
{
    std::size_t i = 0;
    while (i < in.size()) {
        const auto c = static_cast<unsigned char>(in[i]);
        const bool hasNext = i + 1 < in.size();
        const auto next = hasNext ? static_cast<unsigned char>(in[i + 1]) : 0;
        if ((c >= 0xA6 && c <= 0xAF) || (c >= 0xB1 && c <= 0xDF)) {
            const unsigned char t = kKanaTable[c - 0xA6];
            if (t == 0) {
                out.push_back(static_cast<char>(c));
            } else if (t & kVoicingFlag) {
                std::uint16_t code = 0x2500 + (t & 0x7F);
                bool separateMark = false;
                if (hasNext && next == kVoiced) {
                    code += 1;
                    ++i;
                } else if (hasNext && next == kSemiVoiced) {
                    // Only ﾊ to ﾎ join with ﾟ. After ｶ to ﾄ it becomes a separate
                    // ゜, as after a letter without the flag: no JIS X 0208
                    // character combines the two.
                    if (c >= 0xCA && c <= 0xCE)
                        code += 2;
                    else
                        separateMark = true;
                    ++i;
                }
                AppendJis(out, code);
                if (separateMark)
                    AppendJis(out, 0x204D + kSemiVoiced);
            } else {
                AppendJis(out, 0x2500 + t);
                if (hasNext && (next == kVoiced || next == kSemiVoiced)) {
                    AppendJis(out, 0x204D + next);
                    ++i;
                }
            }
        } else if (IsSymbol(c)) {
            AppendCode(out, FullWidthSymbol(c)); // already Shift_JIS
        } else {
            out.push_back(static_cast<char>(c));
        }
        ++i;
    }
}

} // namespace

std::uint16_t JisToSjis(std::uint16_t jis)
{
    const unsigned row = (jis >> 8) & 0xFF;
    const unsigned cell = jis & 0xFF;
    unsigned lead = ((row - 0x21) >> 1) + 0x81;
    if (lead > 0x9F)
        lead += 0x40;
    unsigned trail;
    if (row & 1) {
        trail = cell + 0x1F;
        if (trail >= 0x7F)
            ++trail; // 0x7F is never a trail byte
    } else {
        trail = cell + 0x7E;
    }
    return static_cast<std::uint16_t>(((lead & 0xFF) << 8) | (trail & 0xFF));
}

std::string CodeToChars(std::uint16_t code)
{
    std::string out;
    AppendCode(out, code);
    return out;
}

std::uint16_t FullWidthSymbol(unsigned char c)
{
    for (const Symbol& s : kSymbols) {
        if (s.half == c)
            return s.full;
    }
    return c;
}

std::string ToFullWidth(std::string_view chars)
{
    std::string out;
    out.reserve(chars.size() * 2);
    AppendFullWidth(out, chars);
    return out;
}

std::string NormalizeKana(std::string_view line)
{
    std::string out;
    out.reserve(line.size() * 2); // every byte widens to at most two
    std::size_t i = 0;
    while (i < line.size()) {
        const auto c = static_cast<unsigned char>(line[i]);
        if (IsSjisLead(c)) {
            const std::size_t len = SjisCharLen(line, i);
            out.append(line.substr(i, len));
            i += len;
        } else if (c >= 0xA0 && c <= 0xDF) {
            // A missing next byte counts as a space.
            const auto next = i + 1 < line.size() ? static_cast<unsigned char>(line[i + 1]) : ' ';
            const std::size_t len = (next == kVoiced || next == kSemiVoiced) ? 2 : 1;
            AppendFullWidth(out, line.substr(i, len));
            i += len;
        } else {
            out.push_back(static_cast<char>(c));
            ++i;
        }
    }
    return out;
}
