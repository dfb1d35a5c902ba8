#include "jtext/HenkanJ.h"
#include "jtext/MailJstr.h"

#include "TextOracle.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

using oracle::FromHex;
using oracle::Sj;
using oracle::ToHex;

#define EXPECT_BYTES(expected, actual) EXPECT_EQ(ToHex(expected), ToHex(actual))

TEST(JisOffset, CornersOfTheTable)
{
    auto code = [](unsigned lead, unsigned trail) { return lead * 512 + trail - JisOffset(lead, trail); };
    EXPECT_EQ(code(0x81, 0x40), 0x2121u);
    EXPECT_EQ(code(0x82, 0x9F), 0x2421u);
    EXPECT_EQ(code(0xE0, 0x40), 0x5F21u);
    EXPECT_EQ(code(0xEF, 0xFC), 0x7E7Eu);
    EXPECT_EQ(code(0x81, 0x7E), 0x215Fu);
    EXPECT_EQ(code(0x81, 0x80), 0x2160u);
    EXPECT_EQ(JisOffset(0x81, 0x7F), 0u);
    EXPECT_EQ(JisOffset(0x81, 0x20), 0u);
}

TEST(SjisToJis, WorkedExamples)
{
    EXPECT_BYTES(FromHex("1B 24 42 3B 33 45 44 1B 28 42 20"), SjisToJis(FromHex("8E 52 93 63 20")));
    EXPECT_BYTES(FromHex("1B 28 42 54 61 72 6F 20"), SjisToJis("Taro "));
    EXPECT_EQ(SjisToJis(""), "");
}

TEST(SjisToJis, EscapesAroundDoubleByteRuns)
{
    const std::string yama = Sj("山");
    // Starts and ends with a double-byte character.
    EXPECT_BYTES(FromHex("1B 24 42 3B 33 1B 28 42"), SjisToJis(yama));
    // Two runs separated by a space.
    EXPECT_BYTES(FromHex("1B 24 42 3B 33 1B 28 42 20 1B 24 42 3B 33 45 44 1B 28 42"),
                 SjisToJis(yama + " " + Sj("山田")));
    // Half-width katakana and other single bytes stay 8-bit in ASCII mode.
    EXPECT_BYTES(FromHex("1B 28 42 B1 DE 80 A0 FD FF"), SjisToJis(FromHex("B1 DE 80 A0 FD FF")));
    EXPECT_BYTES(FromHex("1B 24 42 3B 33 1B 28 42 B1"), SjisToJis(yama + "\xB1"));
}

TEST(SjisToJis, BrokenPairs)
{
    const std::string yama = Sj("山");
    // A lone lead byte at the end is dropped.
    EXPECT_BYTES(FromHex("1B 28 42 61"), SjisToJis(FromHex("61 81")));
    EXPECT_BYTES(FromHex("1B 24 42 3B 33 1B 28 42"), SjisToJis(yama + "\x93"));
    EXPECT_EQ(SjisToJis("\x81"), "");
    // A lead byte before a non-trail byte: both copied, the run closed first.
    EXPECT_BYTES(FromHex("1B 24 42 3B 33 1B 28 42 81 0A"), SjisToJis(yama + "\x81\x0A"));
    EXPECT_BYTES(FromHex("1B 28 42 61 81 7F"), SjisToJis(FromHex("61 81 7F")));
    // At the start of the text the pair is not the first byte: no escape.
    EXPECT_BYTES(FromHex("81 20"), SjisToJis(FromHex("81 20")));
    // 0xF0-0xFC are single bytes here; a lead byte after one starts a pair.
    EXPECT_BYTES(FromHex("1B 28 42 F0 1B 24 42 3B 33 1B 28 42"), SjisToJis("\xF0" + yama));
    EXPECT_BYTES(FromHex("1B 28 42 FC 40"), SjisToJis(FromHex("FC 40")));
}

