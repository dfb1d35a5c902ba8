#include "run/RunEnvironment.h"

#include "platform/Process.h"
#include "platform/Termination.h"

namespace {
// How long a mailer that is asked to end may take before it is killed.
constexpr std::uint32_t kEndGraceMs = 2000;
} // namespace

void TSystemClock::Sleep(std::uint32_t ms) { platform::SleepMs(ms); }
std::uint32_t TSystemClock::Tick() { return platform::TickMs(); }
platform::LocalTime TSystemClock::Now() { return platform::NowLocal(); }

TSystemMailerProcess::~TSystemMailerProcess() { Close(); }

bool TSystemMailerProcess::Start(const std::string& commandLine, bool batchFile)
{
    Close();
    platform::ChildProcess child;
    const bool started = batchFile ? platform::StartBatchHidden(commandLine, child)
                                   : platform::StartHidden(commandLine, child);
    return started && Adopt(child);
}

bool TSystemMailerProcess::Adopt(const platform::ChildProcess& child)
{
    pid_ = child.pid;
    pidfd_ = child.pidfd;
    exitCode_ = 0;
    running_ = true;
    return true;
}

bool TSystemMailerProcess::StartBatch(int scriptFd, int outputFd, const std::string& batchPath)
{
    (void)batchPath; // never opened by name: someone may have renamed another file over it
    Close();
    platform::ChildProcess child;
    return platform::StartBatchOnDescriptors(scriptFd, outputFd, child) && Adopt(child);
}

bool TSystemMailerProcess::WaitEnded(std::uint32_t timeoutMs)
{
    if (!running_)
        return true;
    platform::ChildProcess child{pid_, pidfd_, 0};
    switch (platform::WaitForExit(child, timeoutMs)) {
    case platform::WaitResult::kTimeout:
        return false;
    case platform::WaitResult::kExited:
        exitCode_ = child.exitCode;
        break;
    case platform::WaitResult::kFailed:
        // The process can no longer be waited for: count the mail as failed.
        exitCode_ = -1;
        break;
    }
    running_ = false;
    return true;
}

TSystemTermination::TSystemTermination() { platform::WatchTerminationSignals(); }
int TSystemTermination::TakeRequest() { return platform::TakeTerminationSignal(); }

void TSystemMailerProcess::EndSession()
{
    if (!running_)
        return;
    platform::ChildProcess child{pid_, pidfd_, 0};
    platform::EndProcessSession(child, kEndGraceMs);
    exitCode_ = child.exited ? child.exitCode : -1;
    pidfd_ = child.pidfd;
    running_ = false;
}

int TSystemMailerProcess::ExitCode() { return exitCode_; }

void TSystemMailerProcess::Close()
{
    if (pid_ < 0 && pidfd_ < 0)
        return;
    platform::ChildProcess child{pid_, pidfd_, exitCode_};
    platform::CloseProcess(child);
    pid_ = -1;
    pidfd_ = -1;
    running_ = false;
}
