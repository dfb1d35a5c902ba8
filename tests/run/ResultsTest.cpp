// Result lines, the outcome logs, the result list read back, and the resend.
#include "RunFixture.h"

#include <filesystem>

namespace {

class ResultsTest : public RunFixture {};

TEST_F(ResultsTest, ResultLineAndOutcomeLogLine)
{
    clock.start = {2024, 3, 5, 9, 5, 7, 0};
    mailer.defaultRun.durationMs = 5000;
    folder.MakeFolder("logs");
    folder.WriteLines("mails/m.txt", {"../logs/o.txt", "h", "t@x,>#cc cc.txt", "f@x", "ｶﾅ", "a.pdf,b.pdf"});
    folder.WriteLines("cc.txt", {"c@x"});
    folder.WriteLines("jobs.txt", {"mails/m.txt,A01", "mails/m.txt,A02"});
    ASSERT_TRUE(Parse({"/P", "jobs.txt"}));
    delivery.RunDelivery();

    const auto lines = ResultLines();
    ASSERT_EQ(lines.size(), 2u);
    const std::string def = Utf8(Native(folder.Cp932Path() + "mails/m.txt"));
    // 5 s of mailer plus the 250 ms sleeps between waits: the line is composed at 9:05:12.
    EXPECT_EQ(lines[0], "2024/3/5,9:5:7,9:5:12,0,送信完了,h,TO:t@x\tCC:c@x,f@x,カナ,a.pdf\tb.pdf,1,A01," + def);
    const auto outcome = ReadUtf8Lines(folder.Path() + "logs/o.txt");
    ASSERT_EQ(outcome.size(), 2u); // two mails share one outcome log, in sending order
    EXPECT_EQ(outcome[0], "2024/3/5,9:5:7,9:5:12,0,送信完了,h,TO:t@x\tCC:c@x,f@x,カナ,a.pdf\tb.pdf,1,A01");
    EXPECT_NE(outcome[1].find(",2,A02"), std::string::npos);
    // The newest row is on top.
    ASSERT_EQ(delivery.ResultRows().Count(), 2u);
    EXPECT_EQ(delivery.ResultRows().Row(0).SendCode, "A02");
    EXPECT_EQ(delivery.ResultRows().Row(0).Status, 0);
}

TEST_F(ResultsTest, FailedMailDuringAResendCarriesTheMarker)
{
    mailer.defaultRun.exitCode = 3;
    WriteJobs(1);
    ASSERT_TRUE(Parse({"/P", "jobs.txt"}));
    delivery.State().ResendMarker = true;
    delivery.RunDelivery();
    EXPECT_NE(ResultLines().at(0).find(",3,送信異常（再送分）,"), std::string::npos);
}

TEST_F(ResultsTest, SplitResultLine)
{
    std::vector<std::string> f;
    EXPECT_EQ(SplitResultLine("a,b,c", f), 3);
    EXPECT_EQ(SplitResultLine("a,,c", f), 3);
    EXPECT_EQ(f[1], "");
    EXPECT_EQ(SplitResultLine("\"x,\"\"y\"\"\",next", f), 2);
    EXPECT_EQ(f[0], "x,\"y\"");
    EXPECT_EQ(f[1], "next");
    EXPECT_EQ(SplitResultLine("a,\"q\"", f), 2);
    EXPECT_EQ(SplitResultLine("\"q\"tail,x", f), 2);
    EXPECT_EQ(f[0], "qtail");
    EXPECT_EQ(SplitResultLine("", f), 1);
    EXPECT_EQ(SplitResultLine(Sjis("表,x"), f), 2); // 0x5C... no comma inside a character
    EXPECT_EQ(SplitResultLine("\"unterminated,x", f), 1);
}

// Values with commas or a leading quote are quoted, so a line always reads
// back as the fields it was made of (the send code and the subject may hold commas).
TEST_F(ResultsTest, ResultLinesReadBackAsTheyWereComposed)
{
    TResultLine line{"2024/3/5", "9:5:7", "9:5:8", 3, false, true, "h", "TO:a@x\tCC:b,c@x", "\"Name\" <f@x>",
                     Sjis("件名, その\"2\""), "a.pdf", 12, "A01,extra", "/m/1.txt"};
    const std::string text = ComposeResultLine(line, true);
    EXPECT_EQ(Utf8(text), "2024/3/5,9:5:7,9:5:8,3,送信異常（再送分）,h,\"TO:a@x\tCC:b,c@x\",\"\"\"Name\"\" <f@x>\","
                          "\"件名, その\"\"2\"\"\",a.pdf,12,\"A01,extra\",/m/1.txt");
    for (const bool unknown : {false, true}) {
        line.Unknown = unknown;
        const TResultLine back = ParseResultLine(ComposeResultLine(line, true));
        EXPECT_EQ(ComposeResultLine(back, true), ComposeResultLine(line, true));
        EXPECT_EQ(back.SendCode, "A01,extra");
        EXPECT_EQ(back.Unknown, unknown);
        EXPECT_TRUE(back.Resend);
        EXPECT_EQ(RowOf(back).JobLine, "/m/1.txt,A01,extra");
    }
    // A line an earlier version wrote unquoted keeps its last fields in place.
    const TResultLine old = ParseResultLine("d,t,t,0,送信完了,h,TO:a@x,f,S,1,,7,A9,/m/9.txt");
    EXPECT_EQ(old.Subject, "S,1");
    EXPECT_EQ(old.Counter, 7);
    EXPECT_EQ(old.DefinitionPath, "/m/9.txt");
}

TEST_F(ResultsTest, LoadResultListShowsTheLastLineOnTopAndSurvivesShortLines)
{
    folder.WriteLines("$mail_result.csv", {
        "2024/3/5,9:5:7,9:5:8,0,送信完了,h,TO:a@x,f,S1,,1,A01,/m/1.txt",
        "2024/3/5,9:5:7,9:5:8,3,送信異常,h,TO:b@x,f,S2,,2,A02,/m/2.txt",
        "damaged,line",
    });
    delivery.LoadResultList();
    const TResultRows& rows = delivery.ResultRows();
    ASSERT_EQ(rows.Count(), 3u);
    EXPECT_EQ(rows.Row(0).SendCode, ""); // the damaged line shows what it has: an unknown outcome
    EXPECT_TRUE(rows.Row(0).Unknown);
    EXPECT_TRUE(rows.Row(0).Failed());
    EXPECT_FALSE(rows.Row(0).Resendable());
    EXPECT_EQ(rows.Row(1).SendCode, "A02");
    EXPECT_EQ(Utf8(rows.Row(1).Subject), "S2");
    EXPECT_EQ(rows.Row(1).Recipients, "TO:b@x");
    EXPECT_EQ(rows.Row(1).Status, 3);
    EXPECT_EQ(rows.Row(1).JobLine, "/m/2.txt,A02");
    EXPECT_EQ(view.log.back(), "RowsReset");
}

// A row keeps a bounded start of a long cell; the files keep the whole text.
TEST_F(ResultsTest, RowsKeepABoundedStartOfLongCells)
{
    const std::string cc(200000, 'c');
    folder.WriteLines("mails/m.txt", {"../o.txt", "h", "t@x,>#cc cc.txt", "f@x", std::string(10000, 's'), ""});
    folder.WriteLines("cc.txt", {cc + "@x"});
    folder.WriteLines("jobs.txt", {"mails/m.txt,A01"});
    ASSERT_TRUE(Parse({"/P", "jobs.txt"}));
    delivery.RunDelivery();
    ASSERT_EQ(delivery.ResultRows().Count(), 1u);
    EXPECT_EQ(delivery.ResultRows().Row(0).Subject, std::string(kResultRowCellBytes, 's'));
    EXPECT_EQ(delivery.ResultRows().Row(0).Recipients.size(), kResultRowCellBytes);
    ASSERT_EQ(ResultLines().size(), 1u);
    EXPECT_NE(ResultLines()[0].find("CC:" + cc + "@x,f@x," + std::string(10000, 's') + ","), std::string::npos);
    delivery.LoadResultList();
    EXPECT_EQ(delivery.ResultRows().Row(0).Recipients.size(), kResultRowCellBytes);
}

class ResendTest : public RunFixture {};

TEST_F(ResendTest, FailedMailsAreCollectedInSendingOrderAndResentOnYes)
{
    mailer.script = {{0, 0, false}, {0, 2, false}, {0, 0, false}, {0, 4, false}, {0, 0, false}};
    WriteJobs(5);
    ASSERT_TRUE(Parse({"/P", "jobs.txt"}));
    delivery.RunDelivery();
    const std::string p = folder.Cp932Path();
    std::vector<std::string> failed;
    ASSERT_TRUE(delivery.CollectFailed(failed));
    EXPECT_EQ(failed, (std::vector<std::string>{Native(p + "mails/m002.txt") + ",A002", Native(p + "mails/m004.txt") + ",A004"}));

    delivery.ResendOnCommand(); // Yes
    EXPECT_EQ(view.Lines("AskYesNo:").size(), 1u);
    EXPECT_EQ(mailer.started.size(), 7u);
    ASSERT_EQ(delivery.ResultRows().Count(), 2u);
    EXPECT_EQ(delivery.ResultRows().Row(0).SendCode, "A004");
    const auto lines = ResultLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find(",6,A002,"), std::string::npos); // the counter goes on; no marker from the menu
    EXPECT_NE(lines[0].find(",送信完了,"), std::string::npos);

