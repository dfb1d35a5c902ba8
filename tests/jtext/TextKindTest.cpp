#include "jtext/TextKind.h"

#include "TextOracle.h"

#include <gtest/gtest.h>

using oracle::Sj;

// Real texts of the kind found in definitions and job lists: each must be told
// apart both ways, as UTF-8 and as Shift_JIS. Invalid UTF-8 of every kind is
// not UTF-8, however much valid UTF-8 surrounds it.
TEST(TextKind, TellsUtf8FromShiftJis)
{
    const char* const texts[] = {
        "【ご案内】年末年始の営業について",
        "山田 太郎 様\r\nいつもお世話になっております。",
        "ｶﾌﾞｼｷｶﾞｲｼｬ 半角カナ混じり ﾃｽﾄ",
        "髙橋様 ①～⑩ ㈱ＡＢＣ",
        "東京都港区芝公園４－２－８",
        "mails\\お知らせ_0001.txt,1",
        "ー", // one character: E3 83 BC / 81 5B
        "縁", // kanji with an E0-EF lead in Shift_JIS (89 8F)
        "漢字ばかり検査",
        "ﾃｽ",
    };
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        const std::string sjis = Sj(text);
        EXPECT_EQ(GuessTextKind(text), TTextKind::Utf8);
        EXPECT_EQ(GuessTextKind(sjis), TTextKind::ShiftJis) << oracle::ToHex(sjis);
        EXPECT_EQ(GuessTextKind("\xEF\xBB\xBF" + sjis), TTextKind::Utf8);
    }
    EXPECT_EQ(GuessTextKind("plain ascii\r\n"), TTextKind::Ascii);
    EXPECT_EQ(GuessTextKind(""), TTextKind::Ascii);
    EXPECT_EQ(GuessTextKind("\xEF\xBB\xBF"), TTextKind::Utf8);
    EXPECT_EQ(GuessTextKind("\xF0\x9F\x93\xA7 mail"), TTextKind::Utf8);
    const char* const bad[] = {
        "\xE3\x81",         // cut short
        "\xC0\xAF",         // overlong
        "\xE0\x80\xAF",     // overlong
        "\xED\xA0\x80",     // surrogate
        "\xF4\x90\x80\x80", // above U+10FFFF
        "\xF5\x80\x80\x80", // no such lead
        "\x80",             // stray continuation
    };
    for (const char* b : bad)
        EXPECT_EQ(GuessTextKind(std::string("あ") + b + "い"), TTextKind::ShiftJis) << oracle::ToHex(b);
}
