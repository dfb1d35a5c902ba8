// Real mailer processes: what the fake mailer receives from a delivery run, in
// normal mode and in batch mode (through the shell, or cmd.exe on Windows).
#include "run/RunEnvironment.h"
#include "run/TDelivery.h"

#include "platform/Process.h"
#include "support/FakeMailerRecord.h"
#include "support/RunFakes.h"
#include "support/TempFolder.h"
#include "support/TestSystem.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

// Real processes: the fake mailer records what it receives.
class RealMailerTest : public ::testing::Test {
protected:
    RealMailerTest() : view(virtualClock), delivery(folder.Cp932Path(), view, clock, mailer)
    {
        folder.MakeFolder("temp");
        record = folder.Path() + "record.txt";
        SetEnvironment("FAKE_MAILER_RECORD", record.c_str());
        for (const char* key : {"FAKE_MAILER_EXIT", "FAKE_MAILER_SIGNAL", "FAKE_MAILER_PRINT"})
            SetEnvironment(key, nullptr);
        delivery.Settings().Name = Native(FakeMailerPath());
        delivery.ParseCommandLine({});
    }
    ~RealMailerTest() override { std::filesystem::current_path(std::filesystem::temp_directory_path()); }

    FakeMailerRun SendOne(const std::vector<std::string>& definitionUtf8, bool batch)
    {
        folder.WriteLines("mails/d.txt", definitionUtf8);
        return Send(batch);
    }
    // A run of the one mail mails/d.txt; what the mailer saw last.
    FakeMailerRun Send(bool batch)
    {
        delivery.Options().BatchMode = batch;
        delivery.State().JobList = {"mails/d.txt,C1"};
        delivery.RunDelivery();
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
        EXPECT_EQ(Native(run.cwd + "/"), Native(folder.Cp932Path() + "temp/"));
        EXPECT_EQ(run.batchFilePresent, batch);
        EXPECT_EQ(run.body.value_or("?"), "");
        EXPECT_EQ(delivery.StatusCode(), 0);
        if (!kWindows) { // hidden: no terminal, a session of its own
            EXPECT_EQ(run.nullIo.substr(0, 1), "1");
            EXPECT_TRUE(run.ownSession);
        }
    }
    // Batch mode sets TZ for the mailer; normal mode passes the program's own.
    SetEnvironment("TZ", "UTC0");
    EXPECT_EQ(SendOne(mail, false).tz.value_or(""), "UTC0");
    EXPECT_EQ(SendOne(mail, true).tz.value_or(""), "JST-9");
    SetEnvironment("TZ", nullptr);
    EXPECT_FALSE(folder.Exists("temp/$mail.bat"));
}

TEST_F(RealMailerTest, NoShellEverSeesTheMailTexts)
{
    const std::string evil = "$(touch PWNED)`touch PWNED2`;touch PWNED3|cat&>PWNED4'\"";
    const std::string noBlanks = "$(touch${IFS}PWNED)`touch${IFS}PWNED2`;touch${IFS}PWNED3|cat&>PWNED4'";
    const std::vector<std::string> mail = {"log.txt", noBlanks, noBlanks + "@x", noBlanks, evil, ""};
    for (bool batch : {false, true}) {
        SCOPED_TRACE(batch ? "batch" : "normal");
        const std::size_t before = ReadFakeMailerRecords(record).size();
        const auto run = SendOne(mail, batch);
        if (kWindows && batch) {
            // cmd.exe would act on "&", "|" and ">": such a mail is refused.
            EXPECT_EQ(delivery.StatusCode(), -1);
            EXPECT_EQ(ReadFakeMailerRecords(record).size(), before);
            continue;
        }
        ASSERT_GE(run.args.size(), 5u);
        EXPECT_EQ(run.args[batch ? 2 : 1], "-h" + noBlanks);
        EXPECT_EQ(run.args[batch ? 4 : 3], "-s" + evil);
        for (const char* f : {"PWNED", "PWNED2", "PWNED3", "PWNED4"}) {
            EXPECT_FALSE(folder.Exists(std::string("temp/") + f)) << f;
            EXPECT_FALSE(std::filesystem::exists(f)) << f;
        }
    }
}

// A mail refused for its command: status -1, the mailer never starts, the
// trace log says why, and in batch mode the mail log too.
TEST_F(RealMailerTest, RefusedMailNeverStartsTheMailer)
{
    delivery.Settings().EnableTrace = 1;
    delivery.StartTrace();
    const std::vector<std::string> mail = {"log.txt", "h", "a@x.jp", "f@x.jp", "27\" monitor", ""};
    for (bool batch : {false, true}) {
        SCOPED_TRACE(batch ? "batch" : "normal");
        // Only the NUL differs from a mail that is sent.
        SendOne(mail, batch);
        EXPECT_EQ(delivery.StatusCode(), 0);
        folder.WriteBytes("mails/d.txt", std::string("log.txt\r\nh\r\na@x.jp,b@x.jp\0,c@x.jp\r\nf@x.jp\r\ns\r\n\r\n", 48));
        const std::size_t before = ReadFakeMailerRecords(record).size();
        Send(batch);
        EXPECT_EQ(delivery.StatusCode(), -1);
        EXPECT_EQ(ReadFakeMailerRecords(record).size(), before);
        EXPECT_NE(folder.ReadBytes("TraceMailLog.txt").find("Smail Refused:a field of the mail holds a NUL byte"),
                  std::string::npos);
        EXPECT_FALSE(folder.Exists("temp/$mail.bat"));
    }
    const std::string log = folder.ReadBytes("$mail_log.txt");
    EXPECT_NE(log.find("a@x.jp,b@x.jp<NUL>,c@x.jp  > $log.txt\r\n#Refused:\r\na field of the mail holds a NUL byte\r\n"),
              std::string::npos);
}

