// The delivery run: start-up state, job list and mail definitions, the mailer
// command and process, the scheduler, results and logs, the resend, and the
// file writers with their retry rules. Everything runs on the GUI thread; the
// window is reached through IView, time through IClock.
#pragma once

#include "run/ResultRows.h"
#include "run/RunEnvironment.h"
#include "run/RunState.h"
#include "settings/Rw_ini.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class TDelivery {
public:
    TDelivery(std::string programFolder, IView& view, IClock& clock, IMailerProcess& mailer);

    TRunState& State() { return state_; }
    const TRunState& State() const { return state_; }
    TSettings& Settings() { return settings_; }
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
    void LoadResultList();

    // --- Resend ------------------------------------------------------------------
    // Replaces the job list by the failed rows' lines. False when there is no result file.
    bool CollectFailed();
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

private:
    void ReportWriteFailure();
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
    TCurrentJob job_;
    TCurrentMail mail_;
    TResultRows rows_;
    platform::LocalTime mailStart_{};
    // The batch script and mailer output descriptors while a batch mail runs.
    int batchScriptFd_ = -1;
    int batchOutputFd_ = -1;
};

// The subject piece: the subject in double quotes, with its quotes and the
// backslashes before them escaped as the Microsoft C runtime reads them.
std::string QuoteSubjectForMailer(std::string_view subject);

// Splits a result-file line into fields (quoted fields allowed); returns the count.
int SplitResultLine(std::string_view line, std::vector<std::string>& fields);

// Time stamps of the files.
std::string FormatResultDate(const platform::LocalTime& t);   // yyyy/m/d
std::string FormatResultTime(const platform::LocalTime& t);   // h:n:s
std::string FormatMailLogStamp(const platform::LocalTime& t); // yyyymmddhhnnss
std::string FormatTraceStamp(const platform::LocalTime& t);   // "yyyy/mm/dd hh:nn:ss "
