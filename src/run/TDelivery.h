// The delivery run: the scheduler that walks the job list and the record of
// every outcome. A job-list line becomes a TJob, its definition a TMail, the
// mail a TMailerCommand that TMailSender runs, and its outcome the status
// code and a result line. Everything runs on the GUI thread; the window is
// reached through IView, time through IClock.
#pragma once

#include "run/BatchCheck.h"
#include "run/Job.h"
#include "run/MailDefinition.h"
#include "run/MailSender.h"
#include "run/OutcomeRecord.h"
#include "run/ResultRows.h"
#include "run/RetryRules.h"
#include "run/RunEnvironment.h"
#include "run/RunState.h"
#include "run/TraceLog.h"
#include "settings/Rw_ini.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// What a continuation does with each job-list line (by index); empty for a run.
enum class TPlanned { kSend, kDone, kUnknown };
struct TPlan {
    std::vector<TPlanned> lines;
    const TJournalState* journal = nullptr; // what the journal knows of the mails
};

// What became of a run's lines, for its summary and the exit code.
struct TRunTally {
    int sent = 0, failed = 0, unknown = 0, skipped = 0;
    int resent = 0;                // mails of a resend run
    std::int32_t firstFailure = 0; // the first failed mail's status; 0 when none failed
    void Count(std::int32_t status, bool outcomeUnknown);
    // Adds a later part of the same run (a continuation's).
    void Add(const TRunTally& later);
    int Mails() const { return sent + failed + unknown; }
};

class TDelivery {
public:
    TDelivery(std::string programFolder, IView& view, IClock& clock, IMailerProcess& mailer);

    TRunState& State() { return state_; }
    const TRunState& State() const { return state_; }
    TRunOptions& Options() { return state_.Options; }
    TRunControls& Controls() { return state_.Controls; }
    TSettings& Settings() { return settings_; }
    TOutcomeRecord& Record() { return record_; }
    // Where termination signals come from (none unless set).
    void SetTermination(ITerminationSource& source) { termination_ = &source; }
    const TResultRows& ResultRows() const { return rows_; }
    const std::string& ProgramFolder() const { return programFolder_; }
    const std::string& ResultFilePath() const { return record_.ResultFilePath(); }
    const std::string& MailLogPath() const { return record_.MailLogPath(); }
    std::string CheckReportPath() const { return programFolder_ + "$mail_check.csv"; }
    // The outcome of the current (or last) mail, or of the run: the exit code.
    std::int32_t StatusCode() const { return statusCode_; }

    // --- Start-up --------------------------------------------------------------
    // Back to the options and the run state the program starts with.
    void ResetOptions();
    // Reads the options (CP932 arguments, without the program name). Returns the
    // job-list-ready flag. Throws EConvertError for a /t or /s value that is not
    // a decimal number; the options after it are then not read.
    bool ParseCommandLine(const std::vector<std::string>& args);
    // Deletes and re-creates the trace log when EnableTrace is set. Throws EInOutError.
    void StartTrace() { trace_.Start(settings_.EnableTrace != 0); }

    // --- Activation --------------------------------------------------------------
    enum class TActivation { kStayOpen, kCloseSoon, kClosing };
    // The activation work: previous results, then the run (or its continuation,
    // or the check) and the automatic resend when the command line gave a
    // usable job list.
    TActivation Activate();

    // --- The run -----------------------------------------------------------------
    TRunTally RunDelivery(const TPlan& plan = TPlan());
    void TimerWaitTimer() { state_.Controls.WaitOver = true; }
    void ColorButton1Click() { state_.Controls.StopRequest = true; }
    // Toggles the pause request; returns its new value.
    bool ColorButton2Click() { return state_.Controls.PauseRequest = !state_.Controls.PauseRequest; }
    // A termination signal: ends the run like the end button once the mail in
    // flight is recorded; a second one, or the grace period, ends the mailer.
    void TerminationRequested(int signal);
    // Takes the termination requests that came meanwhile.
    void PollTermination();
    bool TerminationPending() const { return state_.Controls.TerminationCount > 0; }

