// The lasting record of what was sent: the result file, the outcome logs, the
// lines that could not be written yet, and the run journal. Every append is
// all or nothing; a line that fails its attempts is kept, reported and tried
// again, never dropped without a word.
#pragma once

#include "platform/Files.h"
#include "run/RetryRules.h"
#include "run/RunEnvironment.h"
#include "run/RunJournal.h"

#include <string>
#include <vector>

// What reading the journal found.
enum class TJournalFile {
    kMissing,    // no journal
    kUnreadable, // a journal that cannot be read (not a file, locked)
    kEmpty,      // a journal without a record
    kRead,
};

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
    // Replaces the result file's contents (a continuation's mended file).
    bool RewriteResultFile(const std::string& contents);
    // One line of the mail log, stamped with the local time.
    void NoteInMailLog(const std::string& text);

    // --- Journal ----------------------------------------------------------------
    // A run's first act: a new journal holding its run record, on the disk,
    // and then an empty result file. False when either cannot be done.
    bool BeginRun(const std::string& jobListPath, const std::vector<std::string>& jobList);
    // A resend notes itself, then starts the result file empty.
    bool BeginResend(int part, bool resendMarker, const std::vector<std::string>& jobLines);
    // On the disk before the mailer starts. False when it could not be written.
    bool MailStarted(const std::string& encodedRecord);
    // Written, not waited for: the next record's sync carries it.
    bool MailDone(const std::string& encodedRecord);
    void RunFinished(int part);
    // A run's journal stays open while it runs; at its end it is let go.
    void CloseJournal() { journalFile_.Close(); }
    // What the journal says; `file` tells whether there was one to read.
    TJournalState ReadJournal(TJournalFile& file);

private:
    // The file is gone or empty afterwards, else false.
    bool StartEmpty(const std::string& path);
    struct TPendingLine {
        std::string path;
        std::string line;
    };
    bool AppendJournal(const std::string& text, bool sync);
    // Lays zeros out in the journal at `path` to hold `end` bytes; `size` is its length.
    bool GrowJournal(const std::string& path, long long end, long long& size);
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
    // records end at journalEnd_, the zeros at journalSize_. -1: not known,
    // and nothing may be written into it.
    long long journalEnd_ = -1;
    long long journalSize_ = 0;
    bool journalRead_ = false; // the journal is read before the first record goes in
    // Open from its first record of a run to the next read or new journal:
    // two records a mail need no opening of their own.
    platform::TInPlaceWriter journalFile_;
};
