// The mailer command: what the mailer is to receive.
#include "RunFixture.h"

#include "jtext/MailJstr.h"
#include "platform/Process.h"
#include "support/FakeMailerRecord.h"

#include <cstdlib>
#include <filesystem>

namespace {

class MailerCommandTest : public RunFixture {
protected:
    void SetUp() override { Define("h1", "t1@x", "f1", "s1"); }
    // The mail of a definition's CP932 lines (raw bytes allowed).
    void Define(const std::string& host, const std::string& to, const std::string& from, const std::string& subject,
                const std::string& attachments = "")
    {
        DefineLines({"log.txt", host, to, from, subject, attachments});
    }
    void DefineLines(const std::vector<std::string>& lines)
    {
        mail = ParseMailDefinition(lines, folder.Cp932Path() + "mails/d.txt", folder.Cp932Path(), TBatchReader{retry});
    }
    TMailerCommand Command(bool batch) const { return BuildCommand(mail, {name, noTopt, batch, false}); }
    std::string Line(bool batch) const { return Command(batch).Line(); }
    std::string Refusal(bool batch) const { return Command(batch).Refusal(); }
    std::vector<std::string> Args(bool batch) const { return Command(batch).ToStart().Args; }
    std::string Sender(const std::string& s) { return EncodeSender(s, true); }

