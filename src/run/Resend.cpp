// Sending the failed mails once more: the popup command, the automatic resend
// after a run, and the resend of the last result file (/r without /P).
#include "run/TDelivery.h"

#include "jtext/JpWords.h"
#include "jtext/SjisBytes.h"
#include "platform/Files.h"

#include <climits>
#include <cstdint>
#include <set>

namespace {

// Of the lines, those that name an existing definition; the others are
// returned, to be reported.
std::vector<std::string> DropUnusable(std::vector<std::string>& lines, const std::string& programFolder)
{
    std::vector<std::string> usable, unusable;
    for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
        // The run's own reading of the line decides, so the two cannot disagree.
        const TJob job = ReadJobLine(lines, i, programFolder);
        const bool names = !job.Skipped() && platform::FileExists(job.DefinitionPath);
        (names ? usable : unusable).push_back(lines[static_cast<std::size_t>(i)]);
    }
    lines = std::move(usable);
    return unusable;
}

// The status codes that [Mail] ResendCodes lets a resend take ("75, 69"), read
// as the program reads every list (the first empty field ends it); an empty
// setting, or one without a single number, takes every failure.
std::set<std::int32_t> ResendCodes(const std::string& setting)
{
    std::set<std::int32_t> codes;
    ForEachField(setting, ',', [&](const std::string& field) {
        constexpr std::int32_t kNotANumber = INT32_MIN;
        const std::int32_t code = ParseIniInteger(Trim(field), kNotANumber);
        if (code != kNotANumber)
            codes.insert(code);
    });
    return codes;
}

} // namespace

bool TDelivery::CollectFailed(std::vector<std::string>& lines, std::vector<std::string>* heldBack) const
{
    if (!platform::FileExists(ResultFilePath()))
        return false;
    lines.clear();
    const std::set<std::int32_t> codes = ResendCodes(settings_.ResendCodes);
    // From the bottom row (the first mail sent) to the top row. A mail whose
    // outcome is unknown may have gone out: it is never sent again on its own.
    for (std::size_t k = rows_.Count(); k-- > 0;) {
        const TResultRow& row = rows_.Row(k);
        if (!row.Resendable())
            continue;
        if (codes.empty() || codes.count(row.Status) != 0)
            lines.push_back(row.JobLine);
        else if (heldBack)
            heldBack->push_back(std::string(jp::kCodeNotResent) + std::to_string(row.Status) + " " + row.JobLine);
    }
    return true;
}

// The lines a resend sends, of the failed rows collected; `notResent` gets
// why each other failed row stays, and each reason goes to the mail log.
std::vector<std::string> TDelivery::ResendableLines(std::vector<std::string> failed, std::vector<std::string>& notResent)
{
    for (const std::string& line : DropUnusable(failed, programFolder_))
        notResent.push_back(std::string(jp::kNotResent) + line);
    for (const std::string& why : notResent)
        Note(why);
    return failed;
}

std::optional<TRunTally> TDelivery::StartResend(std::vector<std::string> lines)
{
    rows_.Clear();
    view_.ResultRowsReset();
    state_.JobList = std::move(lines);
    ++state_.JournalPart;
    if (!record_.BeginResend(state_.JournalPart, state_.ResendMarker, state_.JobList)) {
        ReportWriteFailure(record_.JournalPath());
        return std::nullopt;
    }
    TRunTally tally = RunDelivery();
    tally.resent = tally.Mails();
    ReportSummary(tally);
    return tally;
}

void TDelivery::ResendOnCommand()
{
    std::vector<std::string> failed, notResent;
    if (!CollectFailed(failed, &notResent))
        return;
    if (failed.empty() && notResent.empty()) {
        view_.ShowInformation(jp::kNoErrorMails);
        return;
    }
    std::vector<std::string> lines = ResendableLines(std::move(failed), notResent);
    std::string reasons;
    for (const std::string& why : notResent)
        reasons += "\r\n" + why;
    if (lines.empty()) {
        // Nothing could be sent: the result file stays, it is the only record of the failures.
        view_.ShowInformation(std::string(jp::kNothingResent) + reasons);
        return;
    }
    if (!view_.AskYesNo(std::string(jp::kAskResend) + (reasons.empty() ? "" : "\r\n" + reasons)))
        return;
    if (StartResend(std::move(lines)) && !state_.Controls.Closing && !state_.Controls.StopRequest)
        record_.RunFinished(state_.JournalPart);
    record_.CloseJournal();
}

std::optional<TRunTally> TDelivery::AutoResend()
{
    std::vector<std::string> failed, notResent;
    if (!CollectFailed(failed, &notResent))
        return std::nullopt;
    std::vector<std::string> lines = ResendableLines(std::move(failed), notResent);
    if (lines.empty())
        return std::nullopt; // nothing to send: the result file stays
    state_.ResendMarker = true;
    return StartResend(std::move(lines));
}

TDelivery::TActivation TDelivery::ResendLastResults()
{
    LoadResultList();
    SetStatus(kStatusSent);
    std::vector<std::string> failed, notResent;
    CollectFailed(failed, &notResent);
    std::vector<std::string> lines = ResendableLines(std::move(failed), notResent);
    if (lines.empty()) {
        // Said whether or not a window shows: the caller asked for a resend.
        const std::string text = std::string(jp::kNothingToResend) + ResultFilePath();
        view_.WriteStandardError(text);
        record_.NoteInMailLog(text);
        return AfterRun();
    }
    state_.ResendMarker = true;
    const std::optional<TRunTally> tally = StartResend(std::move(lines));
    if (!tally)
        return TActivation::kClosing;
    const TRunControls& k = state_.Controls;
    if (!k.Closing && !k.StopRequest)
        record_.RunFinished(state_.JournalPart);
    record_.CloseJournal();
    if (settings_.WorstExitCode != 0 && !k.Closing)
        SetStatus(tally->firstFailure);
    return AfterRun();
}
