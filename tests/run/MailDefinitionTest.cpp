// Job-list lines and mail definition files.
#include "RunFixture.h"

#include <filesystem>

namespace {

class MailDefinitionTest : public RunFixture {
protected:
    // Parses a definition made of the given UTF-8 lines, named by job line "mails/d.txt,C1".
    const TCurrentMail& Parse(const std::vector<std::string>& lines)
    {
        folder.WriteLines("mails/d.txt", lines);
        delivery.State().JobList = {"mails/d.txt,C1"};
        delivery.ReadJobLine(0);
        delivery.State().DefinitionLines.clear();
        delivery.LoadLines(delivery.CurrentJob().DefinitionPath, delivery.State().DefinitionLines);
        delivery.ParseMailDefinition();
        return delivery.CurrentMail();
    }
    std::vector<std::string> Mail(std::string recipients, std::string senders = "f@x", std::string attachments = "")
    {
        return {"log.txt", "host", recipients, senders, "subject", attachments};
    }
    std::string P() const { return folder.Cp932Path(); }
};

TEST_F(MailDefinitionTest, JobLineSplitsAtTheFirstCommaCharacterAware)
{
    WriteMail("a.txt");
    delivery.State().JobList = {"mails/a.txt,A01,extra", "mails/a.txt", "", ",A04", Sjis("mails/a.txt,ソ表,x"), "mails\\a.txt,B"};
    delivery.ReadJobLine(0);
    EXPECT_EQ(delivery.CurrentJob().DefinitionPath, Native(P() + "mails/a.txt"));
    EXPECT_EQ(delivery.CurrentJob().SendCode, "A01,extra");
    delivery.ReadJobLine(1); // no comma: the whole line, unchanged
    EXPECT_EQ(delivery.CurrentJob().DefinitionPath, "mails/a.txt");
    EXPECT_EQ(delivery.CurrentJob().SendCode, "");
    delivery.ReadJobLine(2);
    EXPECT_EQ(delivery.CurrentJob().DefinitionPath, "");
    delivery.ReadJobLine(3);
    EXPECT_EQ(delivery.CurrentJob().DefinitionPath, "");
    delivery.ReadJobLine(4);
    EXPECT_EQ(Utf8(delivery.CurrentJob().SendCode), "ソ表,x");
    delivery.ReadJobLine(5); // Windows separators
    EXPECT_EQ(delivery.CurrentJob().DefinitionPath, Native(P() + "mails/a.txt"));
    delivery.ReadJobLine(6); // past the end
    EXPECT_EQ(delivery.CurrentJob().DefinitionPath, "");
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
        EXPECT_EQ(TDelivery::ApplyRelativePathRule(c.path, base), c.expected) << c.path;
}

TEST_F(MailDefinitionTest, RecipientsEndAtTheFirstEmptyFieldAndKeepTheirBlanks)
{
    EXPECT_EQ(Parse(Mail("a@x,,b@x")).AddressList, "a@x");
    const auto& m = Parse(Mail("a@x, b@x\tc@x,ignored"));
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
    EXPECT_TRUE(folder.Exists("mailfolders/m1/body.txt"));
    lines[1] = "h,"; // nothing after the comma: no per-mail folder
    EXPECT_EQ(Parse(lines).MailFolder, "");
    EXPECT_EQ(delivery.CurrentMail().Host, "h");
    // A folder that is the root of the file system counts as none: the body
    // file goes to the work folder.
    const std::vector<std::string> roots = kWindows ? std::vector<std::string>{"h,\\", "h,/", "h,C:\\", "h,C:\\..\\"}
                                                    : std::vector<std::string>{"h,\\", "h,/", "h,//", "h,/..", "h,\\..\\"};
    for (const std::string& root : roots) {
        SCOPED_TRACE(root);
        lines[1] = root;
        EXPECT_EQ(Parse(lines).MailFolder, "");
        EXPECT_EQ(delivery.CurrentMail().Host, "h");
        EXPECT_TRUE(folder.Exists("temp/body.txt"));
    }
    EXPECT_FALSE(std::filesystem::exists("/body.txt"));
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

TEST_F(MailDefinitionTest, SubjectAndBodyAreWidenedAndTheBodyWritten)
{
    auto lines = Mail("t@x");
    lines[4] = "ｶﾞｷﾞｸ";
    lines.push_back("ﾊﾟﾋﾟ");
    lines.push_back("ascii line");
    const auto& m = Parse(lines);
    EXPECT_EQ(Utf8(m.Subject), "ガギク");
    EXPECT_EQ(folder.ReadBytes("temp/body.txt"), Sjis("パピ") + "\r\nascii line\r\n");
    EXPECT_EQ(delivery.State().DefinitionLines.size(), 2u);
    // Exactly six lines: an empty body file.
    Parse(Mail("t@x"));
    EXPECT_EQ(folder.ReadBytes("temp/body.txt"), "");
}

TEST_F(MailDefinitionTest, FiveLinesGiveStatusMinusOneAndAnEmptyMail)
{
    auto lines = Mail("t@x");
    lines.pop_back();
    Parse(Mail("t@x"));
    ASSERT_TRUE(folder.Exists("temp/body.txt"));
    const auto& m = Parse(lines);
    EXPECT_EQ(delivery.State().StatusCode, -1);
    EXPECT_EQ(m.AddressList, "");
    EXPECT_EQ(m.Host, "");
    // The mailer still runs for it: the earlier mail's body is gone.
    EXPECT_FALSE(folder.Exists("temp/body.txt"));
    // One that cannot be removed fails the body write.
    folder.MakeFolder("temp/body.txt/held");
    Parse(lines);
    EXPECT_EQ(delivery.State().StatusCode, 1);
    EXPECT_TRUE(delivery.State().Closing);
}

TEST_F(MailDefinitionTest, BodyThatCannotBeWrittenEndsTheProgram)
{
    folder.MakeFolder("temp/body.txt/inside"); // a folder survives the removal of the file
    Parse(Mail("t@x"));
    EXPECT_EQ(delivery.State().StatusCode, 1);
    EXPECT_TRUE(delivery.State().Closing);
    ASSERT_EQ(view.Lines("Warning:").size(), 1u);
    EXPECT_EQ(view.Lines("Warning:")[0], "Warning:警告:OSに不具合が発生しました。送信を中止します\r\nPCを再起動してください");
    EXPECT_EQ(view.log.back(), "CloseWindow");
    const std::string record = folder.ReadBytes("$mail_log.txt");
    EXPECT_EQ(record.size(), 14u + std::string(": System WriteError").size()); // no line end
    EXPECT_EQ(record.substr(0, 8), "20240305");
}

} // namespace
