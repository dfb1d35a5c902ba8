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

bool TOutcomeRecord::RewriteResultFile(const std::string& contents)
{
    return retry_.WriteNewFile(resultFile_, contents) == 0;
}

void TOutcomeRecord::NoteInMailLog(const std::string& text)
{
    retry_.AppendFile(mailLog_, FormatMailLogStamp(clock_.Now()) + ": " + text + "\r\n");
}

namespace {
// Zeros laid out ahead of the journal's records at a time: a few thousand mails.
constexpr long long kJournalStep = 1 << 20;
} // namespace

bool TOutcomeRecord::AppendJournal(const std::string& text, bool sync)
{
    if (!journalRead_) {
        TJournalFile file;
        ReadJournal(file);
    }
    if (journalEnd_ < 0)
        return false;
    const long long at = journalEnd_;
    const long long end = at + static_cast<long long>(text.size());
    if (end > journalSize_) {
        journalFile_.Close(); // reopened at its new length
        if (!GrowJournal(journal_, end, journalSize_))
            return false;
    }
    const int failed = retry_.Write([&] {
        if ((journalFile_.IsOpen() || journalFile_.Open(journal_)) && journalFile_.WriteAt(at, text, sync))
            return true;
        journalFile_.Close(); // the next attempt opens it afresh
        return false;
    });
    if (failed != 0)
        return false;
    journalEnd_ = end;
    return true;
}

bool TOutcomeRecord::GrowJournal(const std::string& path, long long end, long long& size)
{
    // Zeros laid out a stretch at a time; a disk too full for the next
    // stretch may still take the record at hand.
    long long grown = std::max(end, size + kJournalStep);
    if (!platform::TryGrowFile(path, grown)) {
        grown = end;
        if (retry_.Write([&] { return platform::TryGrowFile(path, grown); }) != 0)
            return false;
    }
    size = grown;
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
    // The run record reaches the disk before anything of the last run is
    // given up, and the new journal takes the old one's place in one step:
    // whenever this process dies, the journal is the last run's or this one's,
    // and a continuation mends the result file from it.
    journalFile_.Close();
    const std::string fresh = journal_ + ".new";
    const std::string record = EncodeJournalRecord(TJournalKind::kRunBegun, {jobListPath, JobListDigest(jobList)});
    long long size = 0;
    if (!StartEmpty(fresh) || !GrowJournal(fresh, static_cast<long long>(record.size()), size)
        || retry_.Write([&] { return platform::TryWriteAt(fresh, 0, record, true); }) != 0
        || retry_.Write([&] { return platform::TryReplaceFile(fresh, journal_); }) != 0)
        return false;
    journalRead_ = true;
    journalEnd_ = static_cast<long long>(record.size());
    journalSize_ = size;
    return StartEmpty(resultFile_);
}

bool TOutcomeRecord::BeginResend(int part, bool resendMarker, const std::vector<std::string>& jobLines)
{
    TJournalRecord record{TJournalKind::kResendBegun, {std::to_string(part), resendMarker ? "1" : "0"}};
    record.fields.insert(record.fields.end(), jobLines.begin(), jobLines.end());
    return AppendJournal(EncodeJournalRecord(record), true) && StartEmpty(resultFile_);
}

bool TOutcomeRecord::MailStarted(const std::string& encodedRecord) { return AppendJournal(encodedRecord, true); }

bool TOutcomeRecord::MailDone(const std::string& encodedRecord) { return AppendJournal(encodedRecord, false); }

void TOutcomeRecord::RunFinished(int part)
{
    AppendJournal(EncodeJournalRecord(TJournalKind::kRunFinished, {std::to_string(part)}), true);
}

TJournalState TOutcomeRecord::ReadJournal(TJournalFile& file)
{
    journalFile_.Close();
    journalRead_ = true;
    journalEnd_ = -1;
    if (platform::DirectoryExists(journal_)) {
        file = TJournalFile::kUnreadable;
        return {};
    }
    if (!platform::FileExists(journal_)) {
        file = TJournalFile::kMissing;
        journalEnd_ = journalSize_ = 0;
        return {};
    }
    std::string contents;
    if (!retry_.Load([&] { return platform::TryLoadFile(journal_, contents); })) {
        file = TJournalFile::kUnreadable;
        return {};
    }
    const TDecodedJournal decoded = DecodeJournal(contents);
    // New records go behind everything that is not zero: damage stays where
    // it is, for every later reader to see.
    journalEnd_ = static_cast<long long>(decoded.end);
    journalSize_ = static_cast<long long>(contents.size());
    contents.clear();
    contents.shrink_to_fit();
    file = decoded.items.empty() ? TJournalFile::kEmpty : TJournalFile::kRead;
    return ReadJournalState(decoded);
}
