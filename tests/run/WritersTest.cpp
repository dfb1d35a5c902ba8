// The writers with their retry rule, the load retry rule and the trace log,
// against another holder of the file.
#include "RunFixture.h"
#include "run/OutcomeRecord.h"
#include "run/TimeFormat.h"
#include "run/TraceLog.h"
#include "support/TestSystem.h"

#include <filesystem>

#include "platform/Errors.h"

#include <chrono>

namespace {

class WritersTest : public ::testing::Test {
protected:
    WritersTest() : view(virtualClock), retry(clock, stop) {}
    std::string File(const std::string& name) const { return folder.Cp932Path() + name; }
    static double Seconds(std::chrono::steady_clock::time_point since)
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
    }

    TTempFolder folder;
    TSystemClock clock;
    TVirtualClock virtualClock;
    TRecordingView view;
    bool stop = false;
    TRetryRules retry;
};

TEST_F(WritersTest, BasicWrites)
{
    EXPECT_EQ(retry.WriteNewFile(File("empty.txt"), ""), 0);
    EXPECT_TRUE(folder.Exists("empty.txt"));
    EXPECT_EQ(folder.ReadBytes("empty.txt"), "");
    EXPECT_EQ(retry.AppendFile(File("new.txt"), "abc"), 0);
    EXPECT_EQ(retry.AppendFile(File("new.txt"), "def"), 0);
    EXPECT_EQ(folder.ReadBytes("new.txt"), "abcdef");
    EXPECT_EQ(retry.WriteNewFile(File("new.txt"), "x"), 0);
    EXPECT_EQ(folder.ReadBytes("new.txt"), "x");
    EXPECT_EQ(retry.WriteNewFile(File("missing/x.txt"), "x"), 1);
}

TEST_F(WritersTest, FileHeldHalfASecondIsWrittenOnALaterAttempt)
{
    folder.WriteBytes("held.txt", "old");
    TFileHold holder(folder.Path() + "held.txt", 500);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(retry.AppendFile(File("held.txt"), "new"), 0);
    EXPECT_GE(Seconds(start), 0.3);
    EXPECT_EQ(folder.ReadBytes("held.txt"), "oldnew");
}

TEST_F(WritersTest, FileHeldTwoSecondsFailsAfterTenAttemptsAndIsNotTruncated)
{
    folder.WriteBytes("held.txt", "keep");
    {
        TFileHold holder(folder.Path() + "held.txt", 2000);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(retry.WriteNewFile(File("held.txt"), "new"), 1);
        const double took = Seconds(start);
        EXPECT_GE(took, 1.45);
        EXPECT_LT(took, 1.95);
    }
    EXPECT_EQ(folder.ReadBytes("held.txt"), "keep"); // never truncated under someone else's hold
}

TEST_F(WritersTest, StopRequestCutsTheRetriesShort)
{
    TFileHold holder(folder.Path() + "held.txt", 1000);
    stop = true;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(retry.AppendFile(File("held.txt"), "x"), 1);
    const double took = Seconds(start);
    EXPECT_GE(took, 0.14);
    EXPECT_LT(took, 0.45);
}

TEST_F(WritersTest, ARunAndAResendStartTheResultFileEmptyWhileAnotherProgramHoldsIt)
{
    // On Windows a reader keeps a file from being deleted; the old outcomes
    // must still never become part of the new run's record.
    TOutcomeRecord record(retry, clock, view, folder.Cp932Path());
    for (const bool resend : {false, true}) {
        SCOPED_TRACE(resend ? "resend" : "run");
        folder.WriteBytes("$mail_result.csv", "the last run's line\r\n");
        {
            TFileHold holder(folder.Path() + "$mail_result.csv", 500);
            EXPECT_TRUE(resend ? record.BeginResend(1, false, {"mails/m1.txt,A"})
                               : record.BeginRun(File("jobs.txt"), {"mails/m1.txt,A"}));
        }
        EXPECT_EQ(folder.Exists("$mail_result.csv") ? folder.ReadBytes("$mail_result.csv") : "", "");
    }
}

TEST_F(WritersTest, LoadRetriesWhileAnotherProcessWrites)
{
    folder.WriteBytes("list.txt", "a\r\nb");
    std::vector<std::string> lines{"before"};
    {
        TFileHold holder(folder.Path() + "list.txt", 200);
        EXPECT_TRUE(retry.LoadLines(File("list.txt"), lines));
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"a", "b"}));
    {
        TFileHold holder(folder.Path() + "list.txt", 1500); // longer than 11 attempts
        lines = {"before"};
        EXPECT_FALSE(retry.LoadLines(File("list.txt"), lines));
        EXPECT_EQ(lines, std::vector<std::string>{"before"});
    }
}

TEST_F(WritersTest, TraceLog)
{
    TTraceLog trace(File("TraceMailLog.txt"), clock);
    // Off: no file is touched.
    trace.Start(false);
    trace.Write("nothing");
    EXPECT_FALSE(folder.Exists("TraceMailLog.txt"));

    folder.WriteBytes("TraceMailLog.txt", "old contents\r\n");
    trace.Start(true);
    trace.Write("Smail Done:0");
    const auto lines = ReadUtf8Lines(folder.Path() + "TraceMailLog.txt");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "<<Trace Start>>");
    ASSERT_EQ(lines[1].size(), 20u + 12u);
    EXPECT_EQ(lines[1].substr(4, 1) + lines[1].substr(7, 1) + lines[1].substr(13, 1) + lines[1].substr(19, 1), "//: ");
    EXPECT_EQ(lines[1].substr(20), "Smail Done:0");

    // Deleted after start-up: the error reaches the caller.
    std::filesystem::remove(folder.Path() + "TraceMailLog.txt");
    EXPECT_THROW(trace.Write("x"), EInOutError);
}

TEST(TimeFormats, Stamps)
{
    const platform::LocalTime t{2025, 1, 7, 14, 3, 9, 0};
    EXPECT_EQ(FormatTraceStamp(t), "2025/01/07 14:03:09 ");
    EXPECT_EQ(FormatMailLogStamp(t), "20250107140309");
    EXPECT_EQ(FormatResultDate(t), "2025/1/7");
    EXPECT_EQ(FormatResultTime(t), "14:3:9");
}

} // namespace