TEST(SjisToJis, NulEndsTheText)
{
    EXPECT_BYTES(FromHex("1B 28 42 61"), SjisToJis(std::string("a\0b", 3)));
    EXPECT_BYTES(FromHex("1B 24 42 3B 33 1B 28 42"), SjisToJis(Sj("山") + std::string("\0\x8E\x52", 3)));
    // A NUL after a lead byte loses the lead byte too.
    EXPECT_BYTES(FromHex("1B 28 42 61"), SjisToJis(std::string("a\x81\0b", 4)));
}

namespace {

std::string Jis(std::uint16_t code)
{
    return "\x1B$B" + std::string{static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)} + "\x1B(B";
}

// Every cell of JIS X 0208 rows 0x21-0x74 that `toCp932` converts (the rest
// are cells JIS X 0208 leaves empty, or characters the converter gives no
// CP932 form): JisToSjis must give the converter's bytes, and SjisToJis must
// give back the code. `alsoCheck(code, sjis)` checks each cell further.
template <class ToCp932, class AlsoCheck>
void CheckEveryJisX0208Cell(ToCp932 toCp932, AlsoCheck alsoCheck, int& converted)
{
    converted = 0;
    for (unsigned row = 0x21; row <= 0x74; ++row) {
        for (unsigned cell = 0x21; cell <= 0x7E; ++cell) {
            const auto code = static_cast<std::uint16_t>(row << 8 | cell);
            const std::optional<std::string> sjis = toCp932(code);
            if (!sjis)
                continue;
            ++converted;
            ASSERT_EQ(ToHex(*sjis), ToHex(CodeToChars(JisToSjis(code)))) << std::hex << code;
            ASSERT_EQ(ToHex(Jis(code)), ToHex(SjisToJis(*sjis))) << std::hex << code;
            alsoCheck(code, *sjis);
            if (testing::Test::HasFatalFailure())
                return;
        }
    }
}

} // namespace

// The system's ISO-2022-JP converter gives the CP932 bytes of each code, and
// SjisToJis must encode them exactly as that converter does.
TEST(SjisToJis, EveryJisX0208CodeAgainstTheSystem)
{
    if (const std::string missing = oracle::Iso2022JpMissing(); !missing.empty())
        GTEST_SKIP() << missing;
    int converted = 0, forward = 0;
    CheckEveryJisX0208Cell([](std::uint16_t code) { return oracle::Iso2022JpToCp932(Jis(code)); },
                           [&](std::uint16_t code, const std::string& sjis) {
                               // Some CP932 characters (～ and a few others) have no
                               // ISO-2022-JP form in the converter's direction from
                               // CP932; the rest must agree.
                               if (const auto back = oracle::Cp932ToIso2022Jp(sjis)) {
                                   ++forward;
                                   ASSERT_EQ(ToHex(*back), ToHex(SjisToJis(sjis))) << std::hex << code;
                               }
                           },
                           converted);
    if (HasFatalFailure())
        return;
    EXPECT_EQ(converted, 6879); // every character of JIS X 0208
    EXPECT_GT(forward, 6800);
}

// The same table through the system's EUC-JP converter, which holds the JIS
// X 0208 codes with the high bit of each byte set. A few characters (〜 ‖ −
// ¢ £ ¬) have other code points in JIS than in CP932, and a converter may
// refuse them.
TEST(SjisToJis, EveryJisX0208CodeAgainstEucJp)
{
    if (const std::string missing = oracle::EucJpMissing(); !missing.empty())
        GTEST_SKIP() << missing;
    int converted = 0;
    CheckEveryJisX0208Cell(
        [](std::uint16_t code) {
            return oracle::EucJpToCp932(std::string{static_cast<char>(code >> 8 | 0x80), static_cast<char>(code | 0x80)});
        },
        [](std::uint16_t, const std::string&) {}, converted);
    if (HasFatalFailure())
        return;
    EXPECT_GE(converted, 6879 - 6);
    EXPECT_LE(converted, 6879);
}

