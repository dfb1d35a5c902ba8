// Job-list lines and mail definition files.
#include "RunFixture.h"

#include <filesystem>

namespace {

class MailDefinitionTest : public RunFixture {
protected:
    // Parses a definition made of the given UTF-8 lines, named by job line "mails/d.txt,C1".
    TMail Parse(const std::vector<std::string>& lines)
    {
        folder.WriteLines("mails/d.txt", lines);
        const TJob job = ReadJobLine({"mails/d.txt,C1"}, 0, P());
        std::vector<std::string> read;
        retry.LoadLines(job.DefinitionPath, read);
        return ParseMailDefinition(read, job.DefinitionPath, P(), TBatchReader{retry});
    }
    TJob Job(const std::vector<std::string>& list, int index) { return ReadJobLine(list, index, P()); }
    std::vector<std::string> Mail(std::string recipients, std::string senders = "f@x", std::string attachments = "")
    {
        return {"log.txt", "host", recipients, senders, "subject", attachments};
    }
    std::string P() const { return folder.Cp932Path(); }
    bool stop = false;
    TRetryRules retry{clock, stop};
};

TEST_F(MailDefinitionTest, JobLineSplitsAtTheFirstCommaCharacterAware)
{
    WriteMail("a.txt");
    const std::vector<std::string> list = {"mails/a.txt,A01,extra", "mails/a.txt", "", ",A04", Sjis("mails/a.txt,ソ表,x"), "mails\\a.txt,B"};
    EXPECT_EQ(Job(list, 0).DefinitionPath, Native(P() + "mails/a.txt"));
    EXPECT_EQ(Job(list, 0).SendCode, "A01,extra");
    EXPECT_EQ(Job(list, 0).ResendLine(), Native(P() + "mails/a.txt") + ",A01,extra");
    EXPECT_EQ(Job(list, 1).DefinitionPath, "mails/a.txt"); // no comma: the whole line, unchanged
    EXPECT_EQ(Job(list, 1).SendCode, "");
    EXPECT_TRUE(Job(list, 2).Skipped());
    EXPECT_TRUE(Job(list, 3).Skipped());
    EXPECT_EQ(Utf8(Job(list, 4).SendCode), "ソ表,x");
    EXPECT_EQ(Job(list, 5).DefinitionPath, Native(P() + "mails/a.txt")); // Windows separators
    EXPECT_TRUE(Job(list, 6).Skipped()); // past the end
    EXPECT_EQ(Job(list, 6).Index, 6);
}

TEST_F(MailDefinitionTest, RelativePathRule)
{
    // Longer than two characters and not absolute by the platform's test: the
    // base goes in front. Windows looks for a drive letter alone, so a
    // "\\server\share" path is prefixed too.
    struct Case { std::string path, expected; };
    const std::string base = kWindows ? "C:\\base\\" : "/base/";
    std::vector<Case> cases = {
        {"ab", "ab"},
        {"abc", base + "abc"},
        {"jobs\\list.txt", base + Native("jobs/list.txt")},
        // A 0x5C that is the second byte of a double-byte character is no separator.
        {Sjis("ソ\\表.txt"), base + Native(Sjis("ソ/表.txt"))},
    };
    if (kWindows) {
        cases.push_back({"C:\\mail\\a.txt", "C:\\mail\\a.txt"});
        cases.push_back({"c:x.txt", "c:x.txt"});
        cases.push_back({"\\\\server\\share\\a.txt", base + "\\\\server\\share\\a.txt"});
        cases.push_back({"/abs/x", base + "\\abs\\x"});
    } else {
        cases.push_back({"/abs/x", "/abs/x"});
    }
    for (const Case& c : cases)
        EXPECT_EQ(ApplyRelativePathRule(c.path, base), c.expected) << c.path;
}

TEST_F(MailDefinitionTest, RecipientsEndAtTheFirstEmptyFieldAndKeepTheirBlanks)
{
    EXPECT_EQ(Parse(Mail("a@x,,b@x")).AddressList, "a@x");
    const TMail m = Parse(Mail("a@x, b@x\tc@x,ignored"));
    EXPECT_EQ(m.AddressList, "a@x, b@x,c@x");
    EXPECT_EQ(m.RecipientDisplay, "TO:a@x\tTO: b@x\tTO:c@x");
    // A full-width space (81 40) holds the byte of "@": it counts as a recipient.
    EXPECT_EQ(Parse(Mail(Sjis("山田　太郎"))).AddressList, Sjis("山田　太郎"));
}

TEST_F(MailDefinitionTest, CcAndBccFilesFollowTheToRecipients)
{
    folder.WriteLines("cc1.txt", {"c1@x", "#comment", "", "c2@x"});
    folder.WriteLines("cc2.txt", {"c3@x"});
    folder.WriteLines("bcc.txt", {"b@x"});
    auto m = Parse(Mail("t@x,>#cc cc1.txt,>#bcc  bcc.txt "));
    EXPECT_EQ(m.AddressList, "t@x,CC:c1@x,CC:c2@x,BCC:b@x");
    EXPECT_EQ(m.RecipientDisplay, "TO:t@x\tCC:c1@x\tCC:c2@x\tBCC:b@x");
    // A second CC file replaces the first; a missing one is ignored.
    m = Parse(Mail("t@x,>#cc cc1.txt,>#cc cc2.txt,>#cc missing.txt"));
    EXPECT_EQ(m.AddressList, "t@x,CC:c3@x");
    EXPECT_EQ(m.MissingFiles, std::vector<std::string>{P() + "missing.txt"});
    // Without a TO recipient nothing is built, CC files or not.
    m = Parse(Mail(">#cc cc1.txt"));
    EXPECT_EQ(m.AddressList, "");
    EXPECT_EQ(m.RecipientDisplay, "");
}

TEST_F(MailDefinitionTest, SenderFields)
{
    auto m = Parse(Mail("t@x", "a,b,c,d"));
    EXPECT_EQ(m.Sender1, "a");
    EXPECT_EQ(m.Sender2, "b");
    EXPECT_EQ(m.Sender3, "c\td");
    m = Parse(Mail("t@x", ",b"));
    EXPECT_EQ(m.Sender1, "");
    EXPECT_EQ(m.Sender2, "b");
    EXPECT_EQ(m.Sender3, "");
}

TEST_F(MailDefinitionTest, HostAndPerMailFolder)
{
    auto lines = Mail("t@x");
    lines[1] = "smtp.example.jp,mailfolders\\m1";
    folder.MakeFolder("mailfolders/m1");
    auto m = Parse(lines);
    EXPECT_EQ(m.Host, "smtp.example.jp");
    EXPECT_EQ(m.MailFolder, Native(P() + "mailfolders/m1/"));
    lines[1] = "h,"; // nothing after the comma: no per-mail folder
    EXPECT_EQ(Parse(lines).MailFolder, "");
    EXPECT_EQ(Parse(lines).Host, "h");
    // A folder that is the root of the file system counts as none: the mail
    // goes through the work folder.
    const std::vector<std::string> roots = kWindows ? std::vector<std::string>{"h,\\", "h,/", "h,C:\\", "h,C:\\..\\"}
                                                    : std::vector<std::string>{"h,\\", "h,/", "h,//", "h,/..", "h,\\..\\"};
    for (const std::string& root : roots) {
        SCOPED_TRACE(root);
        lines[1] = root;
        EXPECT_EQ(Parse(lines).MailFolder, "");
        EXPECT_EQ(Parse(lines).Host, "h");
    }
}

TEST_F(MailDefinitionTest, OutcomeLogIsRelativeToTheDefinitionsFolder)
{
    EXPECT_EQ(Parse(Mail("t@x")).OutcomeLogPath, Native(P() + "mails/log.txt"));
}

TEST_F(MailDefinitionTest, AttachmentsDirectAndFromAListFile)
{
    folder.WriteLines("list.csv", {"a.pdf,sub\\b.txt", "  ", Sjis("添付.doc")});
    auto m = Parse(Mail("t@x", "f", "*list.csv"));
    EXPECT_EQ(m.AttachmentList, "\"" + P() + "a.pdf\",\"" + Native(P() + "sub/b.txt") + "\",\"" + P() + Sjis("添付.doc") + "\"");
    EXPECT_EQ(m.AttachmentNames, "a.pdf\tb.txt\t" + Sjis("添付.doc"));
    // "*" and a file that is not a ".csv": that file is the attachment.
    m = Parse(Mail("t@x", "f", "*report.pdf"));
    EXPECT_EQ(m.AttachmentList, "\"" + P() + "report.pdf\"");
    const std::string abs = kWindows ? "C:\\abs\\one.txt" : "/abs/one.txt";
    m = Parse(Mail("t@x", "f", abs + ",two.txt"));
    EXPECT_EQ(m.AttachmentList, "\"" + abs + "\",\"" + P() + "two.txt\"");
    EXPECT_EQ(m.AttachmentNames, "one.txt\ttwo.txt");
}

TEST_F(MailDefinitionTest, SubjectAndBodyAreWidenedAndFiveLinesGiveAnEmptyMail)
{
    auto lines = Mail("t@x");
    lines[4] = "ｶﾞｷﾞｸ";
    lines.push_back("ﾊﾟﾋﾟ");
    lines.push_back("ascii line");
    const TMail m = Parse(lines);
    EXPECT_EQ(Utf8(m.Subject), "ガギク");
    EXPECT_EQ(BodyText(m), Sjis("パピ") + "\r\nascii line\r\n");
    EXPECT_FALSE(m.TooShort);
    // Exactly six lines: an empty body.
    EXPECT_EQ(BodyText(Parse(Mail("t@x"))), "");
    lines.resize(5);
    const TMail shortMail = Parse(lines);
    EXPECT_TRUE(shortMail.TooShort);
    EXPECT_EQ(shortMail.AddressList, "");
    EXPECT_EQ(shortMail.Host, "");
}

} // namespace
