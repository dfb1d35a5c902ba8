// The delivery loop: send units, pauses, waits, the remaining-time estimate.
#include "run/TDelivery.h"

#include "jtext/JpWords.h"
#include "platform/Paths.h"
#include "run/TimeFormat.h"

#include <tuple>

#include <cstdint>

namespace {
constexpr std::uint32_t kCheckStepMs = 250;
constexpr std::uint32_t kPausedWaitStepMs = 1000;

// Floating-point products become integers by dropping the fraction.
std::int64_t Trunc(double v) { return static_cast<std::int64_t>(v); }
} // namespace

struct TDelivery::TRunFigures {
    int N = 0, P = 1, U = 0, R = 0;
    std::uint32_t a = 0;   // running time per mail, ms
    int e = 0;             // failed mails of this run
    std::int64_t E = 0;    // last remaining-time estimate, s (64-bit: long runs must not overflow)
    double t = 0, s = 0;   // unit wait (min), per-mail pause (s)
    std::string subject;   // of the mail being sent, or the last one
    TRunTally tally;       // what became of the lines so far

    // Waits still ahead of unit u, counting the one before a remainder group.
    std::int64_t WaitsAhead(int u) const
    {
        return Trunc((U - u - 1) * t * 60) + (R != 0 ? Trunc(t * 60) : 0);
    }
    // Mails not yet done from line i on, at the current time per mail.
    std::int64_t MailsAhead(int i) const
    {
        return (static_cast<std::int64_t>(U) * P + R - i) * static_cast<std::int64_t>(a) / 1000;
    }
};

void TDelivery::EndStopped()
{
    view_.SetProgressPosition(0);
    view_.SetLabelState(jp::kForcedEnd);
}

void TDelivery::LetEventsThrough()
{
    view_.ProcessEvents();
    PollTermination();
}

// True when the run must end: a stop request, also one that comes while paused.
bool TDelivery::StopOrPauseCheck()
{
    const TRunControls& k = state_.Controls;
    if (k.Closing)
        return true;
    if (k.StopRequest) {
        EndStopped();
        return true;
    }
    while (k.PauseRequest) {
        LetEventsThrough();
        clock_.Sleep(kCheckStepMs);
        if (k.Closing)
            return true;
        if (k.StopRequest) {
            EndStopped();
            return true;
        }
    }
    return false;
}

TMailerCommand TDelivery::CommandFor(const TMail& mail) const
{
    return BuildCommand(mail, {settings_.Name, settings_.NoTopt, state_.Options.BatchMode, state_.Options.EncodeSenderName});
}

