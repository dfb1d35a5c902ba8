#include "jtext/JpWords.h"

#include "TextOracle.h"

#include <gtest/gtest.h>

TEST(JpWords, EveryConstantMatchesItsSpelling)
{
    ASSERT_GT(std::size(jp::kAllWords), 0u);
    for (const jp::Word& w : jp::kAllWords) {
        const auto converted = oracle::Utf8ToCp932(w.utf8);
        ASSERT_TRUE(converted) << w.utf8;
        EXPECT_EQ(oracle::ToHex(*converted), oracle::ToHex(w.bytes)) << w.utf8;
    }
}
