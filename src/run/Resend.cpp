// Sending the failed mails once more.
#include "run/TDelivery.h"

#include "jtext/JpWords.h"
#include "jtext/SjisBytes.h"
#include "platform/Files.h"

bool TDelivery::CollectFailed()
{
    if (!platform::FileExists(state_.ResultFilePath))
        return false;
    state_.JobList.clear();
    // From the bottom row (the first mail sent) to the top row. A mail whose
    // outcome is unknown may have gone out: it is never sent again on its own.
    for (std::size_t k = rows_.Count(); k-- > 0;) {
        const TResultRow& row = rows_.Row(k);
        if (row.Status != "0" && !row.OutcomeUnknown)
            state_.JobList.push_back(row.JobLine);
    }
    return true;
}

std::vector<std::string> TDelivery::DropUnusableJobLines()
{
    std::vector<std::string> usable, unusable;
    const std::vector<std::string> lines = std::move(state_.JobList);
    state_.JobList.clear();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        // The run's own reading of the line decides, so the two cannot disagree.
        state_.JobList = {lines[i]};
        ReadJobLine(0);
        const bool names = !job_.DefinitionPath.empty() && platform::FileExists(job_.DefinitionPath);
        (names ? usable : unusable).push_back(lines[i]);
    }
    state_.JobList = std::move(usable);
    return unusable;
}

void TDelivery::ResendOnCommand()
{
    if (!CollectFailed())
        return;
    if (state_.JobList.empty()) {
        view_.ShowInformation(jp::kNoErrorMails);
        return;
    }
    const std::vector<std::string> unusable = DropUnusableJobLines();
    std::string notResent;
    for (const std::string& line : unusable)
        notResent += "\r\n" + std::string(jp::kNotResent) + line;
    if (state_.JobList.empty()) {
        // Nothing could be sent: the result file stays, it is the only record of the failures.
        view_.ShowInformation(std::string(jp::kNothingResent) + notResent);
        return;
    }
    if (!view_.AskYesNo(std::string(jp::kAskResend) + (notResent.empty() ? "" : "\r\n" + notResent)))
        return;
    rows_.Clear();
    view_.ResultRowsReset();
    if (!record_.BeginResend(state_.ResendMarker, state_.JobList)) {
        ReportWriteFailure();
        return;
    }
    RunDelivery();
    if (!state_.Closing && !state_.StopRequest)
        record_.RunFinished();
}

void TDelivery::AutoResend()
{
    if (!CollectFailed() || state_.JobList.empty())
        return;
    const std::vector<std::string> unusable = DropUnusableJobLines();
    for (const std::string& line : unusable) {
        AppendFile(MailLogPath(), FormatMailLogStamp(clock_.Now()) + ": Resend Skipped " + line + "\r\n");
        view_.ReportUnattended(std::string(jp::kNotResent) + line);
    }
    if (state_.JobList.empty())
        return; // nothing to send: the result file stays
    rows_.Clear();
    view_.ResultRowsReset();
    state_.ResendMarker = true;
    if (!record_.BeginResend(state_.ResendMarker, state_.JobList)) {
        ReportWriteFailure();
        return;
    }
    RunDelivery();
}