bool TDelivery::SendOne(TRunFigures& f, const TPlan& plan, int i, bool firstOfGroup, TGroup group, int u, int r)
{
    const auto k = static_cast<std::size_t>(i);
    const TPlanned planned = k < plan.lines.size() ? plan.lines[k] : TPlanned::kSend;
    if (planned == TPlanned::kDone)
        return true; // its outcome is on record: skipped like a line without a definition
    const TJob job = ReadJobLine(state_.JobList, i, programFolder_);
    if (planned == TPlanned::kUnknown) {
        const auto it = plan.journal->mails.find(i);
        const TJournalMail* journaled = it != plan.journal->mails.end() && it->second.started ? &it->second : nullptr;
        // A line that names no definition was never sent, whatever the damage hid.
        if (journaled || !job.Skipped()) {
            RecordUnknown(job, journaled);
            ++f.e;
            f.tally.Count(kStatusOutcomeUnknown, true);
            record_.RetryPending();
            view_.SetProgressPosition(i + 1);
            LetEventsThrough();
            return !state_.Controls.Closing;
        }
    }
    if (job.Skipped()) {
        // Skipped: no pause, no mail, no result line; but a word of why.
        ++f.tally.skipped;
        NoteSkipped(job, state_.JobList[k]);
        return true;
    }

    // A definition that cannot be read gives no lines: the mail is recorded
    // as failed, never sent with lines of an earlier mail.
    std::vector<std::string> lines;
    const TFileProblem problem = Files().Lines(job.DefinitionPath, lines);

    std::string label(jp::kSendingPrefix);
    label += std::to_string(i + 1) + "/" + std::to_string(f.N) + ":";
    label += platform::FileNameOf(platform::NormalizeSeparators(job.DefinitionPath));
    view_.SetLabelState(label);

    TMail mail = ParseMailDefinition(std::move(lines), job.DefinitionPath, programFolder_, Files());
    // A definition that cannot be read is too short, as it always was; one
    // whose text is refused (UTF-8) is unusable: its mailer never starts.
    if (problem && !problem.unreadable)
        mail.Unusable = problem.text;
    if (problem || !mail.Unusable.empty())
        Note(mail.Unusable.empty() ? problem.text : mail.Unusable);
    const bool unusable = !mail.Unusable.empty();
    const std::string& folder = mail.MailFolder.empty() ? state_.Options.WorkFolder : mail.MailFolder;
    // The mailer still runs for a definition too short; it must not find an
    // earlier mail's body then.
    if (!unusable && !(mail.TooShort ? sender_.RemoveBody(folder) : sender_.WriteBody(mail, folder))) {
        ReportWriteFailure(TMailSender::BodyPath(folder));
        return false;
    }
    const platform::LocalTime start = clock_.Now();
    f.subject = mail.Subject;

    // The estimate before the mail.
    if (group == TGroup::kUnit) {
        f.E = f.WaitsAhead(u) + f.MailsAhead(i);
    } else {
        f.E = static_cast<std::int64_t>(f.R - r) * f.a / 1000;
        view_.UpdateSummary(false, f.subject, i + 1, f.N, f.E, f.e);
    }

    const std::uint32_t t0 = clock_.Tick();
    view_.SetLabelSendVisible(true);
    if (!firstOfGroup && f.s != 0)
        clock_.Sleep(static_cast<std::uint32_t>(Trunc(f.s * 1000)));

    TResultLine line = StartLine(job, mail, start, state_.MailCounter + 1);
    // The journal holds the mail before its mailer can start: should this
    // process die, a continuation knows the mail may have gone out.
    if (!record_.MailStarted(EncodeMailStarted(state_.JournalPart, i, line, mail.OutcomeLogPath))) {
        ReportWriteFailure(record_.JournalPath());
        return false;
    }
    std::string unwritten;
    const std::optional<TMailOutcome> outcome = unusable ? TMailOutcome{{TMailerEnd::kUnusable, 0}, false}
                                                         : sender_.SendMail(CommandFor(mail), folder, mail.TooShort, unwritten);
    if (!outcome) {
        ReportWriteFailure(unwritten);
        return false;
    }
    if (state_.Controls.Closing)
        return false;
    SetStatus(StatusOf(*outcome));
    view_.SetLabelSendVisible(false);
    if (IsFailed(statusCode_))
        ++f.e;
    f.tally.Count(statusCode_, false);
    // Unsigned 32-bit arithmetic: a wrap of the tick is harmless.
    f.a = static_cast<std::uint32_t>(static_cast<std::uint32_t>(clock_.Tick() - t0) + f.a) >> 1;

    // The display after the mail.
    if (group == TGroup::kUnit) {
        view_.UpdateSummary(false, f.subject, i, f.N, f.E, f.e);
    } else {
        f.E = static_cast<std::int64_t>(f.R - r) * f.a / 1000;
        view_.UpdateSummary(false, f.subject, i + 1, f.N, f.E, f.e);
    }

    ++state_.MailCounter;
    line.Status = statusCode_;
    line.EndTime = FormatResultTime(clock_.Now());
    RecordResult(line, mail.OutcomeLogPath, i);
    record_.RetryPending();
    view_.SetProgressPosition(i + 1);
    LetEventsThrough();
    return !state_.Controls.Closing;
}

void TDelivery::RecordResult(const TResultLine& line, const std::string& outcomeLogPath, int index)
{
    // A done record that cannot be written leaves the mail started but not
    // done: a continuation then calls it unknown, and never sends it again.
    record_.MailDone(EncodeMailDone(state_.JournalPart, index, line));
    // The result file first: a continuation that finds a done mail without
    // its line there knows its outcome log lacks it too.
    record_.Append(ResultFilePath(), ComposeResultLine(line, true) + "\r\n");
    record_.Append(outcomeLogPath, ComposeResultLine(line, false) + "\r\n");
    rows_.InsertTop(RowOf(line));
    view_.ResultRowInserted();
}

TResultLine TDelivery::StartLine(const TJob& job, const TMail& mail, const platform::LocalTime& start, int counter) const
{
    TResultLine line;
    line.Date = FormatResultDate(start);
    line.Time = FormatResultTime(start);
    line.Host = mail.Host;
    line.Recipients = mail.RecipientDisplay;
    line.Sender = mail.Sender1;
    line.Subject = mail.Subject;
    line.Attachments = mail.AttachmentNames;
    line.Counter = counter;
    line.SendCode = job.SendCode;
    line.DefinitionPath = job.DefinitionPath;
    line.Resend = state_.ResendMarker;
    return line;
}

std::pair<TResultLine, std::string> TDelivery::LineFromDefinition(const TJob& job, int counter)
{
    std::vector<std::string> lines;
    Files().Lines(job.DefinitionPath, lines);
    const TMail mail = ParseMailDefinition(std::move(lines), job.DefinitionPath, programFolder_, Files());
    return {StartLine(job, mail, clock_.Now(), counter), mail.OutcomeLogPath};
}