    bool stop = false;
    TRetryRules retry{clock, stop};
    TMail mail;
    std::string name = "smail.exe";
    int noTopt = 0;
};

TEST_F(MailerCommandTest, NormalAndBatchCommands)
{
    EXPECT_EQ(Line(false), "smail.exe -hh1 -ff1 -s\"s1\" -m -Fbody.txt t1@x -t");
    EXPECT_EQ(Line(true), "smail.exe -d -hh1 -ff1 -s\"s1\" -m -Fbody.txt t1@x  > $log.txt");
    // The process start gets the line without the redirection, and the arguments it means.
    EXPECT_EQ(Command(true).ToStart().Line, "smail.exe -d -hh1 -ff1 -s\"s1\" -m -Fbody.txt t1@x ");
    EXPECT_EQ(Args(false), (std::vector<std::string>{"smail.exe", "-hh1", "-ff1", "-ss1", "-m", "-Fbody.txt", "t1@x", "-t"}));
    noTopt = 1;
    EXPECT_EQ(Line(false), "smail.exe -hh1 -ff1 -s\"s1\" -m -Fbody.txt t1@x ");
    EXPECT_EQ(Line(true), "smail.exe -d -hh1 -ff1 -s\"s1\" -m -Fbody.txt t1@x  > $log.txt");
    EXPECT_EQ(Args(false).back(), "t1@x");
}

TEST_F(MailerCommandTest, PiecesAreTrimmedButTestedUntrimmed)
{
    DefineLines({"log.txt", "   ", " t@x ", " a ,b ,c ", " s ", "x.txt"});
    EXPECT_EQ(Line(false),
              "smail.exe -h -fa -rb -nc -s\"s\" -a\"" + folder.Cp932Path() + "x.txt\" -m -Fbody.txt t@x -t");
}

TEST_F(MailerCommandTest, EmptyMailStillHasTheFixedPieces)
{
    DefineLines({"only", "three", "lines"});
    EXPECT_EQ(Line(false), "smail.exe -m -Fbody.txt -t");
}

TEST_F(MailerCommandTest, SenderNameEncoding)
{
    const std::string name = Sjis("山田 ");
    const std::string quoted = "\"" + name + "<taro@example.jp>\"";
    EXPECT_EQ(Sender(quoted), "\"" + EncodeMimeHeader(name) + " <taro@example.jp>\"");
    EXPECT_EQ(EncodeMimeHeader(name), "=?ISO-2022-JP?B?GyRCOzNFRBsoQiA=?=");
    // The quote test looks at the untrimmed field.
    EXPECT_EQ(Sender(" " + quoted), " " + quoted);
    // Quoted without "<": unchanged.
    EXPECT_EQ(Sender("\"" + name + "\""), "\"" + name + "\"");
    // Bytes below 0x50 only: unchanged, also with a name; one lower-case letter changes that.
    EXPECT_EQ(Sender("\"ABC <A@B.CO>\""), "\"ABC <A@B.CO>\"");
    EXPECT_EQ(Sender("\"ABc <A@B.CO>\""), "\"" + EncodeMimeHeader("ABc ") + " <A@B.CO>\"");
    // Half-width katakana is widened before it is encoded: ISO-2022-JP has no place for it.
    EXPECT_EQ(Sender(Sjis("\"ﾔﾏﾀﾞ <y@x>\"")), "\"" + EncodeMimeHeader(Sjis("ヤマダ ")) + " <y@x>\"");
    EXPECT_EQ(EncodeSender(quoted, false), quoted);
    // A character outside JIS X 0208 (NEC and IBM rows): the whole name in UTF-8.
    for (const char* n : {"①山田 ", "㈱山田 ", "髙橋 "})
        EXPECT_EQ(Sender(Sjis("\"") + Sjis(n) + "<y@x>\""),
                  "\"=?UTF-8?B?" + EncodeBase64(std::string(n)) + "?= <y@x>\"") << n;
}

// The subject reaches the mailer whole whatever it holds: quotes and the
// backslashes before them are escaped as the runtime reads them; the second
// byte 0x5C of a character is not a backslash; a lone lead byte at the end
// does not swallow the closing quote.
TEST_F(MailerCommandTest, SubjectsRoundTripThroughTheSplitter)
{
    const std::string hyo = Sjis("表");
    ASSERT_EQ(hyo, "\x95\x5C");
    const std::vector<std::string> subjects = {
        "27\" monitor sale", "a\\", "C:\\dir\\", "a\\\"b", "\"\"", "\\\"", "x\\\\\" y",
        Sjis("会議") + hyo, hyo + "\"" + hyo, hyo + "\\", "subj\x82", "subj\x82\\", Sjis("ソ\"ソ"),
    };
    for (const std::string& subject : subjects) {
        SCOPED_TRACE(testing::PrintToString(subject));
        Define("h1", "t1@x", "f1", subject);
        for (bool batch : {false, true}) {
            const platform::TCommandLine start = Command(batch).ToStart();
            EXPECT_EQ(Refusal(batch), "");
            ASSERT_GE(start.Args.size(), 5u);
            EXPECT_EQ(start.Args[batch ? 4 : 3], "-s" + subject);
            EXPECT_EQ(start.Args[batch ? 7 : 6], "t1@x");
            // The line the Windows start gets means the same arguments.
            EXPECT_EQ(platform::SplitCommandLine(start.Line), start.Args);
        }
    }
}

// What cannot reach the mailer as written is refused; what can, is not.
TEST_F(MailerCommandTest, CommandsThatCannotRoundTripAreRefused)
{
    struct Case {
        const char* what;
        std::string host, to, from, subject, attachments;
        bool refused;
    };
    const std::string nul(1, '\0');
    const std::vector<Case> cases = {
        {"lone lead byte ending the host", "host\x82", "t@x", "f@x", "s", "", false},
        {"lone lead byte ending the sender", "h", "t@x", "f@x\x82", "s", "", false},
        {"quoted sender with a name", "h", "t@x", "\"Yamada Taro <f@x>\"", "s", "", false},
        {"spaces in the address list", "h", "a@x, b@x", "f@x", "s", "", false},
        {"NUL in the recipients", "h", "a@x,b@x" + nul + ",c@x", "f@x", "s", "", true},
        {"NUL in the subject", "h", "t@x", "f@x", "s" + nul + "x", "", true},
        {"NUL at the end of the host", "h" + nul, "t@x", "f@x", "s", "", true},
        {"blank inside the host", "h x", "t@x", "f@x", "s", "", true},
        {"quote in the host", "h\"x", "t@x", "f@x", "s", "", true},
        {"unquoted sender with a name (quoted whole)", "h", "t@x", "Yamada Taro <f@x>", "s", "", false},
        {"sender with a quote inside (quoted whole)", "h", "t@x", "\"Yamada\" <f@x>", "s", "", false},
        {"quote in a recipient", "h", "\"a b\"@x", "f@x", "s", "", true},
        {"recipient that passes for an option", "h", "t@x,-hevil@x", "f@x", "s", "", false},
        {"recipient word that passes for an option", "h", "t@x, -hevil@x", "f@x", "s", "", true},
        {"quote right after a lone lead byte", "h", "t@x", "f@x", "x\x82\"y", "", true},
        {"quote in an attachment path", "h", "t@x", "f@x", "s", "a\"b.txt", true},
        // On Windows the backslash stays and would escape the closing quote;
        // elsewhere it is a separator like any other.
        {"attachment path ending in a backslash", "h", "t@x", "f@x", "s", "dir\\", kWindows},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Define(c.host, c.to, c.from, c.subject, c.attachments);
        for (bool batch : {false, true}) {
            EXPECT_EQ(!Refusal(batch).empty(), c.refused);
            if (!c.refused) {
                EXPECT_EQ(platform::SplitCommandLine(Command(batch).ToStart().Line), Args(batch));
            }
        }
    }
    // A sender with blanks or quotes reaches the mailer as one argument, exactly as written.
    Define("h", "t@x", Sjis("\"差出人 太郎\" <f@x>"), "s");
    EXPECT_EQ(Args(false)[2], Sjis("-f\"差出人 太郎\" <f@x>"));
    // The mailer command itself must be one program name.
    Define("h", "t@x", "f@x", "s");
    for (const char* one : {"smail\"", "\"C:\\smail.exe"}) {
        name = one;
        EXPECT_FALSE(Refusal(false).empty()) << one;
    }
    // A path with blanks is one program, written plainly or in quotes; it
    // starts by the full path it was found at, in quotes.
    for (const char* path : {"C:\\Program Files\\smail.exe", "\"C:\\Program Files\\smail.exe\""}) {
        name = path;
        EXPECT_EQ(Refusal(false), "") << path;
        EXPECT_EQ(Args(false)[0], "C:\\Program Files\\smail.exe");
        EXPECT_EQ(Command(false).ToStart("C:\\Program Files\\smail.exe").Line.substr(0, 31),
                  "\"C:\\Program Files\\smail.exe\" -h");
    }
}

} // namespace
