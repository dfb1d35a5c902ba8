// The mailer command, and real mailer processes: what the mailer receives.
#include "RunFixture.h"

#include "jtext/MailJstr.h"
#include "support/FakeMailerRecord.h"

#include <cstdlib>
#include <filesystem>

namespace {

class MailerCommandTest : public RunFixture {
protected:
    void SetUp() override
    {
        folder.WriteLines("mails/d.txt", {"log.txt", "h1", "t1@x", "f1", "s1", ""});
        Load();
    }
    void Load()
    {
        delivery.State().JobList = {"mails/d.txt,C1"};
        delivery.ReadJobLine(0);
        delivery.State().DefinitionLines.clear();
        delivery.LoadLines(delivery.CurrentJob().DefinitionPath, delivery.State().DefinitionLines);
        delivery.ParseMailDefinition();
    }
    std::string Sender(const std::string& s)
    {
        delivery.State().EncodeSenderName = true;
        return delivery.EncodeSender(s);
    }
};

TEST_F(MailerCommandTest, NormalAndBatchCommands)
{
    EXPECT_EQ(delivery.BuildCommand(false), "smail.exe -hh1 -ff1 -s\"s1\" -m -Fbody.txt t1@x -t");
    EXPECT_EQ(delivery.BuildCommand(true), "smail.exe -d -hh1 -ff1 -s\"s1\" -m -Fbody.txt t1@x  > $log.txt");
    delivery.Settings().NoTopt = 1;
    EXPECT_EQ(delivery.BuildCommand(false), "smail.exe -hh1 -ff1 -s\"s1\" -m -Fbody.txt t1@x ");
    EXPECT_EQ(delivery.BuildCommand(true), "smail.exe -d -hh1 -ff1 -s\"s1\" -m -Fbody.txt t1@x  > $log.txt");
}

TEST_F(MailerCommandTest, PiecesAreTrimmedButTestedUntrimmed)
{
    folder.WriteLines("mails/d.txt", {"log.txt", "   ", " t@x ", " a ,b ,c ", " s ", "x.txt"});
    Load();
    EXPECT_EQ(delivery.BuildCommand(false),
              "smail.exe -h -fa -rb -nc -s\"s\" -a\"" + folder.Cp932Path() + "x.txt\" -m -Fbody.txt t@x -t");
}

TEST_F(MailerCommandTest, EmptyMailStillHasTheFixedPieces)
{
    delivery.State().DefinitionLines = {"only", "three", "lines"};
    delivery.ParseMailDefinition();
    EXPECT_EQ(delivery.BuildCommand(false), "smail.exe -m -Fbody.txt -t");
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
    delivery.State().EncodeSenderName = false;
    EXPECT_EQ(delivery.EncodeSender(quoted), quoted);
}

// Real processes: the fake mailer records what it receives.
class RealMailerTest : public ::testing::Test {
protected:
    RealMailerTest() : view(virtualClock), delivery(folder.Cp932Path(), view, clock, mailer)
    {
        folder.MakeFolder("temp");
        record = folder.Path() + "record.txt";
        setenv("FAKE_MAILER_RECORD", record.c_str(), 1);
        unsetenv("FAKE_MAILER_EXIT");
        unsetenv("FAKE_MAILER_SIGNAL");
        unsetenv("FAKE_MAILER_PRINT");
        delivery.Settings().Name = FakeMailerPath();
        delivery.ParseCommandLine({});
    }
    ~RealMailerTest() override { std::filesystem::current_path("/"); }

    FakeMailerRun SendOne(const std::vector<std::string>& definitionUtf8, bool batch)
    {
        folder.WriteLines("mails/d.txt", definitionUtf8);
        delivery.State().BatchMode = batch;
        delivery.State().JobList = {"mails/d.txt,C1"};
        delivery.ReadJobLine(0);
        delivery.State().StatusCode = 0;
        delivery.State().DefinitionLines.clear();
        delivery.LoadLines(delivery.CurrentJob().DefinitionPath, delivery.State().DefinitionLines);
        delivery.ParseMailDefinition();
        delivery.SendMail();
        const auto runs = ReadFakeMailerRecords(record);
        return runs.empty() ? FakeMailerRun{} : runs.back();
    }