    // Nothing failed now: the information box, nothing sent.
    delivery.ResendOnCommand();
    EXPECT_EQ(view.Lines("Information:").back(), "Information:エラーしているメールはありません.");
    EXPECT_EQ(mailer.started.size(), 7u);
}

TEST_F(ResendTest, NoLeavesEverythingAndNoResultFileDoesNothing)
{
    mailer.defaultRun.exitCode = 1;
    WriteJobs(2);
    ASSERT_TRUE(Parse({"/P", "jobs.txt"}));
    delivery.RunDelivery();
    const std::string before = folder.ReadBytes("$mail_result.csv");
    view.yesAnswer = false;
    delivery.ResendOnCommand();
    EXPECT_EQ(folder.ReadBytes("$mail_result.csv"), before);
    EXPECT_EQ(delivery.ResultRows().Count(), 2u);
    EXPECT_EQ(mailer.started.size(), 2u);

    std::filesystem::remove(folder.Path() + "$mail_result.csv");
    view.log.clear();
    delivery.ResendOnCommand();
    EXPECT_TRUE(view.log.empty());
}

TEST_F(ResendTest, EachRowResendsItsOwnMailEvenWhenAResultLineWasLost)
{
    // Rows read from a file whose lines are out of step with nothing: each row
    // carries fields 13 and 12 of its own line.
    folder.WriteLines("$mail_result.csv", {
        "d,t,t,0,送信完了,h,TO:a@x,f,S,,1,A01,/m/1.txt",
        "d,t,t,5,送信異常,h,TO:b@x,f,S,,2,B02,/m/2.txt",
    });
    delivery.LoadResultList();
    std::vector<std::string> failed;
    ASSERT_TRUE(delivery.CollectFailed(failed));
    EXPECT_EQ(failed, std::vector<std::string>{"/m/2.txt,B02"});
}

TEST_F(ResendTest, AutoResendMarksItsLinesAndRunsOnce)
{
    mailer.script = {{0, 0, false}, {0, 7, false}, {0, 9, false}};
    WriteJobs(2);
    ASSERT_TRUE(Parse({"/P", "jobs.txt", "/r"}));
    EXPECT_EQ(delivery.Activate(), TDelivery::TActivation::kCloseSoon);
    EXPECT_EQ(mailer.started.size(), 3u); // the failed mail once more, not again
    const auto lines = ResultLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(",9,送信異常（再送分）,"), std::string::npos);
    EXPECT_EQ(delivery.StatusCode(), 9);
}

TEST_F(ResendTest, NoAutoResendAfterAStop)
{
    mailer.defaultRun.exitCode = 1;
    view.At(0, [&] { delivery.ColorButton1Click(); });
    WriteJobs(2);
    ASSERT_TRUE(Parse({"/P", "jobs.txt", "/r", "/e"}));
    EXPECT_EQ(delivery.Activate(), TDelivery::TActivation::kStayOpen);
    EXPECT_EQ(mailer.started.size(), 1u);
}

} // namespace
