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

TSystemTermination::TSystemTermination() { platform::WatchTerminationSignals(); }
int TSystemTermination::TakeRequest() { return platform::TakeTerminationSignal(); }

TSystemMailerProcess::~TSystemMailerProcess() { Close(); }

std::string TSystemMailerProcess::FindProgram(const std::string& name, const std::string& folder)
{
    // Every mail of a run names the same mailer: it is looked for again only
    // after a mail that did not go (the mailer may have moved meanwhile).
    if (found_.path.empty() || found_.name != name || found_.folder != folder)
        found_ = {name, folder, platform::FindProgram(name, folder)};
    return found_.path;
}

bool TSystemMailerProcess::Start(const platform::TCommandLine& command, const std::string& folder)
{
    Close();
    return Adopt(platform::StartHidden(command, folder, child_));
}

bool TSystemMailerProcess::StartBatch(platform::TFreshFile& script, platform::TFreshFile& output, const std::string& folder)
{
    Close();
    return Adopt(platform::StartBatch(script, output, folder, child_));
}

bool TSystemMailerProcess::Adopt(bool started)
{
    exitCode_ = 0;
    running_ = started;
    if (!started)
        found_ = {};
    return started;
}

bool TSystemMailerProcess::WaitEnded(std::uint32_t timeoutMs)
{
    if (!running_)
        return true;
    switch (platform::WaitForExit(child_, timeoutMs)) {
    case platform::WaitResult::kTimeout:
        return false;
    case platform::WaitResult::kExited:
        exitCode_ = child_.exitCode;
        if (exitCode_ != 0)
            found_ = {};
        break;
    case platform::WaitResult::kFailed:
        // The process can no longer be waited for: count the mail as failed.
        exitCode_ = -1;
        found_ = {};
        break;
    }
    running_ = false;
    return true;
}

TSystemMailerProcess::TSystemMailerProcess() { platform::AdoptOrphanedDescendants(); }

void TSystemMailerProcess::EndSession()
{
    if (running_) {
        platform::EndProcessSession(child_, kEndGraceMs);
        exitCode_ = child_.exited ? child_.exitCode : -1;
        running_ = false;
    }
    // What left the mailer's session (setsid) goes too: no mailer outlives us.
    platform::EndDescendants();
}

int TSystemMailerProcess::ExitCode() { return exitCode_; }

void TSystemMailerProcess::Close()
{
    platform::CloseProcess(child_);
    running_ = false;
}
