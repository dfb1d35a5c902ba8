// The delivery run: start-up state, job list and mail definitions, the mailer
// command and process, the scheduler, results and logs, the resend, and the
// file writers with their retry rules. Everything runs on the GUI thread; the
// window is reached through IView, time through IClock.
#pragma once

#include "run/BatchCheck.h"
#include "run/OutcomeRecord.h"
#include "run/ResultRows.h"
#include "run/RetryRules.h"
#include "run/RunEnvironment.h"
#include "run/RunState.h"
#include "run/TimeFormat.h"
#include "settings/Rw_ini.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TDelivery {
public:
    TDelivery(std::string programFolder, IView& view, IClock& clock, IMailerProcess& mailer);

    TRunState& State() { return state_; }
    const TRunState& State() const { return state_; }
    TSettings& Settings() { return settings_; }
    TOutcomeRecord& Record() { return record_; }
    // Where termination signals come from (none unless set).
    void SetTermination(ITerminationSource& source) { termination_ = &source; }
    const TCurrentJob& CurrentJob() const { return job_; }
    const TCurrentMail& CurrentMail() const { return mail_; }
    const TResultRows& ResultRows() const { return rows_; }
    const std::string& ProgramFolder() const { return programFolder_; }
    std::string MailLogPath() const { return programFolder_ + "$mail_log.txt"; }
    std::string TracePath() const { return programFolder_ + "TraceMailLog.txt"; }

    // --- Start-up --------------------------------------------------------------
    // Resets the options and the run state (start-up steps 3 to 6).
    void ResetOptions();
    // Reads the options (CP932 arguments, without the program name). Returns the
    // job-list-ready flag. Throws EConvertError for a /t or /s value that is not
    // a decimal number; the options after it are then not read.
    bool ParseCommandLine(const std::vector<std::string>& args);
    // Deletes and re-creates the trace log when EnableTrace is set. Throws EInOutError.
    void StartTrace();

    // --- Activation --------------------------------------------------------------
    enum class TActivation { kStayOpen, kCloseSoon, kClosing };
    // The activation work: previous results, then the run and the automatic
    // resend when the command line gave a usable job list.
    TActivation Activate();

    // --- The run -----------------------------------------------------------------
    void RunDelivery();
    void TimerWaitTimer() { state_.WaitOver = true; }
    void ColorButton1Click() { state_.StopRequest = true; }
    // Toggles the pause request; returns its new value.
    bool ColorButton2Click() { return state_.PauseRequest = !state_.PauseRequest; }
    // A termination signal: ends the run like the end button once the mail in
    // flight is recorded; a second one, or the grace period, ends the mailer.
    void TerminationRequested(int signal);
    // Takes the termination requests that came meanwhile.
    void PollTermination();
    bool TerminationPending() const { return state_.TerminationCount > 0; }

    // --- End of the process ------------------------------------------------------
    // The last chance for the record: no mailer is left running, kept lines are
    // tried once more and those still unwritten are reported. Returns the exit
    // code: the status code, or 1 when a line of the record is still unwritten.
    int FinishProcess(int statusCode);

    // --- One mail ----------------------------------------------------------------
    void ReadJobLine(int index);
    void ParseMailDefinition();
    std::string EncodeSender(const std::string& sender1) const;
    // The mailer command of the current mail (pieces 1 to 12 of the mode).
    std::string BuildCommand(bool batch) const;
    // Empty when the command splits back into what its pieces mean (each option
    // value one argument, the address list as written); otherwise why it does
    // not, and the mail must not reach the mailer.
    std::string CommandRefusal(bool batch, std::string_view command) const;
    void SendMail();
    int RunAndWait(const std::string& commandLine, bool batchFile);

    // --- Results -----------------------------------------------------------------
    void RecordResult(const std::string& path, int number, const std::string* definitionPath);
    // Refills the result list from the result file. With the journal, each row
    // gets the job-list line its mail came from.
    void LoadResultList(bool withJournal = true);

    // --- Resend ------------------------------------------------------------------
    // Replaces the job list by the failed rows' lines. False when there is no result file.
    bool CollectFailed();
    // Of the collected lines, keeps those that name an existing definition; the
    // others are returned, to be reported. The result file is never given up for them.
    std::vector<std::string> DropUnusableJobLines();
    // The popup command: asks, then resends the failed mails.
    void ResendOnCommand();
    void AutoResend();

    // --- File access with the retry rules -------------------------------------
    // The two retry rules, around any single attempt. Load: up to 11 attempts,
    // 50 ms apart; true once one succeeded. Write: up to 10 attempts, 150 ms
    // apart, cut short by the stop request; 0 on success, 1 on failure.
    bool RetryLoad(const std::function<bool()>& attempt);
    int RetryWrite(const std::function<bool()>& attempt);
    // Load retry rule: up to 11 attempts, 50 ms apart. On failure `lines` is unchanged.
    bool LoadLines(const std::string& path, std::vector<std::string>& lines);
    // Write retry rule: up to 10 attempts, 150 ms apart, cut short by the stop request.
    int WriteNewFile(const std::string& path, std::string_view text);
    int AppendFile(const std::string& path, std::string_view text);
    // One trace line when EnableTrace is set. Throws EInOutError.
    void WriteTrace(std::string_view message);

    // The relative-path rule: a path longer than two bytes that is not absolute
    // gets `base` put in front of it. Separators are normalised first.
    static std::string ApplyRelativePathRule(std::string_view path, const std::string& base);

    // --- Checking a batch (/v) -------------------------------------------------------
    // Walks the job list as a run would and reports what is wrong; sends nothing
    // and writes no file.
    TCheckReport CheckBatch();
    // The activation of /v: the check, its report file, and the findings shown.
    TActivation VerifyBatch();
    std::string CheckReportPath() const { return programFolder_ + "$mail_check.csv"; }

