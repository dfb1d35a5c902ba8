// Job lists and mail definitions with bytes no one meant to put there: NUL
// bytes, CR-only line ends, lines of several megabytes, broken Shift_JIS.
// Each has a defined outcome, and every mail run has its one result line.
#include "FaultSupport.h"

namespace {

using namespace faults;

class HostileInputTest : public ::testing::Test {
protected:
    void Definition(const std::string& name, const std::vector<std::string>& lines)
    {
        std::string bytes;
        for (const std::string& line : lines)
            bytes += line + "\r\n";
        folder.WriteBytes("mails/" + name, bytes);
    }
    TProgramFolder folder;
};

TEST_F(HostileInputTest, CrOnlyLineEndsAndNulBytes)
{
    Definition("a.txt", {"../out.txt", "host", "to@example.jp", "from@example.jp", std::string("sub\0ject", 8), ""});
    Definition("b.txt", {"../out.txt", "host", "to@example.jp", "from@example.jp", "s", "",
                         std::string("body\0with nul", 13)});
    // CR-only line ends; a NUL in a send code, and one inside a path: such a
    // path names no file, so its line is skipped.
    folder.WriteBytes("jobs.txt", std::string("mails/a.txt,C\0A\rmails/b.txt,CB\rmails/b.txt\0junk,CC\r", 51));
    const auto r = RunProgram(folder, {"/P", "jobs.txt", "/i"});
    EXPECT_EQ(r.exitCode, 0);
    // A NUL in a field would cut the command short: that mail fails without
    // the mailer and still has its result line.
    const auto runs = ReadFakeMailerRecords(folder.RecordPath());
    ASSERT_EQ(runs.size(), 1u);
    const auto lines = RawLines(folder.ReadBytes("$mail_result.csv"));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(ResultField(lines[0], 4), "-1");
    EXPECT_EQ(ResultField(lines[1], 4), "0");
    // The body keeps its bytes.
    EXPECT_EQ(runs[0].body.value_or(""), std::string("body\0with nul\r\n", 15));
}

TEST_F(HostileInputTest, LinesOfSeveralMegabytes)
{
    const std::string huge(4 << 20, 'x');
    // A 4 MB body line is sent; a 4 MB subject cannot be passed to any program
    // (an argument that long is refused by the system): the mail fails with -1.
    Definition("body.txt", {"../out.txt", "host", "to@example.jp", "from@example.jp", "s", "", huge});
    Definition("subject.txt", {"../out.txt", "host", "to@example.jp", "from@example.jp", huge, ""});
    folder.WriteBytes("jobs.txt", "mails/body.txt,C1\r\nmails/subject.txt,C2\r\n" + huge + ",C3\r\n");
    const auto r = RunProgram(folder, {"/P", "jobs.txt", "/i"});
    EXPECT_EQ(r.exitCode, 255);
    const auto runs = ReadFakeMailerRecords(folder.RecordPath());
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].body.value_or("").size(), huge.size() + 2);
    const auto lines = RawLines(folder.ReadBytes("$mail_result.csv"));
    ASSERT_EQ(lines.size(), 2u); // the over-long path names no file: skipped
    EXPECT_EQ(ResultField(lines[0], 4), "0");
    EXPECT_EQ(ResultField(lines[1], 4), "-1");
}

TEST_F(HostileInputTest, BrokenShiftJis)
{
    // Lead bytes without a trail byte at the ends of lines and before
    // separators, bytes that are never Shift_JIS (0x80, 0xA0, 0xFD to 0xFF).
    Definition("c.txt", {"../out.txt", "host\x81", "to@example.jp\x82,cc\x83", "from@example.jp\xFF", "\x80\xA0\xFD\xFE\xFF\x82", "",
                         "\x82\r\x82"});
    folder.WriteBytes("jobs.txt", "mails/c.txt,C\x81\r\nmails/c.txt\x82,C2\r\nmails/c.txt,\x82\r\n");
    const auto r = RunProgram(folder, {"/P", "jobs.txt", "/i"});
    EXPECT_EQ(r.exitCode, 0);
    // A lead byte never swallows the comma after it: the second line's path
    // names no file, so that line is skipped.
    ExpectOneResultLinePerMail(folder, 2);
    const auto lines = RawLines(folder.ReadBytes("$mail_result.csv"));
    ASSERT_EQ(lines.size(), 2u);
    // Status fields, byte-wise (they come before any broken value).
    auto status = [](const std::string& line) {
        const std::size_t third = line.find(',', line.find(',', line.find(',') + 1) + 1);
        return line.substr(third + 1, line.find(',', third + 1) - third - 1);
    };
    EXPECT_EQ(status(lines[0]), "0");
    EXPECT_EQ(status(lines[1]), "0");
    EXPECT_NE(lines[1].find(",\x82,"), std::string::npos); // the send code kept as it is
    const auto runs = ReadFakeMailerRecords(folder.RecordPath());
    ASSERT_EQ(runs.size(), 2u);
    // Each value whole, its lone lead byte included; nothing runs together.
    EXPECT_EQ(runs[0].args[1], "-hhost\x81");
    EXPECT_EQ(runs[0].args[3], "-s\x80\xA0\xFD\xFE\xFF\x82");
    EXPECT_EQ(runs[0].args[6], "to@example.jp\x82"); // cc\x83 has no "@"
}

} // namespace
