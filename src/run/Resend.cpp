// Sending the failed mails once more.
#include "run/TDelivery.h"

#include "jtext/JpWords.h"
#include "platform/Files.h"

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

} // namespace

bool TDelivery::CollectFailed(std::vector<std::string>& lines) const
{
    if (!platform::FileExists(ResultFilePath()))
        return false;
    lines.clear();
    // From the bottom row (the first mail sent) to the top row. A mail whose
    // outcome is unknown may have gone out: it is never sent again on its own.
    for (std::size_t k = rows_.Count(); k-- > 0;) {
        const TResultRow& row = rows_.Row(k);
        if (row.Resendable())
            lines.push_back(row.JobLine);
    }
    return true;
}

bool TDelivery::StartResend(std::vector<std::string> lines)
{
    rows_.Clear();
    view_.ResultRowsReset();
    state_.JobList = std::move(lines);
    ++state_.JournalPart;
    if (!record_.BeginResend(state_.JournalPart, state_.ResendMarker, state_.JobList)) {
        ReportWriteFailure();
        return false;
    }
    RunDelivery();
    return true;
}

void TDelivery::ResendOnCommand()
{
    std::vector<std::string> lines;
    if (!CollectFailed(lines))
        return;
    if (lines.empty()) {
        view_.ShowInformation(jp::kNoErrorMails);
        return;
    }
    std::string notResent;
    for (const std::string& line : DropUnusable(lines, programFolder_))
        notResent += "\r\n" + std::string(jp::kNotResent) + line;
    if (lines.empty()) {
        // Nothing could be sent: the result file stays, it is the only record of the failures.
        view_.ShowInformation(std::string(jp::kNothingResent) + notResent);
        return;
    }
    if (!view_.AskYesNo(std::string(jp::kAskResend) + (notResent.empty() ? "" : "\r\n" + notResent)))
        return;
    if (StartResend(std::move(lines)) && !state_.Controls.Closing && !state_.Controls.StopRequest)
        record_.RunFinished(state_.JournalPart);
    record_.CloseJournal();
}

void TDelivery::AutoResend()
{
    std::vector<std::string> lines;
    if (!CollectFailed(lines) || lines.empty())
        return;
    for (const std::string& line : DropUnusable(lines, programFolder_)) {
        record_.NoteInMailLog("Resend Skipped " + line);
        view_.ReportUnattended(std::string(jp::kNotResent) + line);
    }
    if (lines.empty())
        return; // nothing to send: the result file stays
    state_.ResendMarker = true;
    StartResend(std::move(lines));
}
