// The outcome record: the journal's format, kept lines, termination signals,
// the mailer time limit, continuing a run that died, and resends that keep
// the record they cannot use.
#include "RunFixture.h"

#include "run/RunJournal.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace {

// --- The journal's format --------------------------------------------------------

std::vector<TJournalRecord> SampleRecords()
{
    return {
        {TJournalKind::kRunBegun, {"/p/jobs.txt", "3-0123456789abcdef"}},
        {TJournalKind::kMailStarted, {"0", "1", std::string("a\0b", 3), "\n12:34\n", "", "S 9 x\n"}},
        {TJournalKind::kResendBegun, {"1", "line,A", "x"}},
        {TJournalKind::kRunFinished, {}},
    };
}

TEST(RunJournalTest, EveryCutOfTheFileReadsAsTheRecordsWrittenWhole)
{
    // A process killed at any byte of an append leaves exactly the records
    // that were complete, and says where the good part ends.
    const std::vector<TJournalRecord> records = SampleRecords();
    std::string file;
    std::vector<std::size_t> ends;
    for (const TJournalRecord& r : records) {
        file += EncodeJournalRecord(r);
        ends.push_back(file.size());
    }
    for (std::size_t cut = 0; cut <= file.size(); ++cut) {
        std::size_t valid = 0;
        const auto read = DecodeJournal(std::string_view(file).substr(0, cut), valid);
        std::size_t whole = 0;
        while (whole < ends.size() && ends[whole] <= cut)
            ++whole;
        ASSERT_EQ(read.size(), whole) << "cut at " << cut;
        EXPECT_EQ(valid, whole == 0 ? 0 : ends[whole - 1]);
        for (std::size_t k = 0; k < whole; ++k) {
            EXPECT_EQ(read[k].kind, records[k].kind);
            EXPECT_EQ(read[k].fields, records[k].fields);
        }
    }
}

TEST(RunJournalTest, ADamagedRecordEndsTheReading)
{
    const std::vector<TJournalRecord> records = SampleRecords();
    const std::string first = EncodeJournalRecord(records[0]);
    std::string file = first + EncodeJournalRecord(records[1]) + EncodeJournalRecord(records[2]);
    for (std::size_t at = first.size(); at < file.size() - EncodeJournalRecord(records[2]).size(); ++at) {
        std::string damaged = file;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x20);
        std::size_t valid = 0;
        const auto read = DecodeJournal(damaged, valid);
        ASSERT_GE(read.size(), 1u) << at;
        EXPECT_EQ(read[0].fields, records[0].fields);
        // Whatever follows a damaged record is never read as the record it was.
        if (read.size() > 1) {
            EXPECT_NE(read[1].fields, records[1].fields) << at;
        }
    }
}

// --- Kept lines --------------------------------------------------------------------

class RecordTest : public RunFixture {
protected:
    std::string MailLog() const { return Utf8(folder.ReadBytes("$mail_log.txt")); }
};

TEST_F(RecordTest, ALineThatCannotBeWrittenIsKeptReportedAndWrittenAfterALaterMail)
{
    WriteJobs(3);
    fs::remove_all(folder.Path() + "logs"); // the outcome logs' folder is missing at first
    mailer.defaultRun.durationMs = 1000;
    view.At(1000, [&] { folder.MakeFolder("logs"); });
    ASSERT_TRUE(Parse({"/P", "jobs.txt"}));
    delivery.RunDelivery();

    const auto outcome = ReadUtf8Lines(folder.Path() + "logs/outcome.txt");
    ASSERT_EQ(outcome.size(), 3u);
    std::vector<std::string> counters;
    for (const std::string& line : outcome)
        counters.push_back(line.substr(line.rfind(",", line.rfind(",") - 1) + 1));
    std::sort(counters.begin(), counters.end());
    EXPECT_EQ(counters, (std::vector<std::string>{"1,A001", "2,A002", "3,A003"}));
    EXPECT_EQ(ResultLines().size(), 3u);
    EXPECT_NE(MailLog().find(": Record WriteError " + Utf8(Native(folder.Cp932Path() + "mails/../logs/outcome.txt")) + "\r\n"),
              std::string::npos);
    EXPECT_NE(MailLog().find(": Record Written "), std::string::npos);
    EXPECT_EQ(view.Lines("Unattended:").size(), 1u);
    EXPECT_EQ(delivery.FinishProcess(0), 0);
}

