#include "run/OutcomeRecord.h"

#include "jtext/JpWords.h"
#include "platform/Files.h"
#include "run/TimeFormat.h"

#include <algorithm>
#include <map>

TOutcomeRecord::TOutcomeRecord(TRetryRules& retry, IClock& clock, IView& view, std::string programFolder)
    : retry_(retry), clock_(clock), view_(view), resultFile_(programFolder + "$mail_result.csv"),
      journal_(programFolder + "$mail_result.jnl"), mailLog_(programFolder + "$mail_log.txt")
{
}

bool TOutcomeRecord::Append(const std::string& path, const std::string& line)
{
    // An empty outcome-log line names no file: there is nothing to write to,
    // now or later, so the line is not kept.
    if (path.empty())
        return false;
    if (retry_.Write([&] { return platform::TryAppendFile(path, line); }) == 0)
        return true;
    pending_.push_back({path, line});
    // The mail log keeps the whole line, so that it survives even if its file never takes it.
    const std::string stamp = FormatMailLogStamp(clock_.Now());
    retry_.Write([&] { return platform::TryAppendFile(mailLog_, stamp + ": Record WriteError " + path + "\r\n" + line); });
    ReportUnattended(pending_.back());
    return false;
}

void TOutcomeRecord::RetryPending()
{
    if (pending_.empty())
        return;
    // One record per file, in the order the lines were kept.
    std::map<std::string, std::string> byFile;
    std::vector<std::string> order;
    for (const TPendingLine& p : pending_) {
        auto [it, fresh] = byFile.try_emplace(p.path);
        if (fresh)
            order.push_back(p.path);
        it->second += p.line;
    }
    std::vector<TPendingLine> still;
    for (const std::string& path : order) {
        const std::string& text = byFile[path];
        if (retry_.Write([&] { return platform::TryAppendFile(path, text); }) == 0) {
            const std::string stamp = FormatMailLogStamp(clock_.Now());
            platform::TryAppendFile(mailLog_, stamp + ": Record Written " + path + "\r\n");
            continue;
        }
        for (const TPendingLine& p : pending_) {
            if (p.path == path)
                still.push_back(p);
        }
    }
    pending_ = std::move(still);
}

void TOutcomeRecord::ReportUnwritten()
{
    for (const TPendingLine& p : pending_)
        ReportUnattended(p);
}

void TOutcomeRecord::ReportUnattended(const TPendingLine& p)
{
    view_.ReportUnattended(p.path + std::string(jp::kCannotWriteSuffix) + ": " + p.line.substr(0, p.line.size() - 2));
}

void TOutcomeRecord::RepairResultFile()
{
    std::string contents;
    if (!retry_.Load([&] { return platform::TryLoadFile(resultFile_, contents); }) || contents.empty())
        return;
    if (contents.size() >= 2 && contents.compare(contents.size() - 2, 2, "\r\n") == 0)
        return;
    const std::size_t end = contents.rfind("\r\n");
    const long long keep = end == std::string::npos ? 0 : static_cast<long long>(end + 2);
    retry_.Write([&] { return platform::TryCutFile(resultFile_, keep); });
}

namespace {
// Zeros laid out ahead of the journal's records at a time: a few thousand mails.
constexpr long long kJournalStep = 1 << 20;
} // namespace

long long TOutcomeRecord::JournalEnd()
{
    if (journalEnd_ < 0)
        ReadJournal();
    return journalEnd_;
}

bool TOutcomeRecord::AppendJournal(const std::string& text)
{
    const long long at = JournalEnd();
    if (at < 0)
        return false;
    const long long end = at + static_cast<long long>(text.size());
    if (end > journalSize_) {
        // A disk too full for the next stretch of zeros may still take this record.
        long long size = std::max(end, journalSize_ + kJournalStep);
        if (!platform::TryGrowFile(journal_, size)) {
            size = end;
            if (retry_.Write([&] { return platform::TryGrowFile(journal_, size); }) != 0)
                return false;
        }
        journalSize_ = size;
    }
    if (retry_.Write([&] { return platform::TryWriteAtSynced(journal_, at, text); }) != 0)
        return false;
    journalEnd_ = end;
    return true;
}

bool TOutcomeRecord::StartEmpty(const std::string& path)
{
    // On Windows a program reading the file (the caller watching the result
    // file, a virus scanner) keeps it from being deleted: the write retry rule
    // waits for it, and a file that still cannot go is emptied instead. A run
    // never starts on top of the outcomes of the last one.
    return retry_.Write([&] {
        return platform::DeleteFile(path) || !platform::FileExists(path) || platform::TryCutFile(path, 0);
    }) == 0;
}

bool TOutcomeRecord::BeginRun(const std::string& jobListPath, const std::vector<std::string>& jobList)
{
    if (!StartEmpty(resultFile_) || !StartEmpty(journal_))
        return false;
    journalEnd_ = 0;
    journalSize_ = 0;
    return AppendJournal(EncodeJournalRecord(TJournalKind::kRunBegun, {jobListPath, JobListDigest(jobList)}));
}

bool TOutcomeRecord::BeginResend(bool resendMarker, const std::vector<std::string>& jobLines)
{
    if (!StartEmpty(resultFile_))
        return false;
    TJournalRecord record{TJournalKind::kResendBegun, {resendMarker ? "1" : "0"}};
    record.fields.insert(record.fields.end(), jobLines.begin(), jobLines.end());
    return AppendJournal(EncodeJournalRecord(record));
}

bool TOutcomeRecord::MailStarting(const std::string& encodedRecord) { return AppendJournal(encodedRecord); }

void TOutcomeRecord::RunFinished() { AppendJournal(EncodeJournalRecord(TJournalKind::kRunFinished, {})); }

TJournalState TOutcomeRecord::ReadJournal()
{
    std::string contents;
    if (!platform::FileExists(journal_)) {
        journalEnd_ = journalSize_ = 0;
        return {};
    }
    if (!retry_.Load([&] { return platform::TryLoadFile(journal_, contents); })) {
        journalEnd_ = -1; // unknown: nothing may be written into it
        return {};
    }
    std::size_t valid = 0;
    std::vector<TJournalRecord> records = DecodeJournal(contents, valid);
    // The zeros ahead of the records, or a record torn by a process that died
    // while writing it, end the good part; the next record goes there.
    journalEnd_ = static_cast<long long>(valid);
    journalSize_ = static_cast<long long>(contents.size());
    if (valid < contents.size()) {
        // Whatever follows is zeros again, so that a torn record never reads as one.
        const std::string zeros(contents.size() - valid, '\0');
        if (contents.compare(valid, std::string::npos, zeros) != 0 &&
            retry_.Write([&] { return platform::TryWriteAtSynced(journal_, journalEnd_, zeros); }) != 0)
            journalEnd_ = -1;
    }
    contents.clear();
    contents.shrink_to_fit();
    return ReadJournalState(std::move(records));
}
