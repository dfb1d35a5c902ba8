// The built program: its exit codes, its files and its settings, end to end.
#include "support/FakeMailerRecord.h"
#include "support/ProgramRun.h"

#include <gtest/gtest.h>

namespace {

class ExitCodeTest : public ::testing::Test {
protected:
    void WriteJobs(int n, const std::string& jobFile = "jobs.txt")
    {
        std::vector<std::string> jobs;
        for (int k = 1; k <= n; ++k) {
            const std::string name = "m" + std::to_string(k) + ".txt";
            folder.WriteLines("mails/" + name, {"out.txt", "host", "to@example.jp", "from@example.jp", "件名", "", "本文"});
            jobs.push_back("mails/" + name + ",C" + std::to_string(k));
        }
        folder.WriteLines(jobFile, jobs);
    }
    TProgramFolder folder;
};

TEST_F(ExitCodeTest, RefusedStartsCloseAfterAboutATenthOfASecondWithOne)
{
    WriteJobs(1);
    const std::vector<std::vector<std::string>> refused = {
        {"/e"}, {"/P", "missing.txt"}, {"/p", "jobs.txt"}, {"/m", "/P", "jobs.txt"}, {"/P", "jobs.txt", "/f", "nowhere"}};
    for (const auto& args : refused) {
        const auto r = folder.Run(args, 20000);
        EXPECT_EQ(r.exitCode, 1) << args[0];
        EXPECT_LT(r.seconds, 5.0);
    }
    EXPECT_TRUE(ReadFakeMailerRecords(folder.RecordPath()).empty());
}

TEST_F(ExitCodeTest, ConversionErrorIsReportedAndEndsWithOne)
{
    WriteJobs(1);
    const auto r = folder.Run({"/P", "jobs.txt", "/t", "abc"}, 20000);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.stdErr.find("'abc' は浮動小数点数ではありません"), std::string::npos) << r.stdErr;
    EXPECT_TRUE(ReadFakeMailerRecords(folder.RecordPath()).empty());
}

TEST_F(ExitCodeTest, ExitCodeIsTheLastMailsStatus)
{
    WriteJobs(3);
    auto r = folder.Run({"/P", "jobs.txt", "/i"}, 30000, {"FAKE_MAILER_EXIT_SEQ=2,0,3"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(ReadUtf8Lines(folder.Path() + "$mail_result.csv").size(), 3u);
    r = folder.Run({"/P", "jobs.txt", "/i"}, 30000, {"FAKE_MAILER_EXIT_SEQ=3,0"});
    EXPECT_EQ(r.exitCode, 0);
    // -1 (no mailer) is reported as all bits set: 255.
    folder.WriteBytes("Tarnwick.ini", "[Mail]\r\nName=no-such-mailer\r\n");
    r = folder.Run({"/P", "jobs.txt", "/i"}, 30000);
    EXPECT_EQ(r.exitCode, 255);
}

// Every way of starting without a job to do says so and ends; none waits.
TEST_F(ExitCodeTest, StartsWithoutAJobSayWhyAndEnd)
{
    WriteJobs(1);
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string said; // the start of standard error
    };
    const std::vector<Case> cases = {
        {{}, 1, "使い方: Tarnwick /P"},                   // no display: nobody could close a window
        {{"--help"}, 0, "使い方: Tarnwick /P"},
        {{"/?"}, 0, "使い方: Tarnwick /P"},
        {{"/i"}, 1, "ジョブリストの指定（/P ファイル）がありません"},
        {{"/P", "nothing.txt"}, 1, "ジョブリストがありません: " + folder.Path() + "nothing.txt"},
        {{"/P", "jobs.txt", "/f", "gone"}, 1, "作業フォルダがありません: " + folder.Path() + "gone/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.empty() ? "(none)" : c.args[0]);
        const auto r = folder.Run(c.args, 10000);
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_EQ(r.stdErr.rfind(c.said, 0), 0u) << r.stdErr;
    }
    EXPECT_TRUE(ReadFakeMailerRecords(folder.RecordPath()).empty());
}

TEST_F(ExitCodeTest, SettingsAfterTheFirstCloseAndHandEditedKeysSurvive)
{
    WriteJobs(1);
    ASSERT_EQ(folder.Run({"/P", "jobs.txt", "/i"}).exitCode, 0);
    EXPECT_EQ(folder.ReadBytes("Tarnwick.ini"), "[Pos]\r\nTop=0\r\nLeft=0\r\n");

    const std::string edited = "; mine\r\n[Mail]\r\nName = smail.exe\r\nEnableTrace=0\r\nNoTopt=1\r\n\r\n[Pos]\r\nTop=0\r\nLeft=0\r\n";
    folder.WriteBytes("Tarnwick.ini", edited);
    ASSERT_EQ(folder.Run({"/P", "jobs.txt", "/i"}).exitCode, 0);
    EXPECT_EQ(folder.ReadBytes("Tarnwick.ini"), edited);
    // NoTopt: the directly run mailer gets no -t.
    const auto runs = ReadFakeMailerRecords(folder.RecordPath());
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].args.back(), "-t");
    EXPECT_NE(runs[1].args.back(), "-t");
}

TEST_F(ExitCodeTest, TraceLogWhenEnabled)
{
    WriteJobs(1);
    folder.WriteBytes("Tarnwick.ini", "[Mail]\r\nEnableTrace=1\r\n");
    ASSERT_EQ(folder.Run({"/P", "jobs.txt", "/i"}).exitCode, 0);
    const auto lines = ReadUtf8Lines(folder.Path() + "TraceMailLog.txt");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "<<Trace Start>>");
    EXPECT_NE(lines[1].find(" Smail Execute:smail.exe -hhost "), std::string::npos) << lines[1];
    EXPECT_EQ(lines[2].substr(20), "Smail Done:0");
}

TEST_F(ExitCodeTest, TraceLogThatCannotBeWrittenAbandonsTheRunWithANonZeroCode)
{
    WriteJobs(2);
    folder.WriteBytes("Tarnwick.ini", "[Mail]\r\nEnableTrace=1\r\n");
    folder.MakeFolder("TraceMailLog.txt/blocked");
    const auto r = folder.Run({"/P", "jobs.txt", "/i"}, 20000);
    // Reported, the run abandoned before the first mailer start, and no success for it.
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.stdErr.find("TraceMailLog.txt"), std::string::npos) << r.stdErr;
    EXPECT_TRUE(ReadFakeMailerRecords(folder.RecordPath()).empty());
}

TEST_F(ExitCodeTest, JapaneseJobListAndWorkFolderNames)
{
    WriteJobs(2, "ジョブ一覧.txt");
    folder.MakeFolder("作業フォルダ");
    const auto r = folder.Run({"/P", "ジョブ一覧.txt", "/f", "作業フォルダ", "/i"});
    EXPECT_EQ(r.exitCode, 0);
    const auto runs = ReadFakeMailerRecords(folder.RecordPath());
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].cwd + "/", folder.Path() + "作業フォルダ/");
    EXPECT_EQ(runs[0].body.value_or(""), Sjis("本文") + "\r\n");
}

} // namespace