TEST_F(RecordTest, ALineNeverWrittenMakesTheExitCodeOne)
{
    WriteJobs(2);
    fs::remove_all(folder.Path() + "logs");
    ASSERT_TRUE(Parse({"/P", "jobs.txt"}));
    delivery.RunDelivery();
    EXPECT_EQ(ResultLines().size(), 2u);
    EXPECT_EQ(view.Lines("Unattended:").size(), 2u);
    EXPECT_EQ(delivery.FinishProcess(0), 1);
    // At the end each unwritten line is told once more, whole.
    const auto told = view.Lines("Unattended:");
    ASSERT_EQ(told.size(), 4u);
    EXPECT_NE(told[3].find("に書き込めません: 2024/3/5,"), std::string::npos) << told[3];
    EXPECT_NE(told[3].find(",2,A002"), std::string::npos);
}

// --- Termination signals and the time limit -------------------------------------

class SignalTest : public RunFixture {
protected:
    SignalTest() { delivery.SetTermination(termination); }
    TScriptedTermination termination;
};

TEST_F(SignalTest, ASignalLetsTheMailInFlightFinishAndBeRecordedThenTheRunEnds)
{
    WriteJobs(3);
    mailer.defaultRun.durationMs = 5000;
    view.At(1000, [&] { termination.requests.push_back(15); });
    ASSERT_TRUE(Parse({"/P", "jobs.txt", "/r"}));
    EXPECT_EQ(delivery.Activate(), TDelivery::TActivation::kCloseSoon);
    EXPECT_EQ(mailer.started.size(), 1u);
    EXPECT_EQ(mailer.endSessions, 0);
    const auto lines = ResultLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(",0,送信完了,"), std::string::npos);
    EXPECT_TRUE(delivery.TerminationPending());
    EXPECT_EQ(view.Lines("LabelState:").back(), "LabelState:強制終了");
}

TEST_F(SignalTest, ASecondSignalOrTheGracePeriodEndsTheMailer)
{
    struct Case { std::vector<std::uint64_t> signalsAt; std::uint64_t endedBefore; };
    for (const Case& c : {Case{{1000, 3000}, 4000}, Case{{1000}, 23000}}) {
        TTempFolder f;
        TVirtualClock clk;
        TRecordingView v(clk);
        TScriptedMailer m(clk);
        TScriptedTermination t;
        TDelivery d(f.Cp932Path(), v, clk, m);
        d.SetTermination(t);
        f.MakeFolder("temp");
        f.WriteLines("mails/m.txt", {"o.txt", "h", "to@x.jp", "f@x.jp", "s", ""});
        f.WriteLines("jobs.txt", {"mails/m.txt,A1", "mails/m.txt,A2"});
        m.defaultRun.durationMs = 3600000; // a mailer that hangs
        for (const std::uint64_t at : c.signalsAt)
            v.At(at, [&] { t.requests.push_back(15); });
        ASSERT_TRUE(d.ParseCommandLine({"/P", "jobs.txt"}));
        d.Activate();
        EXPECT_EQ(m.endSessions, 1);
        EXPECT_LT(clk.Elapsed(), c.endedBefore);
        EXPECT_EQ(m.started.size(), 1u);
        // The mail is recorded with how its mailer ended.
        const auto lines = ReadUtf8Lines(f.Path() + "$mail_result.csv");
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_NE(lines[0].find(",143,送信異常,"), std::string::npos) << lines[0];
        EXPECT_EQ(d.State().StatusCode, 143);
    }
}

TEST_F(RecordTest, TheTimeLimitEndsAMailerThatRunsTooLong)
{
    WriteJobs(2);
    mailer.script = {{3600000, 0, false}, {2000, 0, false}};
    delivery.Settings().TimeLimit = 3;
    delivery.Settings().EnableTrace = 1;
    delivery.StartTrace();
    ASSERT_TRUE(Parse({"/P", "jobs.txt"}));
    delivery.RunDelivery();
    EXPECT_EQ(mailer.endSessions, 1);
    const auto lines = ResultLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find(",124,送信異常,"), std::string::npos);
    EXPECT_NE(lines[1].find(",0,送信完了,"), std::string::npos); // a mailer within the limit is left alone
    EXPECT_NE(folder.ReadBytes("TraceMailLog.txt").find("Smail TimeLimit:3s\r\n"), std::string::npos);
}

// --- Continuing a run that did not finish ----------------------------------------

