// Continuing a run that did not finish (/c), from its journal alone.
#include "run/TDelivery.h"

#include "jtext/JpWords.h"
#include "platform/Files.h"

#include <algorithm>
#include <unordered_map>

namespace {

// The line of an earlier result file that belongs to a mail of which the
// journal lost a record: the same job-list line, a known outcome, and what
// the journal still knows of it (its sequence number, its start).
const TResultLine* FindOwnLine(const std::vector<TResultLine>& lines, const TJournalMail& m, const TJob& job)
{
    for (const TResultLine& r : lines) {
        if (r.Unknown || r.SendCode != job.SendCode || r.DefinitionPath != job.DefinitionPath)
            continue;
        if ((m.started || m.done) && r.Counter != m.line.Counter)
            continue;
        if (!m.started || (r.Date == m.line.Date && r.Time == m.line.Time))
            return &r;
    }
    return nullptr;
}

} // namespace

TDelivery::TActivation TDelivery::ContinueRun()
{
    TRunOptions& o = state_.Options;
    TJournalFile file = TJournalFile::kMissing;
    TJournalState j = record_.ReadJournal(file);
    const std::string& journal = record_.JournalPath();
    switch (file) {
    case TJournalFile::kMissing: return Refuse(jp::kNoJournal, journal);
    case TJournalFile::kEmpty: return Refuse(jp::kJournalEmpty, journal);
    case TJournalFile::kUnreadable: return Refuse(jp::kJournalUnreadable, journal);
    case TJournalFile::kRead: break;
    }
    if (!j.present || j.partUnknown)
        return Refuse(jp::kJournalUnreadable, journal);
    // Guessing which mails of another list were sent could send them twice.
    if (j.jobListPath != o.JobListPath || j.jobListDigest != JobListDigest(state_.JobList))
        return Refuse(jp::kOtherJobList, o.JobListPath);
    SetStatus(kStatusSent);
    if (j.finished) {
        LoadResultList(); // nothing to continue
        return AfterRun();
    }

    if (j.part > 0) {
        state_.JobList = j.resendLines;
        state_.ResendMarker = j.resendMarker;
    }
    state_.JournalPart = j.part;
    state_.MailCounter = std::max(state_.MailCounter, j.highestCounter);

    TPlan plan;
    if (!MendFromJournal(j, plan)) {
        ReportWriteFailure(ResultFilePath());
        return TActivation::kClosing;
    }
    // The summary and the exit code speak of the whole run, its earlier part included.
    TRunTally tally;
    for (const auto& [index, m] : j.mails) {
        if (m.done && index < static_cast<int>(state_.JobList.size()))
            tally.Count(m.line.Status, m.line.Unknown);
    }
    tally.Add(RunDelivery(plan));
    if (j.part > 0)
        tally.resent = tally.Mails();
    ReportSummary(tally);
    // The resend follows a continued first run as it follows any run.
    FinishRun(j.part == 0, tally);
    return AfterRun();
}

bool TDelivery::MendFromJournal(TJournalState& j, TPlan& plan)
{
    // The result file is what the journal says was done, and nothing else:
    // lines of an earlier run go, a done mail without its line gets it (in
    // its outcome log too, which is written after the result file).
    std::vector<std::string> old;
    if (platform::FileExists(ResultFilePath()))
        retry_.LoadLines(ResultFilePath(), old);
    std::unordered_map<std::string, int> present;
    for (const std::string& line : old)
        ++present[line];
    std::vector<TResultLine> parsed;

    plan.journal = &j;
    plan.lines.assign(state_.JobList.size(), TPlanned::kSend);
    // A mail of which damage took a record is known from its line all the same.
    auto ownLine = [&](const TJournalMail& m, const TJob& job) {
        if (parsed.empty())
            for (const std::string& line : old)
                parsed.push_back(ParseResultLine(line));
        return FindOwnLine(parsed, m, job);
    };
    auto settleFromLine = [&](int index, TJournalMail& m, const TResultLine& own) {
        if (m.started || record_.MailStarted(EncodeMailStarted(j.part, index, own, m.outcomeLogPath))) {
            m.line = own;
            m.started = m.done = true;
            record_.MailDone(EncodeMailDone(j.part, index, m.line));
        }
    };
    const int lines = static_cast<int>(plan.lines.size());
    for (const auto& [first, last] : j.maybeStarted) {
        for (int index = first; index <= std::min(last, lines - 1); ++index) {
            const TJob job = ReadJobLine(state_.JobList, index, programFolder_);
            // A line that names no definition was never sent.
            if (!j.MaybeStarted(index) || job.Skipped())
                continue;
            if (const TResultLine* own = ownLine(TJournalMail{}, job))
                settleFromLine(index, j.mails[index], *own);
            else
                plan.lines[static_cast<std::size_t>(index)] = TPlanned::kUnknown;
        }
    }
    std::string mended;
    rows_.Clear();
    for (auto& [index, m] : j.mails) {
        if (index >= lines)
            continue;
        if (!m.done || !m.started) {
            const TJob job = ReadJobLine(state_.JobList, index, programFolder_);
            const TResultLine* own = ownLine(m, job);
            if (own && !m.done) {
                settleFromLine(index, m, *own);
            } else if (m.done && !m.started) {
                // Done, with its start record lost: its line, or what its definition says.
                TResultLine line = own ? *own : LineFromDefinition(job, m.line.Counter).first;
                line.Status = m.line.Status;
                line.EndTime = m.line.EndTime;
                line.Unknown = m.line.Unknown;
                m.line = line;
                m.started = true;
            }
        }
        if (!m.done) {
            if (m.started)
                plan.lines[static_cast<std::size_t>(index)] = TPlanned::kUnknown;
            continue;
        }
        plan.lines[static_cast<std::size_t>(index)] = TPlanned::kDone;
        m.line.Resend = j.part > 0 && j.resendMarker;
        const std::string text = ComposeResultLine(m.line, true);
        const auto it = present.find(text);
        if (it != present.end() && it->second > 0)
            --it->second;
        else
            record_.Append(m.outcomeLogPath, ComposeResultLine(m.line, false) + "\r\n");
        mended += text;
        mended += "\r\n";
        rows_.InsertTop(RowOf(m.line));
    }
    view_.ResultRowsReset();
    return record_.RewriteResultFile(mended);
}
