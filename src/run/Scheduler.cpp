// The delivery loop: send units, pauses, waits, the remaining-time estimate.
#include "run/TDelivery.h"

#include "jtext/JpWords.h"
#include "jtext/SjisBytes.h"
#include "platform/Paths.h"

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

// True when the run must end: a stop request, also one that comes while paused.
bool TDelivery::StopOrPauseCheck()
{
    if (state_.Closing)
        return true;
    if (state_.StopRequest) {
        EndStopped();
        return true;
    }
    while (state_.PauseRequest) {
        view_.ProcessEvents();
        PollTermination();
        clock_.Sleep(kCheckStepMs);
        if (state_.Closing)
            return true;
        if (state_.StopRequest) {
            EndStopped();
            return true;
        }
    }
    return false;
}

bool TDelivery::SendOne(TRunFigures& f, int i, bool firstOfGroup, TGroup group, int u, int r)
{
    if (continuation_) {
        const auto k = static_cast<std::size_t>(i);
        if (k < continuation_->done.size() && continuation_->done[k])
            return true; // its outcome is on record: skipped like a line without a definition
        if (k < continuation_->unknown.size() && continuation_->unknown[k]) {
            RecordUnknown(*continuation_->unknown[k]);
            ++f.e;
            record_.RetryPending();
            view_.SetProgressPosition(i + 1);
            view_.ProcessEvents();
            PollTermination();
            return !state_.Closing;
        }
    }
    ReadJobLine(i);
    if (job_.DefinitionPath.empty())
        return true; // skipped: no pause, no mail, no result line

    state_.StatusCode = 0;
    // Never parse lines left over from an earlier mail: a definition that cannot
    // be read leaves none, and the mail is recorded as failed.
    state_.DefinitionLines.clear();
    LoadLines(job_.DefinitionPath, state_.DefinitionLines);

    std::string label(jp::kSendingPrefix);
    label += std::to_string(i + 1) + "/" + std::to_string(f.N) + ":";
    label += platform::FileNameOf(platform::NormalizeSeparators(job_.DefinitionPath));
    view_.SetLabelState(label);

    ParseMailDefinition();
    if (state_.Closing)
        return false;
    std::string savedWorkFolder;
    const bool ownFolder = !mail_.MailFolder.empty();
    if (ownFolder) {
        savedWorkFolder = state_.WorkFolder;
        state_.WorkFolder = mail_.MailFolder;
    }
    mailStart_ = clock_.Now();

    // The estimate before the mail.
    if (group == TGroup::kUnit) {
        f.E = f.WaitsAhead(u) + f.MailsAhead(i);
    } else {
        f.E = static_cast<std::int64_t>(f.R - r) * f.a / 1000;
        view_.UpdateSummary(false, i + 1, f.N, f.E, f.e);
    }

    const std::uint32_t t0 = clock_.Tick();
    view_.SetLabelSendVisible(true);
    if (!firstOfGroup && f.s != 0)
        clock_.Sleep(static_cast<std::uint32_t>(Trunc(f.s * 1000)));
    // The journal holds the mail before its mailer can start: should this
    // process die, a continuation knows the mail may have gone out.
    if (!JournalMailStart(i))
        return false;
    SendMail();
    if (state_.Closing)
        return false;
    view_.SetLabelSendVisible(false);
    if (state_.StatusCode != 0)
        ++f.e;
    // Unsigned 32-bit arithmetic: a wrap of the tick is harmless.
    f.a = static_cast<std::uint32_t>(static_cast<std::uint32_t>(clock_.Tick() - t0) + f.a) >> 1;

    // The display after the mail.
    if (group == TGroup::kUnit) {
        view_.UpdateSummary(false, i, f.N, f.E, f.e);
    } else {
        f.E = static_cast<std::int64_t>(f.R - r) * f.a / 1000;
        view_.UpdateSummary(false, i + 1, f.N, f.E, f.e);
    }

    ++state_.MailCounter;
    RecordResult(mail_.OutcomeLogPath, state_.MailCounter, nullptr);
    RecordResult(state_.ResultFilePath, state_.MailCounter, &job_.DefinitionPath);
    record_.RetryPending();
    view_.SetProgressPosition(i + 1);
    view_.ProcessEvents();
    PollTermination();
    if (ownFolder)
        state_.WorkFolder = savedWorkFolder;
    return !state_.Closing;
}

bool TDelivery::JournalMailStart(int i)
{
    const std::string date = FormatResultDate(mailStart_), time = FormatResultTime(mailStart_);
    const TOutcomeValues values{date, time, mail_.Host, mail_.RecipientDisplay, mail_.Sender1, mail_.Subject,
                                mail_.AttachmentNames, job_.SendCode, state_.MailCounter + 1};
    if (record_.MailStarting(TStartedMail::Encode(i, values, RowJobLine(), mail_.OutcomeLogPath, job_.DefinitionPath)))
        return true;
    ReportWriteFailure();
    return false;
}

void TDelivery::RunDelivery()
{
    TRunFigures f;
    f.t = state_.UnitWait;
    f.s = state_.MailPause;
    f.a = static_cast<std::uint32_t>(Trunc((f.s + 5) * 1000));
    state_.StopRequest = false;
    view_.SetLabelState(jp::kSendingStarted);
    view_.SetProgressPosition(0);

    const int lines = static_cast<int>(state_.JobList.size());
    f.N = (state_.SendLimit != 0 && lines > state_.SendLimit) ? state_.SendLimit : lines;
    view_.SetProgressMax(f.N);
    const int m = state_.SendUnit;
    const bool units = m != 0 && f.t != 0;
    f.P = units ? m : 1;
    f.U = units ? f.N / m : f.N;
    f.R = units ? f.N % m : 0;

    for (int u = 0; u < f.U; ++u) {
        for (int j = 0; j < f.P; ++j) {
            const int i = u * f.P + j;
            if (!SendOne(f, i, j == 0, TGroup::kUnit, u, 0) || StopOrPauseCheck())
                return;
        }
        view_.UpdateSummary(false, (u + 1) * f.P, f.N, f.E, f.e);
        if (f.t == 0)
            continue;
        if (u == f.U - 1 && f.R == 0)
            break; // no wait after the last unit

        state_.WaitOver = false;
        view_.StartTimerWait(static_cast<std::uint32_t>(Trunc(f.t * 60000)));
        view_.SetLabelState(jp::kWaitingToSend);
        std::int64_t W = 0;
        while (!state_.WaitOver) {
            if (state_.Closing)
                return;
            if (state_.StopRequest) {
                EndStopped();
                return;
            }
            view_.ProcessEvents();
            PollTermination();
            clock_.Sleep(kCheckStepMs);
            W += kCheckStepMs;
            // Unit u's mails still count as not done here.
            f.E = f.WaitsAhead(u) + f.MailsAhead(u * f.P) - W / 1000;
            view_.UpdateSummary(true, (u + 1) * f.P, f.N, f.E, f.e);
            while (state_.PauseRequest) {
                clock_.Sleep(kPausedWaitStepMs);
                view_.ProcessEvents();
                PollTermination();
                if (state_.Closing)
                    return;
                if (state_.StopRequest) {
                    EndStopped();
                    return;
                }
            }
        }
    }

    for (int r = 0; r < f.R; ++r) {
        const int i = f.U * f.P + r;
        if (!SendOne(f, i, r == 0, TGroup::kRemainder, 0, r) || StopOrPauseCheck())
            return;
    }

    record_.RetryPending(); // the end of the run is the last regular chance for kept lines
    view_.SetProgressPosition(0);
    view_.ClearSummary();
    view_.SetLabelState(jp::kSent);
}
