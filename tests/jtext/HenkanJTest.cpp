#include "jtext/HenkanJ.h"

#include "TextOracle.h"

#include <gtest/gtest.h>

using oracle::FromHex;
using oracle::Sj;
using oracle::ToHex;

namespace {

#define EXPECT_BYTES(expected, actual) EXPECT_EQ(ToHex(expected), ToHex(actual))

std::string Half(std::initializer_list<unsigned char> bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

// Full-width letters that join with ﾞ (ｶ to ﾄ, ﾊ to ﾎ); only ﾊ to ﾎ take ﾟ.
bool TakesVoiced(unsigned char c) { return (c >= 0xB6 && c <= 0xC4) || (c >= 0xCA && c <= 0xCE); }
bool TakesSemiVoiced(unsigned char c) { return c >= 0xCA && c <= 0xCE; }
bool IsPunctuation(unsigned char c) { return (c >= 0xA1 && c <= 0xA5) || c == 0xB0; }

} // namespace

TEST(JisToSjis, KnownCodes)
{
    EXPECT_EQ(JisToSjis(0x2121), 0x8140);
    EXPECT_EQ(JisToSjis(0x2330), 0x824F);
    EXPECT_EQ(JisToSjis(0x2522), 0x8341);
    EXPECT_EQ(JisToSjis(0x212B), 0x814A);
    EXPECT_EQ(JisToSjis(0x2551), 0x8370);
    EXPECT_EQ(JisToSjis(0x255F), 0x837E); // last cell before the 0x7F gap
    EXPECT_EQ(JisToSjis(0x2560), 0x8380);
    EXPECT_EQ(JisToSjis(0x5F21), 0xE040); // first row after the gap in lead bytes
    EXPECT_EQ(JisToSjis(0x7E7E), 0xEFFC);
    EXPECT_BYTES(FromHex("83 41"), CodeToChars(0x8341));
}

TEST(FullWidthSymbol, PunctuationAndOtherBytes)
{
    EXPECT_EQ(FullWidthSymbol(0xA4), 0x8141);
    EXPECT_EQ(FullWidthSymbol(0xA1), 0x8142);
    EXPECT_EQ(FullWidthSymbol(0xA5), 0x8145);
    EXPECT_EQ(FullWidthSymbol(0xB0), 0x815B);
    EXPECT_EQ(FullWidthSymbol(0xA2), 0x8175);
    EXPECT_EQ(FullWidthSymbol(0xA3), 0x8176);
    EXPECT_EQ(FullWidthSymbol(0xB1), 0xB1);
    EXPECT_EQ(FullWidthSymbol('A'), 'A');
}

TEST(ToFullWidth, ConvertsEveryByteItIsHanded)
{
    EXPECT_BYTES(Sj("アイ"), ToFullWidth(Half({0xB1, 0xB2})));
    EXPECT_BYTES(Sj("ガ。") + "A", ToFullWidth(Half({0xB6, 0xDE, 0xA1, 'A'})));
    EXPECT_BYTES(Half({0xA0}), ToFullWidth(Half({0xA0})));
    EXPECT_EQ(ToFullWidth(""), "");
}

TEST(NormalizeKana, JoinsVoicingMarks)
{
    EXPECT_BYTES(Sj("ガギク"), NormalizeKana(Half({0xB6, 0xDE, 0xB7, 0xDE, 0xB8})));
    EXPECT_BYTES(Sj("パピ"), NormalizeKana(Half({0xCA, 0xDF, 0xCB, 0xDF})));
    // The second ﾞ follows a mark already used: it stays half-width.
    EXPECT_BYTES(Sj("バ") + "\xDE", NormalizeKana(Half({0xCA, 0xDE, 0xDE})));
    // ｳ carries no voicing flag: two characters, not ヴ.
    EXPECT_BYTES(Sj("ウ゛"), NormalizeKana(Half({0xB3, 0xDE})));
    EXPECT_BYTES(Sj("ア゛"), NormalizeKana(Half({0xB1, 0xDE})));
    EXPECT_BYTES(Sj("ン゜"), NormalizeKana(Half({0xDD, 0xDF})));
    // ﾟ after ｶ to ﾄ: letter and a separate ゜.
    EXPECT_BYTES(Sj("カ゜ト゜"), NormalizeKana(Half({0xB6, 0xDF, 0xC4, 0xDF})));
}

TEST(NormalizeKana, MarksThatFollowNoLetterStayHalfWidth)
{
    EXPECT_BYTES(Half({0xDE, 'a'}), NormalizeKana(Half({0xDE, 'a'})));
    EXPECT_BYTES(Half({'a', 0xDE}), NormalizeKana(Half({'a', 0xDE})));
    EXPECT_BYTES(Half({0xDF, 0xDE}), NormalizeKana(Half({0xDF, 0xDE})));
    EXPECT_BYTES(Sj("ー") + "\xDE", NormalizeKana(Half({0xB0, 0xDE})));
    EXPECT_BYTES(Sj("「") + "\xDF", NormalizeKana(Half({0xA2, 0xDF})));
    EXPECT_BYTES(Half({0xA0, 0xDE}), NormalizeKana(Half({0xA0, 0xDE})));
}

TEST(NormalizeKana, LeavesEverythingButTheKatakanaAreaAlone)
{
    EXPECT_EQ(NormalizeKana(""), "");
    std::string plain;
    for (int c = 0; c < 0x80; ++c)
        plain.push_back(static_cast<char>(c)); // NUL and control characters included
    plain += "\x80\xA0\xFD\xFE\xFF";
    EXPECT_BYTES(plain, NormalizeKana(plain));

    // Second bytes in 0xA0-0xDF belong to their double-byte character.
    const std::string kanji = Sj("萎"); // 88 DE
    ASSERT_EQ(ToHex(kanji), "88 DE");
    EXPECT_BYTES(kanji + "\xDF", NormalizeKana(kanji + "\xDF"));
    EXPECT_BYTES(Sj("ア萎ア"), NormalizeKana("\xB1" + kanji + "\xB1"));
    // 0xF0-0xFC are lead bytes here too.
    EXPECT_BYTES(Half({0xF0, 0xB1, 0xFC, 0xDE}), NormalizeKana(Half({0xF0, 0xB1, 0xFC, 0xDE})));
}

TEST(NormalizeKana, LineEnds)
{
    EXPECT_BYTES(Sj("ab カ"), NormalizeKana(Half({'a', 'b', ' ', 0xB6})));
    EXPECT_BYTES(Half({'a', 0x81}), NormalizeKana(Half({'a', 0x81})));
    EXPECT_BYTES(Sj("ア") + "\x81", NormalizeKana(Half({0xB1, 0x81})));
    // A NUL inside a line is copied and the rest still converted.
    EXPECT_BYTES(Sj("ア") + std::string(1, '\0') + Sj("イ"), NormalizeKana(std::string("\xB1\0\xB2", 3)));
}

// Every half-width byte alone against the system's NFKC of the same
// character, taken back to CP932 by the system's converter.
TEST(NormalizeKana, SingleHalfWidthBytesMatchNfkc)
{
    std::vector<std::string> utf8;
    for (int c = 0xA1; c <= 0xDF; ++c) {
        auto u = oracle::Cp932ToUtf8(std::string(1, static_cast<char>(c)));
        ASSERT_TRUE(u) << std::hex << c;
        utf8.push_back(*u);
    }
    std::string why;
    auto nfkc = oracle::Nfkc(utf8, &why);
    if (!nfkc)
        GTEST_SKIP() << "no NFKC to compare with: " << why;
    for (int c = 0xA1; c <= 0xDF; ++c) {
        const std::string in(1, static_cast<char>(c));
        auto expected = oracle::Utf8ToCp932((*nfkc)[c - 0xA1]);
        if (c == 0xDE || c == 0xDF) {
            // NFKC gives a combining mark, which CP932 lacks; a lone mark stays.
            EXPECT_FALSE(expected);
            EXPECT_BYTES(in, NormalizeKana(in));
            continue;
        }
        ASSERT_TRUE(expected) << std::hex << c;
        EXPECT_BYTES(*expected, NormalizeKana(in)) << "byte " << std::hex << c;
    }
}

// Every half-width byte followed by ﾞ or ﾟ: letters with the voicing flag
// join where NFKC composes them; every other letter gets a separate ゛ or ゜;
// after punctuation or another mark the mark stays half-width.
TEST(NormalizeKana, EveryByteFollowedByAMark)
{
    std::vector<std::string> utf8;
    for (int c = 0xA1; c <= 0xDF; ++c) {
        for (unsigned char m : {0xDE, 0xDF}) {
            utf8.push_back(*oracle::Cp932ToUtf8(Half({static_cast<unsigned char>(c)})));
            utf8.push_back(*oracle::Cp932ToUtf8(Half({static_cast<unsigned char>(c), m})));
        }
    }
    std::string why;
    auto nfkc = oracle::Nfkc(utf8, &why);
    if (!nfkc)
        GTEST_SKIP() << "no NFKC to compare with: " << why;
    const std::string fullMark[2] = {Sj("゛"), Sj("゜")};
    std::size_t k = 0;
    int joined = 0;
    for (int c = 0xA1; c <= 0xDF; ++c) {
        for (unsigned char m : {0xDE, 0xDF}) {
            const auto ch = static_cast<unsigned char>(c);
            const auto alone = oracle::Utf8ToCp932((*nfkc)[k++]);
            const auto pair = oracle::Utf8ToCp932((*nfkc)[k++]);
            std::string expected;
            if (ch == 0xDE || ch == 0xDF) {
                expected = Half({ch, m});
            } else if (IsPunctuation(ch)) {
                expected = *alone + static_cast<char>(m);
            } else if (m == 0xDE ? TakesVoiced(ch) : TakesSemiVoiced(ch)) {
                ASSERT_TRUE(pair && pair->size() == 2) << std::hex << c << ' ' << int(m);
                expected = *pair;
                ++joined;
            } else {
                expected = *alone + fullMark[m - 0xDE];
            }
            EXPECT_BYTES(expected, NormalizeKana(Half({ch, m}))) << std::hex << c << ' ' << int(m);
        }
    }
    EXPECT_EQ(joined, 25);
}