    TTempFolder folder;
    TSystemClock clock;
    TVirtualClock virtualClock; // unused by the run; the view only records
    TRecordingView view;
    TSystemMailerProcess mailer;
    TDelivery delivery;
    std::string record;
};

TEST_F(RealMailerTest, ArgumentsReachTheMailerAsBytesInBothModes)
{
    const std::vector<std::string> mail = {"log.txt", "h1", "t1@x,t2@x", "f1", "件名 ｶﾅ", ""};
    for (bool batch : {false, true}) {
        SCOPED_TRACE(batch ? "batch" : "normal");
        const auto run = SendOne(mail, batch);
        std::vector<std::string> expected = {"-hh1", "-ff1", "-s" + Sjis("件名 カナ"), "-m", "-Fbody.txt", "t1@x,t2@x"};
        if (batch)
            expected.insert(expected.begin(), "-d");
        else
            expected.push_back("-t");
        ASSERT_FALSE(run.args.empty());
        EXPECT_EQ(std::vector<std::string>(run.args.begin() + 1, run.args.end()), expected);
        EXPECT_EQ(run.cwd + "/", folder.Path() + "temp/");
        EXPECT_EQ(run.batchFilePresent, batch);
        EXPECT_EQ(run.body.value_or("?"), "");
        EXPECT_EQ(delivery.State().StatusCode, 0);
        EXPECT_EQ(run.nullIo.substr(0, 1), "1");
        EXPECT_TRUE(run.ownSession);
    }
    // Batch mode sets TZ for the mailer; normal mode passes the program's own.
    setenv("TZ", "UTC0", 1);
    EXPECT_EQ(SendOne(mail, false).tz.value_or(""), "UTC0");
    EXPECT_EQ(SendOne(mail, true).tz.value_or(""), "JST-9");
    unsetenv("TZ");
    EXPECT_FALSE(folder.Exists("temp/$mail.bat"));
}

TEST_F(RealMailerTest, NoShellEverSeesTheMailTexts)
{
    const std::string evil = "$(touch PWNED)`touch PWNED2`;touch PWNED3|cat&>PWNED4'\"";
    const std::vector<std::string> mail = {"log.txt", evil, evil + "@x", evil, evil, evil};
    for (bool batch : {false, true}) {
        SCOPED_TRACE(batch ? "batch" : "normal");
        const auto run = SendOne(mail, batch);
        ASSERT_GE(run.args.size(), 3u);
        // The host piece arrives whole as far as the command-line rules allow; no file appears.
        EXPECT_EQ(run.args[batch ? 2 : 1], "-h$(touch");
        for (const char* f : {"PWNED", "PWNED2", "PWNED3", "PWNED4"}) {
            EXPECT_FALSE(folder.Exists(std::string("temp/") + f)) << f;
            EXPECT_FALSE(std::filesystem::exists(f)) << f;
        }
    }
}

TEST_F(RealMailerTest, ExitCodesSignalsAndMissingMailer)
{
    const std::vector<std::string> mail = {"log.txt", "h", "t@x", "f", "s", ""};
    setenv("FAKE_MAILER_EXIT", "3", 1);
    SendOne(mail, false);
    EXPECT_EQ(delivery.State().StatusCode, 3);
    unsetenv("FAKE_MAILER_EXIT");
    setenv("FAKE_MAILER_SIGNAL", "9", 1);
    SendOne(mail, false);
    EXPECT_EQ(delivery.State().StatusCode, 137);
    unsetenv("FAKE_MAILER_SIGNAL");
    delivery.Settings().Name = "no-such-mailer.exe";
    SendOne(mail, false);
    EXPECT_EQ(delivery.State().StatusCode, -1);
    // A definition too short still runs the mailer and keeps -1 on exit code 0.
    delivery.Settings().Name = FakeMailerPath();
    const auto run = SendOne({"a", "b"}, false);
    EXPECT_EQ(delivery.State().StatusCode, -1);
    EXPECT_EQ(std::vector<std::string>(run.args.begin() + 1, run.args.end()),
              (std::vector<std::string>{"-m", "-Fbody.txt", "-t"}));
}

TEST_F(RealMailerTest, BatchModeCopiesTheOutputIntoTheMailLog)
{
    setenv("FAKE_MAILER_PRINT", "line one\nline two\n", 1);
    SendOne({"log.txt", "h", "t@x", "f", "s", ""}, true);
    unsetenv("FAKE_MAILER_PRINT");
    const std::string cmd = delivery.BuildCommand(true);
    EXPECT_EQ(folder.ReadBytes("$mail_log.txt"), "#Cmd:\r\n" + cmd + "\r\n#Res:\r\nline one\r\nline two\r\n");
    EXPECT_FALSE(folder.Exists("temp/$log.txt"));
    EXPECT_FALSE(folder.Exists("temp/$mail.bat"));
}

TEST_F(RealMailerTest, WorkFolderThatCannotBeEnteredFailsTheMailWithoutRunningIt)
{
    delivery.State().WorkFolder = folder.Cp932Path() + "gone/";
    folder.WriteLines("mails/d.txt", {"log.txt", "h", "t@x", "f", "s", ""});
    delivery.State().DefinitionLines = {"log.txt", "h", "t@x", "f", "s", ""};
    delivery.SendMail();
    EXPECT_EQ(delivery.State().StatusCode, -1);
    EXPECT_TRUE(ReadFakeMailerRecords(record).empty());
}

} // namespace
