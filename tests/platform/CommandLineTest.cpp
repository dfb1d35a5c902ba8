#include "platform/Process.h"

#include <gtest/gtest.h>

using platform::SplitCommandLine;
using Args = std::vector<std::string>;

// Double-byte characters whose second byte is 0x5C, the backslash.
#define SO "\x83\x5C"  // ソ
#define HYO "\x95\x5C" // 表

TEST(SplitCommandLine, BlanksSeparateAndQuotesGroup)
{
    EXPECT_EQ(SplitCommandLine(""), Args{});
    EXPECT_EQ(SplitCommandLine(" \t "), Args{});
    EXPECT_EQ(SplitCommandLine("  smail.exe\t-hh1   -t "), (Args{"smail.exe", "-hh1", "-t"}));
    EXPECT_EQ(SplitCommandLine("p \"a b\" c"), (Args{"p", "a b", "c"}));
    EXPECT_EQ(SplitCommandLine("p a\"b c\"d"), (Args{"p", "ab cd"}));
    EXPECT_EQ(SplitCommandLine("p \"\" x \"\""), (Args{"p", "", "x", ""}));
    EXPECT_EQ(SplitCommandLine("p \"open to the end"), (Args{"p", "open to the end"}));
    // The pieces the mailer command is made of.
    EXPECT_EQ(SplitCommandLine("smail.exe -s\"s1 s2\" -a\"C:\\a b\\x.pdf\",\"C:\\y.pdf\" -m -Fbody.txt "),
              (Args{"smail.exe", "-ss1 s2", "-aC:\\a b\\x.pdf,C:\\y.pdf", "-m", "-Fbody.txt"}));
    // Nothing after a NUL byte exists for the runtime.
    EXPECT_EQ(SplitCommandLine(std::string_view("p a\0b c", 7)), (Args{"p", "a"}));
}

TEST(SplitCommandLine, BackslashesCountOnlyBeforeAQuote)
{
    EXPECT_EQ(SplitCommandLine("p a\\\\b c\\"), (Args{"p", "a\\\\b", "c\\"}));
    // 2n backslashes + quote: n backslashes, the quote toggles.
    EXPECT_EQ(SplitCommandLine("p a\\\\\\\\\"b c\""), (Args{"p", "a\\\\b c"}));
    // 2n+1 backslashes + quote: n backslashes and a literal quote.
    EXPECT_EQ(SplitCommandLine("p a\\\\\\\"b c"), (Args{"p", "a\\\"b", "c"}));
    EXPECT_EQ(SplitCommandLine("p \\\"x\\\""), (Args{"p", "\"x\""}));
    // A quoted path ending in a backslash swallows its closing quote.
    EXPECT_EQ(SplitCommandLine("p \"C:\\dir\\\" next"), (Args{"p", "C:\\dir\" next"}));
}

TEST(SplitCommandLine, DoubledQuoteInsideQuotesIsLiteralAndQuotingGoesOn)
{
    EXPECT_EQ(SplitCommandLine("p \"a\"\"b\""), (Args{"p", "a\"b"}));
    EXPECT_EQ(SplitCommandLine("p \"a\"\"b c\" d"), (Args{"p", "a\"b c", "d"}));
    // Outside quotes "" is an empty quoted part.
    EXPECT_EQ(SplitCommandLine("p a\"\"b"), (Args{"p", "ab"}));
}

TEST(SplitCommandLine, ProgramNameHasNoBackslashEscapes)
{
    EXPECT_EQ(SplitCommandLine("\"C:\\Program Files\\smail.exe\" -t"),
              (Args{"C:\\Program Files\\smail.exe", "-t"}));
    EXPECT_EQ(SplitCommandLine("a\\\"b c\" d"), (Args{"a\\b c", "d"}));
    EXPECT_EQ(SplitCommandLine("\"\" x"), (Args{"", "x"}));
}

TEST(SplitCommandLine, DoubleByteCharactersStayWhole)
{
    // The second byte of ソ is no backslash: the quote after it opens quoting.
    EXPECT_EQ(SplitCommandLine("p " SO "\"x y\""), (Args{"p", SO "x y"}));
    // ...and closes it here.
    EXPECT_EQ(SplitCommandLine("p \"" HYO "\" z"), (Args{"p", HYO, "z"}));
    EXPECT_EQ(SplitCommandLine("\"C:\\" SO "\\" HYO "\\smail.exe\" -s\"" HYO SO "\""),
              (Args{"C:\\" SO "\\" HYO "\\smail.exe", "-s" HYO SO}));
    // A real backslash right after a double-byte character still counts.
    EXPECT_EQ(SplitCommandLine("p " SO "\\\"q"), (Args{"p", SO "\"q"}));
    // A lone lead byte at the end stays a byte of its own.
    EXPECT_EQ(SplitCommandLine("p a\x83"), (Args{"p", "a\x83"}));
    // A lead byte before a byte that cannot be a second byte stands alone: it
    // never swallows the closing quote, a blank or the program name's end.
    EXPECT_EQ(SplitCommandLine("smail.exe -s\"subj\x82\" -m -Fbody.txt to@x.jp -t"),
              (Args{"smail.exe", "-ssubj\x82", "-m", "-Fbody.txt", "to@x.jp", "-t"}));
    EXPECT_EQ(SplitCommandLine("p -hhost\x82 -fa@b"), (Args{"p", "-hhost\x82", "-fa@b"}));
    EXPECT_EQ(SplitCommandLine("p\x82 x"), (Args{"p\x82", "x"}));
    EXPECT_EQ(SplitCommandLine("\"p\x82\" x"), (Args{"p\x82", "x"}));
}
