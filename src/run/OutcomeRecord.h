// The lasting record of what was sent: the result file, the outcome logs, the
// lines that could not be written yet, and the run journal. Every append is
// all or nothing; a line that fails its attempts is kept, reported and tried
// again, never dropped without a word.
#pragma once

#include "run/RetryRules.h"
#include "run/RunEnvironment.h"
#include "run/RunJournal.h"

#include <string>
#include <vector>

class TOutcomeRecord {
public:
    TOutcomeRecord(TRetryRules& retry, IClock& clock, IView& view, std::string programFolder);

    const std::string& ResultFilePath() const { return resultFile_; }
    const std::string& JournalPath() const { return journal_; }
    const std::string& MailLogPath() const { return mailLog_; }

    // --- Result lines -----------------------------------------------------------
    // Appends one line (its CR LF included) to the result file or an outcome
    // log under the write retry rule. True when it is in the file now; otherwise
    // it is kept, reported in the mail log and to an unattended caller, and
    // tried again by RetryPending.
    bool Append(const std::string& path, const std::string& line);
    // Tries the kept lines again, one record per file.
    void RetryPending();
    bool HasPending() const { return !pending_.empty(); }
    // The lines still unwritten, told to an unattended caller (at the end).
    void ReportUnwritten();
    // A process killed while appending can leave the result file without a
    // final line end: cut that torn line off.
    void RepairResultFile();

    // --- Journal ----------------------------------------------------------------
    // Each of these reaches the disk before it returns; false when it could not be written.
    // A run and a resend begin with an empty result file, a run with a new journal.
    bool BeginRun(const std::string& jobListPath, const std::vector<std::string>& jobList);
    bool BeginResend(bool resendMarker, const std::vector<std::string>& jobLines);
    bool MailStarting(const std::string& encodedRecord);
    void RunFinished();
    // What the journal says; a torn last record is cut off the file.
    TJournalState ReadJournal();

private:
    // The file is gone or empty afterwards, else false.
    bool StartEmpty(const std::string& path);
    struct TPendingLine {
        std::string path;
        std::string line;
    };
    bool AppendJournal(const std::string& text);
    // Where the next journal record goes (read from the file the first time).
    long long JournalEnd();
    // "<path> に書き込めません: <line>" for an unattended caller.
    void ReportUnattended(const TPendingLine& pending);

    TRetryRules& retry_;
    IClock& clock_;
    IView& view_;
    std::string resultFile_;
    std::string journal_;
    std::string mailLog_;
    std::vector<TPendingLine> pending_;
    // The journal is written in place into zeros laid out ahead of it: its
    // records end at journalEnd_, the zeros at journalSize_. -1: not yet known.
    long long journalEnd_ = -1;
    long long journalSize_ = 0;
};