class ContinueTest : public RunFixture {
protected:
    // A second program start in the same program folder.
    struct TStart {
        explicit TStart(const TTempFolder& f) : view(clock), mailer(clock), delivery(f.Cp932Path(), view, clock, mailer)
        {
            view.Attach(delivery);
        }
        TVirtualClock clock;
        TRecordingView view;
        TScriptedMailer mailer;
        TDelivery delivery;
    };

    // Five mails; the run is stopped after the third, whose result line is then
    // taken out again, as if the process had died while its mailer ran.
    void RunThatDiedAtTheThirdMail()
    {
        WriteJobs(5);
        mailer.defaultRun.durationMs = 1000;
        view.At(2500, [&] { delivery.ColorButton1Click(); });
        ASSERT_TRUE(Parse({"/P", "jobs.txt"}));
        delivery.Activate();
        ASSERT_EQ(mailer.started.size(), 3u);
        const std::string file = folder.ReadBytes("$mail_result.csv");
        const std::size_t second = file.find("\r\n", file.find("\r\n") + 2) + 2;
        folder.WriteBytes("$mail_result.csv", file.substr(0, second) + "2024/3/5,9:5"); // and a torn line
    }
};

TEST_F(ContinueTest, RecordsTheMailInFlightAsUnknownAndSendsOnlyWhatWasNotStarted)
{
    RunThatDiedAtTheThirdMail();
    TStart again(folder);
    ASSERT_TRUE(again.delivery.ParseCommandLine({"/P", "jobs.txt", "/c", "/r"}));
    again.mailer.defaultRun.exitCode = 3; // the rest fail, and /r resends them
    again.delivery.Activate();

    // Mails 4 and 5, then their resend; never mail 1, 2 or 3 again.
    ASSERT_EQ(again.mailer.started.size(), 4u);
    const auto lines = ResultLines();
    ASSERT_EQ(lines.size(), 2u); // the resend's own lines
    EXPECT_NE(lines[0].find(",3,送信異常（再送分）,"), std::string::npos);
    EXPECT_NE(lines[0].find(",6,A004,"), std::string::npos);

    // The outcome log keeps the whole story; mail 3 appears once as unknown, with its own number.
    const auto outcome = ReadUtf8Lines(folder.Path() + "logs/outcome.txt");
    std::size_t unknown = 0;
    for (const std::string& line : outcome) {
        if (line.find(",-2,送信不明,") != std::string::npos) {
            ++unknown;
            EXPECT_NE(line.find(",3,A003"), std::string::npos) << line;
        }
    }
    EXPECT_EQ(unknown, 1u);
    EXPECT_EQ(outcome.size(), 8u); // 3 + unknown + 2 + 2 resent

    // Finished now: a further continuation has nothing to do.
    TStart third(folder);
    ASSERT_TRUE(third.delivery.ParseCommandLine({"/P", "jobs.txt", "/c"}));
    third.delivery.Activate();
    EXPECT_TRUE(third.mailer.started.empty());
    EXPECT_EQ(third.delivery.State().StatusCode, 0);
    EXPECT_EQ(ResultLines().size(), 2u);
}

TEST_F(ContinueTest, TheUnknownMailIsShownAndNeverResent)
{
    RunThatDiedAtTheThirdMail();
    TStart again(folder);
    ASSERT_TRUE(again.delivery.ParseCommandLine({"/P", "jobs.txt", "/c"}));
    again.delivery.Activate();
    EXPECT_EQ(again.mailer.started.size(), 2u);
    const auto lines = ResultLines();
    ASSERT_EQ(lines.size(), 5u); // the torn line is gone, every job-list line has one
    EXPECT_NE(lines[2].find(",-2,送信不明,"), std::string::npos);
    EXPECT_NE(lines[4].find(",5,A005,"), std::string::npos);
    EXPECT_EQ(again.delivery.State().StatusCode, 0);

    const TResultRows& rows = again.delivery.ResultRows();
    ASSERT_EQ(rows.Count(), 5u);
    EXPECT_TRUE(rows.Row(2).OutcomeUnknown);
    EXPECT_EQ(rows.Row(2).Status, "-2");
    again.delivery.ResendOnCommand();
    EXPECT_EQ(again.view.Lines("Information:").back(), "Information:エラーしているメールはありません.");

    // Read back at a later start, the row is still known as unknown.
    TStart later(folder);
    later.delivery.ParseCommandLine({});
    later.delivery.Activate();
    EXPECT_TRUE(later.delivery.ResultRows().Row(2).OutcomeUnknown);
    ASSERT_TRUE(later.delivery.CollectFailed());
    EXPECT_TRUE(later.delivery.State().JobList.empty());
}

