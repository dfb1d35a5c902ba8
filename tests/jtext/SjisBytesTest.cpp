#include "jtext/SjisBytes.h"

#include "TextOracle.h"

#include <gtest/gtest.h>

#include <vector>

using oracle::Sj;

namespace {
constexpr auto npos = std::string_view::npos;
}

TEST(SjisBytes, LeadBytes)
{
    EXPECT_FALSE(IsSjisLead(0x80));
    EXPECT_TRUE(IsSjisLead(0x81));
    EXPECT_TRUE(IsSjisLead(0x9F));
    EXPECT_FALSE(IsSjisLead(0xA0));
    EXPECT_FALSE(IsSjisLead(0xDF));
    EXPECT_TRUE(IsSjisLead(0xE0));
    EXPECT_TRUE(IsSjisLead(0xFC));
    EXPECT_FALSE(IsSjisLead(0xFD));
    EXPECT_FALSE(HasDoubleByte("abc\xB1"));
    EXPECT_FALSE(HasDoubleByte("abc\x81")); // a lone lead byte is no character
    EXPECT_TRUE(HasDoubleByte("a" + Sj("山")));
}

// One lead-byte rule: a lead byte pairs only with a byte that can be a second
// byte; otherwise it is a single-byte character and the next byte stays a
// character of its own (a quote, a comma, a space).
TEST(SjisBytes, LoneLeadByteNeverSwallowsTheNextCharacter)
{
    struct Case {
        std::string text;
        std::size_t len;
    };
    const std::vector<Case> cases = {
        {"\x82\x40", 2}, {"\x82\x7E", 2}, {"\x82\x80", 2}, {"\x82\xFC", 2}, {"\xE0\x5C", 2},
        {"\x82\x3F", 1}, {"\x82\x7F", 1}, {"\x82\xFD", 1}, {"\x82\"", 1},   {"\x82,", 1},
        {"\x82 ", 1},    {"\x82\t", 1},   {"\x82", 1},     {"\xA0\x40", 1}, {"a\x40", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        EXPECT_EQ(SjisCharLen(c.text, 0), c.len);
    }
    EXPECT_TRUE(IsSjisTrail(0x40));
    EXPECT_FALSE(IsSjisTrail(0x7F));
    EXPECT_FALSE(IsSjisTrail(0xFD));
    // Every character-aware search follows it.
    EXPECT_EQ(FindChar("a\x82,b", ','), 2u);
    EXPECT_EQ(GetField("x\x82,y", ',', 2), "y");
    EXPECT_EQ(FindText("\x82\"q\"", "\""), 1u);
    EXPECT_EQ(ReplaceChar("\x82\t", '\t', ','), "\x82,");
    EXPECT_FALSE(HasDoubleByte("\x82\""));
    // A bounded start never cuts a character in two.
    EXPECT_EQ(CharPrefix("ab\x95\x5C", 3), "ab");
    EXPECT_EQ(CharPrefix("ab\x95\x5C", 4), "ab\x95\x5C");
    EXPECT_EQ(CharPrefix("ab\x82\"", 3), "ab\x82");
}

// ソ is 83 5C, ポ is 83 7C, the full-width space is 81 40: their second bytes
// look like \ | @ but are not characters of their own.
TEST(SjisBytes, SearchesSkipSecondBytes)
{
    const std::string so = Sj("ソ");
    ASSERT_EQ(so, "\x83\x5C");
    const std::string s = so + "\\" + Sj("ポ") + "|" + Sj("　") + "@";
    EXPECT_EQ(FindChar(s, '\\'), 2u);
    EXPECT_EQ(FindChar(s, '|'), 5u);
    EXPECT_EQ(FindChar(s, '@'), 8u);
    // Searching on from just behind an earlier find.
    EXPECT_EQ(FindChar(s, '\\', 3), npos);
    EXPECT_EQ(FindChar(s, '@', 6), 8u);
    EXPECT_EQ(FindChar(s, '@', 9), npos);
    EXPECT_EQ(FindChar(so, '\\'), npos);
    EXPECT_EQ(FindLastChar(so + "\\" + so, '\\'), 2u);
    EXPECT_EQ(FindLastChar(so, '\\'), npos);

    EXPECT_EQ(FindText(s, "\\" + Sj("ポ")), 2u);
    EXPECT_EQ(FindText(Sj("表示"), "\\"), npos);          // 95 5C 8E A6
    EXPECT_EQ(FindText(Sj("アイウ"), Sj("イ")), 2u);
    EXPECT_EQ(FindText("\x83\x83\x5C", "\x83\x5C"), npos); // ャ then a stray byte
    EXPECT_EQ(FindText("abcabc", "bc", 2), 4u);
    EXPECT_EQ(FindText("abc", "", 1), 1u);
}

TEST(SjisBytes, ReplaceCharKeepsDoubleByteCharacters)
{
    EXPECT_EQ(ReplaceChar("dir\\" + Sj("ソ") + "\\a.txt", '\\', '/'), "dir/" + Sj("ソ") + "/a.txt");
    // A replacement that is itself a lead byte must not hide the next character.
    EXPECT_EQ(ReplaceChar("a/b/", '/', '\x81'), "a\x81" "b\x81");
}

TEST(SjisBytes, TrimRemovesCodesUpTo32)
{
    EXPECT_EQ(Trim(std::string("\0\t\r\n a b \x1F\x20", 9)), "a b");
    EXPECT_EQ(Trim(" \t "), "");
    EXPECT_EQ(Trim(""), "");
    // The full-width space is a character, not white space.
    EXPECT_EQ(Trim(Sj("　x　")), Sj("　x　"));
    EXPECT_EQ(Trim("\x7F" "a\xA0"), "\x7F" "a\xA0");
}

TEST(SjisBytes, GetField)
{
    EXPECT_EQ(GetField("a,,b", ',', 1), "a");
    EXPECT_EQ(GetField("a,,b", ',', 2), "");
    EXPECT_EQ(GetField("a,,b", ',', 3), "b");
    EXPECT_EQ(GetField("a,,b", ',', 4), "");
    EXPECT_EQ(GetField("a,", ',', 1), "a");
    EXPECT_EQ(GetField("a,", ',', 2), "");
    EXPECT_EQ(GetField("", ',', 1), "");
    EXPECT_EQ(GetField("abc", ',', 1), "abc");
    EXPECT_EQ(GetField("abc", ',', 0), "");
    EXPECT_EQ(GetField("abc", ',', -1), "");
    // Separators that can be second bytes.
    const std::string so = Sj("ソ");
    EXPECT_EQ(GetField(so + "\\x\\y", '\\', 1), so);
    EXPECT_EQ(GetField(so + "\\x\\y", '\\', 3), "y");
    EXPECT_EQ(GetField(Sj("ポ") + "|b", '|', 2), "b");
    EXPECT_EQ(GetField(Sj("　") + "@b", '@', 1), Sj("　"));
    EXPECT_EQ(GetField("a\x81", ',', 1), "a\x81"); // lone lead byte at the end
}

TEST(SjisBytes, ForEachFieldStopsAtTheFirstEmptyField)
{
    const std::string so = Sj("ソ");
    std::vector<std::string> seen;
    ForEachField(so + "\\b\\\\c", '\\', [&](const std::string& f) { seen.push_back(f); });
    EXPECT_EQ(seen, (std::vector<std::string>{so, "b"}));
    seen.clear();
    ForEachField("a,b", ',', [&](const std::string& f) { seen.push_back(f); });
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "b"}));
    seen.clear();
    ForEachField("", ',', [&](const std::string& f) { seen.push_back(f); });
    EXPECT_TRUE(seen.empty());
}