private:
    void ReportWriteFailure();
    TActivation ContinueRun();
    // The result list from result-file lines, each row with its job-list line from the journal where it has one.
    void FillResultRows(const std::vector<std::string>& lines, const TStartedMailIndex& journal);
    void FinishRun(bool mayResend);
    void RecordUnknown(const TStartedMail& mail);
    bool JournalMailStart(int index);
    // The job-list line that sends the current mail again: definition path, a comma, send code.
    std::string RowJobLine() const { return job_.DefinitionPath + "," + job_.SendCode; }
    struct TRunFigures;
    enum class TGroup { kUnit, kRemainder };
    // One job-list line of a run. False when the window is closing.
    bool SendOne(TRunFigures& f, int index, bool firstOfGroup, TGroup group, int u, int r);
    bool StopOrPauseCheck();
    void EndStopped();
    std::string WorkFile(std::string_view name) const { return state_.WorkFolder + std::string(name); }

    std::string programFolder_;
    IView& view_;
    IClock& clock_;
    IMailerProcess& mailer_;
    TSettings settings_;
    TRunState state_;
    TRetryRules retry_{clock_, state_.StopRequest};
    TOutcomeRecord record_;
    ITerminationSource* termination_ = nullptr;
    // A continued run: lines whose outcome is on record, and mails whose outcome is unknown.
    struct TContinuation {
        std::vector<bool> done;
        std::vector<const TStartedMail*> unknown;
        TJournalState journal;
    };
    std::unique_ptr<TContinuation> continuation_;
    bool timedOut_ = false; // the last mailer was ended by the time limit
    std::vector<std::string>* missingFiles_ = nullptr; // a check notes the CC and BCC files that are missing
    TCurrentJob job_;
    TCurrentMail mail_;
    TResultRows rows_;
    platform::LocalTime mailStart_{};
    // The batch script and the mailer output file while a batch mail runs.
    platform::TFreshFile* batchScript_ = nullptr;
    platform::TFreshFile* batchOutput_ = nullptr;
};

// The subject piece: the subject in double quotes, with its quotes and the
// backslashes before them escaped as the Microsoft C runtime reads them.
// A sender value (-f, -r, -n) as it goes into the command: as written, or,
// when blanks or quotes would cut it into several arguments, quoted whole like
// the subject. A value already in one pair of grouping quotes (the /z form)
// stays as it is.
std::string SenderForMailer(std::string_view value);
std::string QuoteSubjectForMailer(std::string_view subject);

// Splits a result-file line into fields (quoted fields allowed); returns the count.
int SplitResultLine(std::string_view line, std::vector<std::string>& fields);