TEST(SjisToJis, JisToSjisInvertsEveryPair)
{
    for (unsigned lead = 0x81; lead <= 0xEF; ++lead) {
        if (lead >= 0xA0 && lead <= 0xDF)
            continue;
        for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F)
                continue;
            const std::string jis = SjisToJis(std::string{static_cast<char>(lead), static_cast<char>(trail)});
            ASSERT_EQ(jis.size(), 8u);
            const auto code = static_cast<std::uint16_t>(static_cast<unsigned char>(jis[3]) << 8 | static_cast<unsigned char>(jis[4]));
            ASSERT_EQ(JisToSjis(code), (lead << 8 | trail)) << std::hex << lead << ' ' << trail;
        }
    }
}

TEST(EncodeBase64, PaddingFollowsTheLength)
{
    EXPECT_EQ(EncodeBase64(""), "");
    EXPECT_EQ(EncodeBase64("f"), "Zg==");
    EXPECT_EQ(EncodeBase64("fo"), "Zm8=");
    EXPECT_EQ(EncodeBase64("foo"), "Zm9v");
    EXPECT_EQ(EncodeBase64("foob"), "Zm9vYg==");
    EXPECT_EQ(EncodeBase64("fooba"), "Zm9vYmE=");
    EXPECT_EQ(EncodeBase64("foobar"), "Zm9vYmFy");
    EXPECT_EQ(EncodeBase64(FromHex("FB FF BF 00")), "+/+/AA==");
    EXPECT_EQ(EncodeBase64(std::string(3, '\0')), "AAAA");
}

TEST(DecodeBase64Text, RoundTripOfEveryLengthAndLineBreaksSkipped)
{
    // Property: decoding gives back what was encoded, for every length and
    // every byte value, and the line breaks of a MIME body do not matter.
    std::string bytes;
    for (int n = 0; n < 300; ++n) {
        const std::string b64 = EncodeBase64(bytes);
        std::string back;
        ASSERT_TRUE(DecodeBase64Text(b64, back));
        ASSERT_EQ(back, bytes);
        std::string folded;
        for (std::size_t i = 0; i < b64.size(); i += 76)
            folded += b64.substr(i, 76) + "\r\n";
        ASSERT_TRUE(DecodeBase64Text(folded, back));
        ASSERT_EQ(back, bytes);
        bytes.push_back(static_cast<char>(n * 37 + 11));
    }
    std::string out;
    EXPECT_FALSE(DecodeBase64Text("Zm9v*YmFy", out));
    EXPECT_EQ(out, "foo");
}

TEST(EncodeBase64, NoLineBreaks)
{
    std::string bytes;
    for (int i = 0; i < 100; ++i)
        bytes.push_back(static_cast<char>(i));
    const std::string b64 = EncodeBase64(bytes);
    ASSERT_EQ(b64.size(), 136u);
    EXPECT_EQ(b64, "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ1Njc4OTo7PD0+"
                   "P0BBQkNERUZHSElKS0xNTk9QUVJTVFVWV1hZWltcXV5fYGFiYw==");
}

TEST(EncodeMimeHeader, OneWordForTheWholeText)
{
    EXPECT_EQ(EncodeMimeHeader(""), "=?ISO-2022-JP?B?" "?=");
    EXPECT_EQ(EncodeMimeHeader(Sj("山田")), "=?ISO-2022-JP?B?GyRCOzNFRBsoQg==?=");
    EXPECT_EQ(EncodeMimeHeader("Taro"), "=?ISO-2022-JP?B?" + EncodeBase64("\x1B(BTaro") + "?=");

    std::string longName;
    for (int i = 0; i < 100; ++i)
        longName += Sj("山田");
    const std::string word = EncodeMimeHeader(longName);
    EXPECT_EQ(word.find_first_of(" \r\n"), std::string::npos);
    EXPECT_EQ(word.size(), 16 + (3 + 400 + 3 + 2) / 3 * 4 + 2);
}
