// Whole runs of the built program: the write-failure path, the automatic
// resend, per-mail folders and Windows-style paths.
#include "support/FakeMailerRecord.h"
#include "support/ProgramRun.h"

#include <gtest/gtest.h>

#include "platform/InstanceMarker.h"

#include <filesystem>
#include <thread>

namespace {

class RunEndToEndTest : public ::testing::Test {
protected:
    void WriteJobs(int n)
    {
        std::vector<std::string> jobs;
        for (int k = 1; k <= n; ++k) {
            const std::string name = "m" + std::to_string(k) + ".txt";
            folder.WriteLines("mails/" + name, {"..\\logs\\out.txt", "host", "to@example.jp", "from@example.jp", "件名", ""});
            jobs.push_back("mails\\" + name + ",C" + std::to_string(k));
        }
        folder.WriteLines("jobs.txt", jobs);
        folder.MakeFolder("logs");
    }
    std::vector<std::string> Results() const { return ReadUtf8Lines(folder.Path() + "$mail_result.csv"); }
    TProgramFolder folder;
};

TEST_F(RunEndToEndTest, BodyThatCannotBeWrittenEndsWithOneAndARecord)
{
    WriteJobs(2);
    folder.MakeFolder("temp/body.txt/blocked"); // a folder where the body file belongs
    const auto r = folder.Run({"/P", "jobs.txt", "/i"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.stdErr.find("OSに不具合が発生しました。送信を中止します"), std::string::npos) << r.stdErr;
    EXPECT_TRUE(ReadFakeMailerRecords(folder.RecordPath()).empty());
    // The record names the file and the system's reason, and ends its line.
    const std::string record = folder.ReadBytes("$mail_log.txt");
    EXPECT_EQ(record.substr(14), ": System WriteError " + folder.Path() + "temp/body.txt: Is a directory\r\n");
    EXPECT_NE(r.stdErr.find("書き込めません: " + folder.Path() + "temp/body.txt: Is a directory"), std::string::npos) << r.stdErr;
    EXPECT_TRUE(Results().empty());
}

TEST_F(RunEndToEndTest, AutoResendLeavesOneMarkedLineAndItsStatus)
{
    WriteJobs(3);
    const auto r = folder.Run({"/P", "jobs.txt", "/i", "/r"}, 60000, {"FAKE_MAILER_EXIT_SEQ=0,4,0,6"});
    EXPECT_EQ(r.exitCode, 6);
    const auto lines = Results();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(",6,送信異常（再送分）,"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find(",4,C2,"), std::string::npos) << lines[0]; // the counter goes on
    // The outcome log keeps every line, the first run's and the resend's.
    EXPECT_EQ(ReadUtf8Lines(folder.Path() + "logs/out.txt").size(), 4u);
}

TEST_F(RunEndToEndTest, AutoResendWithKeepOpenStaysOpen)
{
    WriteJobs(2);
    const int pid = folder.Start({"/P", "jobs.txt", "/i", "/r", "/e"}, {"FAKE_MAILER_EXIT_SEQ=5,0,0"});
    // Once the resend line is there, the program still runs.
    for (int i = 0; i < 400 && Results().size() != 1; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    ASSERT_EQ(Results().size(), 1u);
    EXPECT_EQ(folder.Wait(pid, 800).exitCode, -1); // killed at the deadline: it was open
}

TEST_F(RunEndToEndTest, PerMailFolderBecomesTheWorkFolderForThatMail)
{
    folder.MakeFolder("logs");
    folder.MakeFolder("per\\mail");
    folder.MakeFolder("per/mail");
    folder.WriteLines("mails/a.txt", {"..\\logs\\out.txt", "host,per\\mail", "to@example.jp", "f", "s", "", "body a"});
    folder.WriteLines("mails/b.txt", {"..\\logs\\out.txt", "host", "to@example.jp", "f", "s", "", "body b"});
    folder.WriteLines("jobs.txt", {"mails\\a.txt,A", "mails/b.txt,B"});
    ASSERT_EQ(folder.Run({"/P", "jobs.txt", "/i"}).exitCode, 0);
    const auto runs = ReadFakeMailerRecords(folder.RecordPath());
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].cwd + "/", folder.Path() + "per/mail/");
    EXPECT_EQ(runs[0].body.value_or(""), "body a\r\n");
    EXPECT_EQ(runs[1].cwd + "/", folder.Path() + "temp/");
    EXPECT_EQ(ReadUtf8Lines(folder.Path() + "logs/out.txt").size(), 2u);
}

TEST_F(RunEndToEndTest, SecondInstanceEndsAtOnceAndTouchesNothing)
{
    WriteJobs(1);
    // Nothing to resend, then open until closed.
    const int first = folder.Start({"/r", "/e"});
    // Wait until the first one holds the instance marker.
    const std::string marker = platform::MarkerFilePath("Ident8957");
    auto holdsMarker = [&] {
        std::error_code ec;
        for (const auto& fd : std::filesystem::directory_iterator("/proc/" + std::to_string(first) + "/fd", ec))
            if (std::filesystem::read_symlink(fd.path(), ec) == marker)
                return true;
        return false;
    };
    for (int i = 0; i < 1000 && !holdsMarker(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(holdsMarker());
    const auto second = folder.Run({"/P", "jobs.txt", "/i"}, 10000);
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_EQ(second.stdErr.rfind("すでに起動されています\n", 0), 0u) << second.stdErr;
    EXPECT_TRUE(ReadFakeMailerRecords(folder.RecordPath()).empty());
    EXPECT_FALSE(folder.Exists("$mail_result.csv"));
    EXPECT_FALSE(folder.Exists("Tarnwick.ini"));
    folder.Wait(first, 10);
}

} // namespace