TEST_F(ContinueTest, AnotherJobListIsRefusedAndNoJournalMeansNothingToDo)
{
    RunThatDiedAtTheThirdMail();
    folder.WriteBytes("jobs.txt", folder.ReadBytes("jobs.txt") + "mails/m001.txt,EXTRA\r\n");
    TStart other(folder);
    ASSERT_TRUE(other.delivery.ParseCommandLine({"/P", "jobs.txt", "/c"}));
    EXPECT_EQ(other.delivery.Activate(), TDelivery::TActivation::kCloseSoon);
    EXPECT_TRUE(other.mailer.started.empty());
    EXPECT_EQ(other.delivery.State().StatusCode, 1);
    ASSERT_EQ(other.view.Lines("Warning:").size(), 1u);
    EXPECT_NE(other.view.Lines("Warning:")[0].find("ジョブリストが異なる"), std::string::npos);

    fs::remove(folder.Path() + "$mail_result.jnl");
    TStart none(folder);
    ASSERT_TRUE(none.delivery.ParseCommandLine({"/P", "jobs.txt", "/c"}));
    none.delivery.Activate();
    EXPECT_TRUE(none.mailer.started.empty());
    EXPECT_EQ(none.delivery.State().StatusCode, 0);
    EXPECT_TRUE(folder.Exists("$mail_result.csv"));
}

// --- Resends that keep the record ------------------------------------------------

TEST_F(ContinueTest, AQuotedSenderIsResentThroughTheJournalAndKeptWithoutIt)
{
    // The sender's opening quote throws the result line's fields out of step
    // when the file is read back.
    folder.MakeFolder("logs");
    folder.WriteLines("mails/q.txt", {"../logs/o.txt", "h", "to@x.jp", "\"差出人 太郎\" <from@example.jp>", "件名", ""});
    folder.WriteLines("jobs.txt", {"mails/q.txt,Q1"});
    mailer.defaultRun.exitCode = 2;
    ASSERT_TRUE(Parse({"/P", "jobs.txt"}));
    delivery.Activate();
    const std::string record = folder.ReadBytes("$mail_result.csv");

    for (const bool withJournal : {true, false}) {
        SCOPED_TRACE(withJournal);
        if (!withJournal)
            fs::remove(folder.Path() + "$mail_result.jnl");
        TStart later(folder);
        later.delivery.ParseCommandLine({});
        later.delivery.Activate();
        later.delivery.ResendOnCommand();
        if (withJournal) {
            ASSERT_EQ(later.mailer.started.size(), 1u);
            EXPECT_NE(later.mailer.started[0].commandLine.find("to@x.jp"), std::string::npos);
            folder.WriteBytes("$mail_result.csv", record); // as before, for the second round
        } else {
            // Nothing can be resent: the file stays and the box says why.
            EXPECT_TRUE(later.mailer.started.empty());
            EXPECT_EQ(folder.ReadBytes("$mail_result.csv"), record);
            ASSERT_EQ(later.view.Lines("Information:").size(), 1u);
            EXPECT_NE(later.view.Lines("Information:")[0].find("再送できるメールはありません."), std::string::npos);
            EXPECT_NE(later.view.Lines("Information:")[0].find("定義ファイルが見つからないため再送できません: "),
                      std::string::npos);
            EXPECT_EQ(later.view.Lines("LabelState:").size(), 0u); // never 送信完了 for nothing sent
        }
    }
}

TEST_F(ContinueTest, TheAutomaticResendReportsWhatItCannotSend)
{
    WriteJobs(1);
    mailer.defaultRun.exitCode = 4;
    ASSERT_TRUE(Parse({"/P", "jobs.txt"}));
    delivery.Activate();
    // The only failed mail has lost its definition by the time of the resend.
    fs::remove(folder.Path() + "mails/m001.txt");
    TStart again(folder);
    again.delivery.ParseCommandLine({});
    again.delivery.Activate();
    again.delivery.AutoResend();
    EXPECT_TRUE(again.mailer.started.empty());
    ASSERT_EQ(again.view.Lines("Unattended:").size(), 1u);
    EXPECT_NE(Utf8(folder.ReadBytes("$mail_log.txt")).find(": Resend Skipped "), std::string::npos);
    EXPECT_EQ(ResultLines().size(), 1u);
}

} // namespace