TEST_F(RealMailerTest, ExitCodesSignalsAndMissingMailer)
{
    const std::vector<std::string> mail = {"log.txt", "h", "t@x", "f", "s", ""};
    for (const bool batch : {false, true}) {
        SetEnvironment("FAKE_MAILER_EXIT", "3");
        SendOne(mail, batch);
        EXPECT_EQ(delivery.StatusCode(), 3);
        SetEnvironment("FAKE_MAILER_EXIT", nullptr);
    }
    if (!kWindows) {
        SetEnvironment("FAKE_MAILER_SIGNAL", "9");
        SendOne(mail, false);
        EXPECT_EQ(delivery.StatusCode(), 137);
        SetEnvironment("FAKE_MAILER_SIGNAL", nullptr);
    }
    delivery.Settings().Name = "no-such-mailer.exe";
    SendOne(mail, false);
    EXPECT_EQ(delivery.StatusCode(), -1);
    // A definition too short still runs the mailer and keeps -1 on exit code 0.
    delivery.Settings().Name = Native(FakeMailerPath());
    const auto run = SendOne({"a", "b"}, false);
    EXPECT_EQ(delivery.StatusCode(), -1);
    EXPECT_EQ(std::vector<std::string>(run.args.begin() + 1, run.args.end()),
              (std::vector<std::string>{"-m", "-Fbody.txt", "-t"}));
}

TEST_F(RealMailerTest, BatchModeCopiesTheOutputIntoTheMailLog)
{
    SetEnvironment("FAKE_MAILER_PRINT", "line one\nline two\n");
    SendOne({"log.txt", "h", "t@x", "f", "s", ""}, true);
    SetEnvironment("FAKE_MAILER_PRINT", nullptr);
    const std::string cmd = Native(FakeMailerPath()) + " -d -hh -ff -s\"s\" -m -Fbody.txt t@x  > $log.txt";
    EXPECT_EQ(folder.ReadBytes("$mail_log.txt"), "#Cmd:\r\n" + cmd + "\r\n#Res:\r\nline one\r\nline two\r\n");
    EXPECT_FALSE(folder.Exists("temp/$log.txt"));
    EXPECT_FALSE(folder.Exists("temp/$mail.bat"));
}

// A work folder named relative to where the program was started (two
// characters stay relative): every mail runs there, and the program's own
// current folder never moves, so the next body file lands there too.
TEST_F(RealMailerTest, ARelativeWorkFolderServesEveryMailOfTheRun)
{
    std::filesystem::current_path(folder.Path());
    folder.MakeFolder("w2");
    delivery.ParseCommandLine({"/f", "w2"});
    ASSERT_EQ(delivery.Options().WorkFolder, Native("w2/"));
    folder.WriteLines("mails/d.txt", {"log.txt", "h", "t@x", "f", "s", "", "body"});
    delivery.State().JobList = {"mails/d.txt,C1", "mails/d.txt,C2", "mails/d.txt,C3"};
    for (const bool batch : {false, true}) {
        delivery.Options().BatchMode = batch;
        delivery.RunDelivery();
        EXPECT_EQ(delivery.StatusCode(), 0);
    }
    const auto runs = ReadFakeMailerRecords(record);
    ASSERT_EQ(runs.size(), 6u);
    for (const FakeMailerRun& run : runs) {
        EXPECT_TRUE(std::filesystem::equivalent(run.cwd, folder.Path() + "w2")) << run.cwd;
        EXPECT_EQ(run.body.value_or("?"), "body\r\n");
    }
    EXPECT_TRUE(std::filesystem::equivalent(std::filesystem::current_path(), folder.Path() + "."));
}

// The mailer is looked for once, and again after a mail that did not go: one
// that moved along PATH is found there.
TEST_F(RealMailerTest, AMailerThatMovesIsFoundAgain)
{
    const std::string file = std::string("tarn_moving_mailer") + (kWindows ? ".exe" : ""), sep = kWindows ? ";" : ":";
    folder.MakeFolder("a");
    folder.MakeFolder("b");
    std::filesystem::copy_file(FakeMailerPath(), folder.Path() + "a/" + file);
    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    SetEnvironment("PATH", (Native(folder.Path() + "a") + sep + Native(folder.Path() + "b") + sep + oldPath).c_str());
    delivery.Settings().Name = "tarn_moving_mailer";
    const std::vector<std::string> mail = {"log.txt", "h", "t@x", "f", "s", ""};
    for (const bool batch : {false, true}) {
        SendOne(mail, batch);
        EXPECT_EQ(delivery.StatusCode(), 0);
        std::filesystem::rename(folder.Path() + (batch ? "b/" : "a/") + file, folder.Path() + (batch ? "a/" : "b/") + file);
        SendOne(mail, batch); // may fail: the mailer is no longer where it was found
        SendOne(mail, batch);
        EXPECT_EQ(delivery.StatusCode(), 0);
    }
    SetEnvironment("PATH", oldPath.c_str());
}

} // namespace
