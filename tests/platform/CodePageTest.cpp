// Which names have a Shift_JIS form.
#include "platform/CodePage.h"

#include <gtest/gtest.h>

TEST(CodePage, NamesWithAndWithoutAShiftJisForm)
{
    EXPECT_TRUE(platform::HasCp932Form("/home/taro/jobs.txt"));
    EXPECT_TRUE(platform::HasCp932Form("/home/山田/ｶﾅ/表.txt?"));
    EXPECT_TRUE(platform::HasCp932Form("\x95\x5C\x82")); // CP932 bytes passed as they are
    EXPECT_FALSE(platform::HasCp932Form("/home/josé/tarnwick/"));
    EXPECT_FALSE(platform::HasCp932Form("a?😀"));
}

TEST(CodePage, AsciiIsTheSameBothWays)
{
    std::string ascii;
    for (int c = 1; c < 0x80; ++c)
        ascii += static_cast<char>(c);
    EXPECT_EQ(platform::Cp932ToUtf8(ascii), ascii);
    EXPECT_EQ(platform::Utf8ToCp932(ascii), ascii);
    EXPECT_EQ(platform::Cp932ToUtf8("a\\\x95\x5C~"), "a\\表~");
    EXPECT_EQ(platform::Utf8ToCp932("a\\表~"), "a\\\x95\x5C~");
}
