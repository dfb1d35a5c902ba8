// The delivery loop on virtual time: pacing, estimates, stop and pause.
#include "RunFixture.h"

#include <algorithm>

namespace {

class SchedulerTest : public RunFixture {
protected:
    void Run(int lines, std::vector<std::string> options)
    {
        WriteJobs(lines);
        options.insert(options.begin(), {"/P", "jobs.txt"});
        ASSERT_TRUE(Parse(options));
        delivery.RunDelivery();
    }
    std::vector<std::string> Summaries(bool waitOnly) const
    {
        std::vector<std::string> out;
        for (const std::string& line : view.Lines(waitOnly ? "UpdateSummary(true" : "UpdateSummary(false"))
            out.push_back(line);
        return out;
    }
    int Count(std::uint32_t ms) const { return static_cast<int>(std::count(clock.sleeps.begin(), clock.sleeps.end(), ms)); }
};

TEST_F(SchedulerTest, WorkedExamplePacesUnitsAndEstimatesTheFirstMail)
{
    Run(10, {"/m", "3", "/t", "2", "/s", "1.5"});

    EXPECT_EQ(mailer.started.size(), 10u);
    // A 2-minute wait after each of the three whole units; line 10 follows the last wait.
    EXPECT_EQ(view.Lines("StartTimerWait:"), std::vector<std::string>(3, "StartTimerWait:120000"));
    // The pause comes before lines 2, 3, 5, 6, 8, 9; never before a unit's first line nor line 10.
    EXPECT_EQ(Count(1500), 6);
    // The estimate computed for line 1, shown once line 1 is done: 240 + 65 + 120.
    EXPECT_EQ(Summaries(false).front(), "UpdateSummary(false,0,10,425,0)");
    EXPECT_EQ(view.log.back(), "LabelState:送信完了");
    EXPECT_EQ(view.Lines("ClearSummary").size(), 1u);
    EXPECT_EQ(ResultLines().size(), 10u);
}

TEST_F(SchedulerTest, EverySummaryCallInOrder)
{
    mailer.defaultRun.durationMs = 1000; // 1050 ms with the 250 ms sleeps between waits
    Run(4, {"/m", "3", "/t", "1"});

    const std::vector<std::string> expected = {
        "UpdateSummary(false,0,4,80,0)", "UpdateSummary(false,1,4,69,0)", "UpdateSummary(false,2,4,64,0)",
        "UpdateSummary(false,3,4,64,0)", // end of the unit
        "UpdateSummary(false,4,4,1,0)",  "UpdateSummary(false,4,4,1,0)", // remainder: before and after
    };
    EXPECT_EQ(Summaries(false), expected);
    // During the wait only the remaining time moves, counting down from the wait's start.
    const auto waits = Summaries(true);
    ASSERT_EQ(waits.size(), 241u);
    EXPECT_EQ(waits.front(), "UpdateSummary(true,3,4,66,0)");
    EXPECT_EQ(waits.back(), "UpdateSummary(true,3,4,6,0)");
    EXPECT_EQ(view.Lines("LabelState:送信待機").size(), 1u);
}

TEST_F(SchedulerTest, RunningTimePerMailIsTheMeanOfMeasuredAndPrevious)
{
    mailer.script.push_back({20000, 0, false});
    Run(2, {"/s", "1.5"});
    // a: 6500 before, (20000 + 6500) / 2 = 13250 after; one mail left -> 13 s.
    EXPECT_EQ(Summaries(false).at(1), "UpdateSummary(false,1,2,13,0)");
}

TEST_F(SchedulerTest, RunningTimeSurvivesAWrapOfTheTick)
{
    clock.tickOffset = 0xFFFFFFFFull - 500; // the tick wraps during the first mail
    mailer.script.push_back({20000, 0, false});
    Run(2, {"/s", "1.5"});
    EXPECT_EQ(Summaries(false).at(1), "UpdateSummary(false,1,2,13,0)");
}

TEST_F(SchedulerTest, WithoutUnitsThereAreNoPausesAndWaitsOnlyWithAUnitWait)
{
    Run(3, {"/m", "3", "/s", "2"}); // t = 0: no units
    EXPECT_EQ(Count(2000), 0);
    EXPECT_TRUE(view.Lines("StartTimerWait").empty());
}

TEST_F(SchedulerTest, SendUnitZeroWithAUnitWaitWaitsAfterEveryMailButTheLast)
{
    Run(3, {"/t", "1", "/s", "2"});
    EXPECT_EQ(view.Lines("StartTimerWait:"), std::vector<std::string>(2, "StartTimerWait:60000"));
    EXPECT_EQ(Count(2000), 0);
}

// A wait longer than the timer can express is its longest, never a wrapped or
// undefined number of milliseconds.
TEST_F(SchedulerTest, HugeWaitsAreTheLongestTheTimerExpresses)
{
    Run(2, {"/m", "1", "/t", "1e300", "/s", "1e300"});
    EXPECT_EQ(view.Lines("StartTimerWait:"), std::vector<std::string>(1, "StartTimerWait:2147483647"));
}

TEST_F(SchedulerTest, WholeUnitsEndWithoutAWait)
{
    Run(6, {"/m", "3", "/t", "1"});
    EXPECT_EQ(view.Lines("StartTimerWait:").size(), 1u);
}

TEST_F(SchedulerTest, FewerLinesThanAUnitGoAsTheRemainderWithPauses)
{
    Run(2, {"/m", "5", "/t", "1", "/s", "1"});
    EXPECT_TRUE(view.Lines("StartTimerWait").empty());
    EXPECT_EQ(Count(1000), 1); // before the second line only
    EXPECT_EQ(mailer.started.size(), 2u);
}

TEST_F(SchedulerTest, SendLimitCutsTheRun)
{
    Run(5, {"/K", "2"});
    EXPECT_EQ(mailer.started.size(), 2u);
    EXPECT_EQ(view.Lines("ProgressMax:").front(), "ProgressMax:2");
    // A limit above the line count processes every line.
    delivery.Options().SendLimit = 9;
    delivery.RunDelivery();
    EXPECT_EQ(mailer.started.size(), 7u);
}

TEST_F(SchedulerTest, EndDuringAUnitWaitStopsWithinOneStep)
{
    std::uint64_t pressedAt = 0, endedAt = 0;
    view.At(30000, [&] { pressedAt = clock.Elapsed(); delivery.ColorButton1Click(); });
    WriteJobs(3);
    ASSERT_TRUE(Parse({"/P", "jobs.txt", "/m", "1", "/t", "1"}));
    delivery.RunDelivery();
    endedAt = clock.Elapsed();
    EXPECT_EQ(view.log.back(), "LabelState:強制終了");
    EXPECT_LE(endedAt - pressedAt, 250u);
    EXPECT_EQ(mailer.started.size(), 1u);
    EXPECT_EQ(view.Lines("Progress:").back(), "Progress:0");
    EXPECT_TRUE(view.Lines("ClearSummary").empty()); // the summary keeps its last texts
}

TEST_F(SchedulerTest, EndWhilePausedDuringAWaitStopsWithinOneStep)
{
    std::uint64_t pressedAt = 0;
    view.At(10000, [&] { delivery.ColorButton2Click(); });
    view.At(200000, [&] { pressedAt = clock.Elapsed(); delivery.ColorButton1Click(); });
    WriteJobs(2);
    ASSERT_TRUE(Parse({"/P", "jobs.txt", "/m", "1", "/t", "1"}));
    delivery.RunDelivery();
    EXPECT_EQ(view.log.back(), "LabelState:強制終了");
    EXPECT_LE(clock.Elapsed() - pressedAt, 1000u); // the paused wait sleeps 1000 ms at a time
    EXPECT_EQ(mailer.started.size(), 1u);
}

TEST_F(SchedulerTest, PauseDuringAMailFinishesItThenIdlesUntilResumed)
{
    mailer.defaultRun.durationMs = 5000;
    view.At(1000, [&] { delivery.ColorButton2Click(); });       // pause while mail 1 runs
    view.At(60000, [&] { delivery.ColorButton2Click(); });      // resume a minute later
    Run(2, {});
    ASSERT_EQ(mailer.started.size(), 2u);
    EXPECT_EQ(ResultLines().size(), 2u);
    EXPECT_GE(clock.Elapsed(), 60000u);
    EXPECT_EQ(view.log.back(), "LabelState:送信完了");
}

TEST_F(SchedulerTest, EndWhilePausedBetweenMailsSendsNoMore)
{
    view.At(0, [&] { delivery.ColorButton2Click(); });
    view.At(5000, [&] { delivery.ColorButton1Click(); });
    Run(3, {});
    EXPECT_EQ(mailer.started.size(), 1u);
    EXPECT_EQ(view.log.back(), "LabelState:強制終了");
}

TEST_F(SchedulerTest, SkippedLinesLeaveNoTraceButKeepTheirPlace)
{
    WriteJobs(3);
    folder.WriteLines("jobs.txt", {"mails/m001.txt,A001", "mails/missing.txt,A002", "", ",A004", "mails/m003.txt,A005"});
    ASSERT_TRUE(Parse({"/P", "jobs.txt"}));
    delivery.RunDelivery();
    EXPECT_EQ(mailer.started.size(), 2u);
    const auto results = ResultLines();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_NE(results[1].find(",2,A005,"), std::string::npos); // the counter counts mails, not lines
    const auto progress = view.Lines("Progress:");
    EXPECT_NE(std::find(progress.begin(), progress.end(), "Progress:5"), progress.end());
    EXPECT_EQ(std::find(progress.begin(), progress.end(), "Progress:2"), progress.end());
}

TEST_F(SchedulerTest, StatusCodeIsTheLastMailsAndErrorsAreCounted)
{
    mailer.script = {{0, 2, false}, {0, 0, false}, {0, 3, false}};
    Run(3, {});
    EXPECT_EQ(delivery.StatusCode(), 3);
    EXPECT_EQ(Summaries(false).back(), "UpdateSummary(false,3,3,1,2)");

    mailer.script = {{0, 3, false}, {0, 0, false}};
    delivery.Options().SendLimit = 2;
    delivery.RunDelivery();
    EXPECT_EQ(delivery.StatusCode(), 0);
}

TEST_F(SchedulerTest, UnreadableDefinitionIsRecordedAsFailedNeverFromOldLines)
{
    WriteJobs(1);
    folder.WriteLines("jobs.txt", {"mails/m001.txt,A001", "nosuchfile.txt"});
    ASSERT_TRUE(Parse({"/P", "jobs.txt"}));
    delivery.RunDelivery();
    ASSERT_EQ(mailer.started.size(), 2u);
    EXPECT_EQ(delivery.StatusCode(), -1);
    EXPECT_EQ(mailer.started[1].commandLine, "\"smail.exe\" -m -Fbody.txt -t");
}

} // namespace
