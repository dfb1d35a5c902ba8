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