    // --- End of the process ------------------------------------------------------
    // The last chance for the record: no mailer is left running, kept lines are
    // tried once more and those still unwritten are reported. Returns the exit
    // code: `statusCode`, or 1 when a line of the record is still unwritten.
    int FinishProcess(int statusCode);

    // --- Results -----------------------------------------------------------------
    // Refills the result list from the result file.
    void LoadResultList();

    // --- Resend ------------------------------------------------------------------
    // The job-list lines of the failed rows, the first sent first; rows that
    // [Mail] ResendCodes holds back go to `heldBack`, with why. False when
    // there is no result file.
    bool CollectFailed(std::vector<std::string>& lines, std::vector<std::string>* heldBack = nullptr) const;
    // The popup command: asks, then resends the failed mails.
    void ResendOnCommand();
    // After a run with /r: the failed mails once more, without asking. The
    // resend's tally, or nothing when nothing was resent.
    std::optional<TRunTally> AutoResend();
    // /r without /P: the failed rows of the last result file, without a box.
    TActivation ResendLastResults();

    // --- Checking a batch (/v) -------------------------------------------------------
    // The check, its report file, and the findings shown.
    TActivation VerifyBatch();

private:
    // The one place the status code is set.
    void SetStatus(std::int32_t code) { statusCode_ = code; }
    // A file the run must write cannot be written: the warning box, the path
    // and the system's reason, and the end of the process with status 1.
    void ReportWriteFailure(const std::string& path);
    TActivation FreshRun();
    TActivation ContinueRun();
    // Makes the result file what the journal says was done, settles the mails
    // of which damage took a record, and plans each job-list line. False when
    // the result file cannot be written.
    bool MendFromJournal(TJournalState& journal, TPlan& plan);
    // Says why the program does not go on, and ends with status 1.
    TActivation Refuse(std::string_view why, const std::string& path);
    // After a run: the automatic resend, the journal's end, and the exit code
    // that [Mail] WorstExitCode asks for.
    void FinishRun(bool mayResend, const TRunTally& run);
    std::optional<TRunTally> StartResend(std::vector<std::string> lines);
    std::vector<std::string> ResendableLines(std::vector<std::string> failed, std::vector<std::string>& notResent);
    TActivation AfterRun() const;
    struct TRunFigures;
    enum class TGroup { kUnit, kRemainder };
    // One job-list line of a run. False when the run must end.
    bool SendOne(TRunFigures& f, const TPlan& plan, int index, bool firstOfGroup, TGroup group, int u, int r);
    // The values of a mail's result line when it starts.
    TResultLine StartLine(const TJob& job, const TMail& mail, const platform::LocalTime& start, int counter) const;
    // The same from the mail's definition, now, and its outcome log: for a
    // mail whose start record was lost.
    std::pair<TResultLine, std::string> LineFromDefinition(const TJob& job, int counter);
    // A mail whose outcome the continued run cannot know.
    void RecordUnknown(const TJob& job, const TJournalMail* journaled);
    // The outcome's journal record, result lines and row.
    void RecordResult(const TResultLine& line, const std::string& outcomeLogPath, int index);
    bool StopOrPauseCheck();
    void EndStopped();
    void LetEventsThrough();
    TMailerCommand CommandFor(const TMail& mail) const;
    // How the batch's files are read: the load retry rule and the settings' encoding.
    TBatchReader Files() { return {retry_, FileEncodingOf(settings_.FileEncoding)}; }
    // A record for the mail log, also on standard error when no window shows it.
    void Note(const std::string& text);
    void NoteSkipped(const TJob& job, const std::string& line);
    // The summary line of a run or resend: in the mail log, and on standard
    // error when no window shows it.
    void ReportSummary(const TRunTally& tally);

    std::string programFolder_;
    IView& view_;
    IClock& clock_;
    TSettings settings_;
    TRunState state_;
    std::int32_t statusCode_ = 0;
    TRetryRules retry_{clock_, state_.Controls.StopRequest};
    TTraceLog trace_;
    TOutcomeRecord record_;
    TMailSender sender_;
    IMailerProcess& mailer_;
    ITerminationSource* termination_ = nullptr;
    TResultRows rows_;
};
