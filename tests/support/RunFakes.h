// Fakes for the delivery run: virtual time, a recording window and a scripted
// mailer. A wait of minutes takes no real time.
#pragma once

#include "run/RunEnvironment.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

class TDelivery;

class TVirtualClock : public IClock {
public:
    void Sleep(std::uint32_t ms) override { now_ += ms; sleeps.push_back(ms); }
    std::uint32_t Tick() override { return static_cast<std::uint32_t>(now_ + tickOffset); }
    platform::LocalTime Now() override;

    void Advance(std::uint64_t ms) { now_ += ms; }
    std::uint64_t Elapsed() const { return now_; }

    // Local time at virtual 0.
    platform::LocalTime start{2024, 3, 5, 9, 5, 7, 0};
    // Added to the tick, to test its wrap-around.
    std::uint64_t tickOffset = 0;
    std::vector<std::uint32_t> sleeps;

private:
    std::uint64_t now_ = 0;
};

// Records every display call as a line of text (CP932 texts converted to UTF-8).
class TRecordingView : public IView {
public:
    explicit TRecordingView(TVirtualClock& clock) : clock_(clock) {}
    void Attach(TDelivery& delivery) { delivery_ = &delivery; }

    void ClearSummary() override { log.push_back("ClearSummary"); }
    void UpdateSummary(bool waitOnly, std::string_view subject, int processed, int total, std::int64_t remainingSeconds, int errors) override;
    void SetLabelState(std::string_view text) override;
    void SetLabelSendVisible(bool visible) override { log.push_back(visible ? "LabelSend:show" : "LabelSend:hide"); }
    void SetProgressMax(int max) override { log.push_back("ProgressMax:" + std::to_string(max)); }
    void SetProgressPosition(int position) override { log.push_back("Progress:" + std::to_string(position)); }
    void ResultRowsReset() override { log.push_back("RowsReset"); }
    void ResultRowInserted() override { log.push_back("RowInserted"); }
    void ProcessEvents() override;
    void StartTimerWait(std::uint32_t intervalMs) override;
    void ShowWarning(std::string_view caption, std::string_view text) override;
    void ShowInformation(std::string_view text) override;
    bool AskYesNo(std::string_view text) override;
    void CloseWindow() override { log.push_back("CloseWindow"); }
    void ReportUnattended(std::string_view text) override;
    void WriteStandardError(std::string_view text) override;

    // Runs `action` at the first event pass at or after virtual time `atMs`.
    void At(std::uint64_t atMs, std::function<void()> action) { scheduled.push_back({atMs, std::move(action)}); }
    // Lines of the log that start with `prefix`.
    std::vector<std::string> Lines(const std::string& prefix) const;

    std::vector<std::string> log;
    bool yesAnswer = true;
    int eventPasses = 0;

private:
    struct Scheduled { std::uint64_t at; std::function<void()> action; };
    TVirtualClock& clock_;
    TDelivery* delivery_ = nullptr;
    bool timerActive_ = false;
    std::uint64_t timerDue_ = 0;
    std::deque<Scheduled> scheduled;
};

// A mailer whose runs take virtual time and end with scripted exit codes.
// Termination requests handed out in order.
class TScriptedTermination : public ITerminationSource {
public:
    std::deque<int> requests;
    int TakeRequest() override
    {
        if (requests.empty())
            return 0;
        const int s = requests.front();
        requests.pop_front();
        return s;
    }
};

class TScriptedMailer : public IMailerProcess {
public:
    explicit TScriptedMailer(TVirtualClock& clock) : clock_(clock) {}

    struct Run {
        std::uint64_t durationMs = 0;
        int exitCode = 0;
        bool startFails = false;
    };
    // Runs handed out in order; when none are left, `defaultRun` is used.
    std::deque<Run> script;
    Run defaultRun;

    // What each start was given: the command line (the batch script's path in
    // batch mode), the arguments and the folder it starts in.
    struct Started {
        std::string commandLine;
        bool batchFile = false;
        std::vector<std::string> args;
        std::string folder;
    };
    std::vector<Started> started;

    // Every program is found, under its own name.
    std::string FindProgram(const std::string& name, const std::string&) override { return name; }
    bool Start(const platform::TCommandLine& command, const std::string& folder) override;
    bool StartBatch(platform::TFreshFile& script, platform::TFreshFile& output, const std::string& folder) override;
    bool WaitEnded(std::uint32_t timeoutMs) override;
    int ExitCode() override { return current_.exitCode; }
    // Ends the run at once, as a process killed by SIGTERM.
    void EndSession() override;
    void Close() override {}
    int endSessions = 0;

private:
    bool Begin(Started started);
    TVirtualClock& clock_;
    Run current_;
    std::uint64_t endsAt_ = 0;
};
