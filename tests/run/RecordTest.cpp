// The outcome record: the journal's format, kept lines, termination signals,
// the mailer time limit, continuing a run that died, and resends that keep
// the record they cannot use.
#include "RunFixture.h"

#include "run/RunJournal.h"

#include <algorithm>
#include <filesystem>
#include <functional>

namespace fs = std::filesystem;

namespace {

// --- The journal's format --------------------------------------------------------

std::vector<TJournalRecord> SampleRecords()
{
    return {
        {TJournalKind::kRunBegun, {"/p/jobs.txt", "3-0123456789abcdef"}},
        {TJournalKind::kMailStarted, {"0", "1", std::string("a\0b\x1e\x1d", 5), "\n12:34\n", "", "S 9 x\n"}},
        {TJournalKind::kResendBegun, {"1", "line,A", "x"}},
        {TJournalKind::kRunFinished, {"1"}},
    };
}

std::vector<TJournalRecord> Readable(const TDecodedJournal& journal, std::size_t& damaged)
{
    std::vector<TJournalRecord> records;
    damaged = 0;
    for (const TJournalItem& item : journal.items) {
        if (item.damaged)
            ++damaged;
        else
            records.push_back(item.record);
    }
    return records;
}

// A process killed at any byte of a write, or one byte changed anywhere: the
// records outside the damage read as written, and the damage is seen.
TEST(RunJournalTest, DamageCostsOnlyTheRecordsItTouches)
{
    const std::vector<TJournalRecord> records = SampleRecords();
    std::string file;
    std::vector<std::size_t> ends;
    for (const TJournalRecord& r : records) {
        file += EncodeJournalRecord(r);
        ends.push_back(file.size());
    }
    auto same = [](const TJournalRecord& a, const TJournalRecord& b) { return a.kind == b.kind && a.fields == b.fields; };
    for (std::size_t cut = 0; cut <= file.size(); ++cut) {
        std::size_t damaged = 0;
        const auto read = Readable(DecodeJournal(std::string(file.substr(0, cut)) + std::string(64, '\0')), damaged);
        std::size_t whole = 0;
        while (whole < ends.size() && ends[whole] <= cut)
            ++whole;
        ASSERT_EQ(read.size(), whole) << "cut at " << cut;
        EXPECT_EQ(damaged, cut == (whole == 0 ? 0 : ends[whole - 1]) ? 0u : 1u) << "cut at " << cut;
        for (std::size_t k = 0; k < whole; ++k)
            EXPECT_TRUE(same(read[k], records[k]));
    }
    for (std::size_t at = 0; at < file.size(); ++at) {
        std::string changed = file;
        changed[at] = static_cast<char>(changed[at] ^ 0x20);
        const std::size_t hit = static_cast<std::size_t>(std::upper_bound(ends.begin(), ends.end(), at) - ends.begin());
        std::size_t damaged = 0;
        const auto read = Readable(DecodeJournal(changed), damaged);
        ASSERT_EQ(read.size(), records.size() - 1) << "byte " << at;
        EXPECT_GE(damaged, 1u);
        for (std::size_t k = 0, r = 0; k < records.size(); ++k) {
            if (k != hit) {
                EXPECT_TRUE(same(read[r++], records[k])) << "byte " << at << ", record " << k;
            }
        }
    }
}

// Which mails a journal calls done, started but not done, or perhaps started
// because damage may have taken their start records.
TEST(RunJournalTest, TheStateOfEachMailAroundDamage)
{
    auto started = [](int i) { TResultLine v; v.Counter = i + 1; return EncodeMailStarted(0, i, v, "o"); };
    auto done = [](int i) { TResultLine v; v.Counter = i + 1; return EncodeMailDone(0, i, v); };
    const std::string head = EncodeJournalRecord(TJournalKind::kRunBegun, {"/j", "d"});
    const std::string bad = "\x1eS 99 00000000\nbroken";
    struct Case { std::string journal; std::string expected; bool finished; };
    const Case cases[] = {
        {head + started(0) + done(0) + started(1), "0:done 1:started", false},
        {head + started(0) + done(0) + bad + started(3), "0:done 1:maybe 2:maybe 3:started", false},
        {head + started(0) + done(0) + bad, "0:done 1:maybe", false},
        {head + started(0) + bad + started(1) + done(1), "0:started 1:done", false},
        {head + started(0) + done(0) + EncodeJournalRecord(TJournalKind::kRunFinished, {"0"}), "0:done", true},
    };
    for (const Case& c : cases) {
        const TJournalState state = ReadJournalState(DecodeJournal(c.journal));
        std::string got;
        for (int i = 0; i < 5; ++i) {
            const auto it = state.mails.find(i);
            const char* what = it != state.mails.end() ? (it->second.done ? "done" : "started")
                                                         : (state.MaybeStarted(i) ? "maybe" : nullptr);
            if (what)
                got += (got.empty() ? "" : " ") + std::to_string(i) + ":" + what;
        }
        EXPECT_EQ(got, c.expected) << c.expected;
        EXPECT_TRUE(state.present);
        EXPECT_EQ(state.finished, c.finished);
        EXPECT_EQ(state.Unfinished(), !c.finished);
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
        EXPECT_EQ(d.StatusCode(), 143);
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

    // Five mails; the run is stopped after the third, whose done record and
    // result line are then taken out again, as if the process had died while
    // its mailer ran.
    void RunThatDiedAtTheThirdMail()
    {
        WriteJobs(5);
        mailer.defaultRun.durationMs = 1000;
        view.At(2500, [&] { delivery.ColorButton1Click(); });
        ASSERT_TRUE(Parse({"/P", "jobs.txt"}));
        delivery.Activate();
        ASSERT_EQ(mailer.started.size(), 3u);
        std::string journal = folder.ReadBytes("$mail_result.jnl");
        const std::size_t lastDone = journal.rfind("\x1e" "D ");
        journal.replace(lastDone, journal.size() - lastDone, journal.size() - lastDone, '\0');
        folder.WriteBytes("$mail_result.jnl", journal);
        const std::string file = folder.ReadBytes("$mail_result.csv");
        const std::size_t second = file.find("\r\n", file.find("\r\n") + 2) + 2;
        folder.WriteBytes("$mail_result.csv", file.substr(0, second) + "2024/3/5,9:5"); // and a torn line
    }
    // Everything of the record, to see that nothing changed.
    std::string Record() const
    {
        std::string all;
        for (const char* name : {"$mail_result.csv", "$mail_result.jnl", "logs/outcome.txt"})
            all += fs::is_regular_file(folder.Path() + name) ? folder.ReadBytes(name) : std::string("(none)");
        return all;
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
    EXPECT_EQ(third.delivery.StatusCode(), 0);
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
    EXPECT_EQ(again.delivery.StatusCode(), 0);

    const TResultRows& rows = again.delivery.ResultRows();
    ASSERT_EQ(rows.Count(), 5u);
    EXPECT_TRUE(rows.Row(2).Unknown);
    EXPECT_EQ(rows.Row(2).Status, -2);
    again.delivery.ResendOnCommand();
    EXPECT_EQ(again.view.Lines("Information:").back(), "Information:エラーしているメールはありません.");

    // Read back at a later start, the row is still known as unknown.
    TStart later(folder);
    later.delivery.ParseCommandLine({});
    later.delivery.Activate();
    EXPECT_TRUE(later.delivery.ResultRows().Row(2).Unknown);
    std::vector<std::string> failed;
    ASSERT_TRUE(later.delivery.CollectFailed(failed));
    EXPECT_TRUE(failed.empty());
}

// When the journal cannot tell what the last run did, a continuation sends
// nothing, touches nothing, says why and ends with 1.
TEST_F(ContinueTest, WithoutAJournalOfThisJobListNothingIsGuessed)
{
    RunThatDiedAtTheThirdMail();
    const std::string jobs = folder.ReadBytes("jobs.txt"), journal = folder.ReadBytes("$mail_result.jnl");
    struct Case { const char* what; std::function<void()> make; const char* says; };
    const Case cases[] = {
        {"another job list", [&] { folder.WriteBytes("jobs.txt", jobs + "mails/m001.txt,EXTRA\r\n"); }, "ジョブリストが異なる"},
        {"no journal", [&] { fs::remove(folder.Path() + "$mail_result.jnl"); }, "記録（ジャーナル）がない"},
        {"an empty journal", [&] { folder.WriteBytes("$mail_result.jnl", std::string(4096, '\0')); }, "記録（ジャーナル）が空"},
        {"a folder for a journal", [&] { fs::remove(folder.Path() + "$mail_result.jnl"); folder.MakeFolder("$mail_result.jnl"); },
         "記録（ジャーナル）が読めない"},
        {"its run record damaged", [&] { std::string j = journal; j[5] ^= 1; folder.WriteBytes("$mail_result.jnl", j); },
         "記録（ジャーナル）が読めない"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.make();
        const std::string before = Record();
        TStart again(folder);
        ASSERT_TRUE(again.delivery.ParseCommandLine({"/P", "jobs.txt", "/c"}));
        EXPECT_EQ(again.delivery.Activate(), TDelivery::TActivation::kCloseSoon);
        EXPECT_TRUE(again.mailer.started.empty());
        EXPECT_EQ(again.delivery.StatusCode(), 1);
        ASSERT_EQ(again.view.Lines("Warning:").size(), 1u);
        EXPECT_NE(again.view.Lines("Warning:")[0].find(c.says), std::string::npos) << again.view.Lines("Warning:")[0];
        EXPECT_NE(Utf8(folder.ReadBytes("$mail_log.txt")).find(c.says), std::string::npos);
        EXPECT_EQ(Record(), before);
        fs::remove_all(folder.Path() + "$mail_result.jnl");
        folder.WriteBytes("$mail_result.jnl", journal);
        folder.WriteBytes("jobs.txt", jobs);
    }
}

// A run of a job list whose last run did not finish would send its first part
// twice: it does not start. A finished run, or another list, starts afresh.
TEST_F(ContinueTest, ARunAfterAnUnfinishedOneIsRefusedUntilItIsContinued)
{
    RunThatDiedAtTheThirdMail();
    const std::string before = Record();
    TStart again(folder);
    ASSERT_TRUE(again.delivery.ParseCommandLine({"/P", "jobs.txt"}));
    EXPECT_EQ(again.delivery.Activate(), TDelivery::TActivation::kCloseSoon);
    EXPECT_TRUE(again.mailer.started.empty());
    EXPECT_EQ(again.delivery.StatusCode(), 1);
    EXPECT_NE(again.view.Lines("Warning:").at(0).find("前回の送信は終わっていません。残りを送るには /c"), std::string::npos);
    EXPECT_EQ(Record(), before);

    TStart continued(folder);
    ASSERT_TRUE(continued.delivery.ParseCommandLine({"/P", "jobs.txt", "/c"}));
    continued.delivery.Activate();
    TStart fresh(folder);
    ASSERT_TRUE(fresh.delivery.ParseCommandLine({"/P", "jobs.txt"}));
    fresh.delivery.Activate();
    EXPECT_EQ(fresh.mailer.started.size(), 5u);
    EXPECT_EQ(fresh.delivery.StatusCode(), 0);
}

// --- Resends that keep the record ------------------------------------------------

TEST_F(ContinueTest, AQuotedSenderIsResentFromTheResultFileAlone)
{
    // The sender's opening quote is written as a quoted field, so the line
    // reads back in step and its row resends its own mail.
    folder.MakeFolder("logs");
    folder.WriteLines("mails/q.txt", {"../logs/o.txt", "h", "to@x.jp", "\"差出人 太郎\" <from@example.jp>", "件名", ""});
    folder.WriteLines("jobs.txt", {"mails/q.txt,Q1"});
    mailer.defaultRun.exitCode = 2;
    ASSERT_TRUE(Parse({"/P", "jobs.txt"}));
    delivery.Activate();
    fs::remove(folder.Path() + "$mail_result.jnl");
    TStart later(folder);
    later.delivery.ParseCommandLine({});
    later.delivery.Activate();
    later.delivery.ResendOnCommand();
    ASSERT_EQ(later.mailer.started.size(), 1u);
    EXPECT_NE(later.mailer.started[0].commandLine.find("to@x.jp"), std::string::npos);
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
    EXPECT_NE(Utf8(folder.ReadBytes("$mail_log.txt")).find(": 定義ファイルが見つからないため再送できません: "), std::string::npos);
    EXPECT_EQ(ResultLines().size(), 1u);
}

} // namespace
