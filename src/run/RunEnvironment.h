// What the delivery run needs from its surroundings: time, the window and the
// mailer process. The program passes the real ones; tests pass fakes (virtual
// time, a recording window, scripted mailers).
#pragma once

#include "platform/Clock.h"
#include "platform/FreshFile.h"
#include "platform/Process.h"

#include <cstdint>
#include <string>
#include <string_view>

class IClock {
public:
    virtual ~IClock() = default;
    virtual void Sleep(std::uint32_t ms) = 0;
    // Millisecond tick; wraps around as an unsigned 32-bit counter.
    virtual std::uint32_t Tick() = 0;
    virtual platform::LocalTime Now() = 0;
};

// The window as the run sees it. Texts are CP932.
class IView {
public:
    virtual ~IView() = default;

    virtual void ClearSummary() = 0;
    virtual void UpdateSummary(bool waitOnly, std::string_view subject, int processed, int total, std::int64_t remainingSeconds, int errors) = 0;
    virtual void SetLabelState(std::string_view text) = 0;
    virtual void SetLabelSendVisible(bool visible) = 0;
    virtual void SetProgressMax(int max) = 0;
    virtual void SetProgressPosition(int position) = 0;

    // The result rows changed: emptied or refilled as a whole.
    virtual void ResultRowsReset() = 0;
    // One row was inserted at the top.
    virtual void ResultRowInserted() = 0;

    // Lets pending window events through (buttons, timers, the close).
    virtual void ProcessEvents() = 0;
    // Starts TimerWait with the given interval; when it fires, the window calls
    // TDelivery::TimerWaitTimer.
    virtual void StartTimerWait(std::uint32_t intervalMs) = 0;

    // Modal boxes. Without a person to answer them they take their default.
    virtual void ShowWarning(std::string_view caption, std::string_view text) = 0;
    virtual void ShowInformation(std::string_view text) = 0;
    virtual bool AskYesNo(std::string_view text) = 0;

    // Closes the main window (which ends the process when the status code is non-zero).
    virtual void CloseWindow() = 0;

    // A note for a caller that runs the program without a visible window (no
    // display, or /i): written to standard error then; nothing otherwise.
    virtual void ReportUnattended(std::string_view text) = 0;
    // A word for whoever started the program (command-line mistakes, files
    // that cannot be written): written to standard error whatever the window.
    virtual void WriteStandardError(std::string_view text) = 0;
};

// One mailer process at a time.
class IMailerProcess {
public:
    virtual ~IMailerProcess() = default;
    // The program a command names, as a full path (see platform::FindProgram:
    // the program folder, then PATH; never the folder it starts in unless the
    // name holds a separator). Empty when there is none.
    virtual std::string FindProgram(const std::string& name, const std::string& folder) = 0;
    // Starts the command hidden in `folder`. False when it cannot be started.
    virtual bool Start(const platform::TCommandLine& command, const std::string& folder) = 0;
    // Starts the batch script `script` whose output belongs in `output`, both
    // fresh files the caller holds, in `folder` (see platform::StartBatch).
    virtual bool StartBatch(platform::TFreshFile& script, platform::TFreshFile& output, const std::string& folder) = 0;
    // Waits up to timeoutMs; true once the process has ended.
    virtual bool WaitEnded(std::uint32_t timeoutMs) = 0;
    // The exit code of the ended process.
    virtual int ExitCode() = 0;
    // Ends the process and everything in its session: politely first, then at
    // once; then every other process the mailers started that is still
    // running. WaitEnded then reports it ended. Also called at the program's end.
    virtual void EndSession() = 0;
    // Releases the process's handles.
    virtual void Close() = 0;
};

// Requests from outside to end the program (termination signals).
class ITerminationSource {
public:
    virtual ~ITerminationSource() = default;
    // The oldest request not yet taken (its signal number), 0 when there is none.
    virtual int TakeRequest() = 0;
};

// The real clock and mailer process of this platform.
class TSystemClock : public IClock {
public:
    void Sleep(std::uint32_t ms) override;
    std::uint32_t Tick() override;
    platform::LocalTime Now() override;
};

class TSystemTermination : public ITerminationSource {
public:
    // Starts noting termination signals instead of dying of them.
    TSystemTermination();
    int TakeRequest() override;
};

class TSystemMailerProcess : public IMailerProcess {
public:
    // Takes over the mailers' orphaned descendants (see platform::AdoptOrphanedDescendants).
    TSystemMailerProcess();
    ~TSystemMailerProcess() override;
    std::string FindProgram(const std::string& name, const std::string& folder) override;
    bool Start(const platform::TCommandLine& command, const std::string& folder) override;
    bool StartBatch(platform::TFreshFile& script, platform::TFreshFile& output, const std::string& folder) override;
    bool WaitEnded(std::uint32_t timeoutMs) override;
    int ExitCode() override;
    void EndSession() override;
    void Close() override;

private:
    // Takes a started child over as the running mailer.
    bool Adopt(bool started);
    // The program FindProgram found last, for the name and folder it was asked.
    struct TFound {
        std::string name, folder, path;
    };
    TFound found_;
    platform::ChildProcess child_;
    int exitCode_ = 0;
    bool running_ = false;
};