void TDelivery::RecordUnknown(const TJob& job, const TJournalMail* journaled)
{
    TResultLine line;
    std::string outcomeLogPath;
    if (journaled) {
        line = journaled->line;
        outcomeLogPath = journaled->outcomeLogPath;
    } else {
        // Its start record was lost: what the definition says stands in for it.
        std::tie(line, outcomeLogPath) = LineFromDefinition(job, ++state_.MailCounter);
    }
    line.Status = kStatusOutcomeUnknown;
    line.Unknown = true;
    line.Resend = state_.ResendMarker;
    line.EndTime = FormatResultTime(clock_.Now());
    SetStatus(kStatusOutcomeUnknown);
    RecordResult(line, outcomeLogPath, job.Index);
}

void TRunTally::Count(std::int32_t status, bool outcomeUnknown)
{
    if (outcomeUnknown)
        ++unknown;
    else if (IsFailed(status))
        ++failed;
    else
        ++sent;
    if (IsFailed(status) && firstFailure == 0)
        firstFailure = status;
}

void TDelivery::NoteSkipped(const TJob& job, const std::string& line)
{
    std::string text(jp::kSkippedLine);
    text += std::to_string(job.Index + 1) + std::string(jp::kLineSuffix) + line + " ";
    if (job.Missing.empty())
        text += jp::kNoDefinitionPath;
    else
        text += std::string(jp::kNoDefinitionFile) + job.Missing;
    Note(text);
}

void TDelivery::Note(const std::string& text)
{
    record_.NoteInMailLog(text);
    view_.ReportUnattended(text);
}

TRunTally TDelivery::RunDelivery(const TPlan& plan)
{
    const TRunOptions& o = state_.Options;
    TRunControls& k = state_.Controls;
    TRunFigures f;
    f.t = o.UnitWait;
    f.s = o.MailPause;
    f.a = static_cast<std::uint32_t>(Trunc((f.s + 5) * 1000));
    k.StopRequest = false;
    view_.SetLabelState(jp::kSendingStarted);
    view_.SetProgressPosition(0);

    const int lines = static_cast<int>(state_.JobList.size());
    f.N = (o.SendLimit != 0 && lines > o.SendLimit) ? o.SendLimit : lines;
    view_.SetProgressMax(f.N);
    const int m = o.SendUnit;
    const bool units = m != 0 && f.t != 0;
    f.P = units ? m : 1;
    f.U = units ? f.N / m : f.N;
    f.R = units ? f.N % m : 0;

    for (int u = 0; u < f.U; ++u) {
        for (int j = 0; j < f.P; ++j) {
            const int i = u * f.P + j;
            if (!SendOne(f, plan, i, j == 0, TGroup::kUnit, u, 0) || StopOrPauseCheck())
                return f.tally;
        }
        view_.UpdateSummary(false, f.subject, (u + 1) * f.P, f.N, f.E, f.e);
        if (f.t == 0)
            continue;
        if (u == f.U - 1 && f.R == 0)
            break; // no wait after the last unit

        k.WaitOver = false;
        view_.StartTimerWait(static_cast<std::uint32_t>(Trunc(f.t * 60000)));
        view_.SetLabelState(jp::kWaitingToSend);
        std::int64_t W = 0;
        while (!k.WaitOver) {
            if (k.Closing)
                return f.tally;
            if (k.StopRequest) {
                EndStopped();
                return f.tally;
            }
            LetEventsThrough();
            clock_.Sleep(kCheckStepMs);
            W += kCheckStepMs;
            // Unit u's mails still count as not done here.
            f.E = f.WaitsAhead(u) + f.MailsAhead(u * f.P) - W / 1000;
            view_.UpdateSummary(true, f.subject, (u + 1) * f.P, f.N, f.E, f.e);
            while (k.PauseRequest) {
                clock_.Sleep(kPausedWaitStepMs);
                LetEventsThrough();
                if (k.Closing)
                    return f.tally;
                if (k.StopRequest) {
                    EndStopped();
                    return f.tally;
                }
            }
        }
    }

    for (int r = 0; r < f.R; ++r) {
        const int i = f.U * f.P + r;
        if (!SendOne(f, plan, i, r == 0, TGroup::kRemainder, 0, r) || StopOrPauseCheck())
            return f.tally;
    }

    record_.RetryPending(); // the end of the run is the last regular chance for kept lines
    view_.SetProgressPosition(0);
    view_.ClearSummary();
    view_.SetLabelState(jp::kSent);
    return f.tally;
}
