// Sending the failed mails once more.
#include "run/TDelivery.h"

#include "jtext/JpWords.h"
#include "platform/Files.h"

bool TDelivery::CollectFailed()
{
    if (!platform::FileExists(state_.ResultFilePath))
        return false;
    state_.JobList.clear();
    // From the bottom row (the first mail sent) to the top row.
    for (std::size_t k = rows_.Count(); k-- > 0;) {
        const TResultRow& row = rows_.Row(k);
        if (row.Status != "0")
            state_.JobList.push_back(row.JobLine);
    }
    return true;
}

void TDelivery::ResendOnCommand()
{
    if (!CollectFailed())
        return;
    if (state_.JobList.empty()) {
        view_.ShowInformation(jp::kNoErrorMails);
        return;
    }
    if (!view_.AskYesNo(jp::kAskResend))
        return;
    platform::DeleteFile(state_.ResultFilePath);
    rows_.Clear();
    view_.ResultRowsReset();
    RunDelivery();
}

void TDelivery::AutoResend()
{
    if (!CollectFailed() || state_.JobList.empty())
        return;
    platform::DeleteFile(state_.ResultFilePath);
    rows_.Clear();
    view_.ResultRowsReset();
    state_.ResendMarker = true;
    RunDelivery();
}
