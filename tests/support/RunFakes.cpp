#include "support/RunFakes.h"

#include "platform/CodePage.h"
#include "run/TDelivery.h"

#include <chrono>

platform::LocalTime TVirtualClock::Now()
{
    using namespace std::chrono;
    const sys_days day = year{start.year} / month{static_cast<unsigned>(start.month)} / static_cast<unsigned>(start.day);
    const std::uint64_t ms = now_ + static_cast<std::uint64_t>(start.millisecond);
    const sys_time<milliseconds> at = day + hours{start.hour} + minutes{start.minute} + seconds{start.second}
        + milliseconds{static_cast<long long>(ms)} - milliseconds{start.millisecond};
    const sys_days atDay = floor<days>(at);
    const year_month_day date{atDay};
    const hh_mm_ss<milliseconds> time{at - atDay};
    return platform::LocalTime{static_cast<int>(date.year()), static_cast<int>(static_cast<unsigned>(date.month())),
                               static_cast<int>(static_cast<unsigned>(date.day())), static_cast<int>(time.hours().count()),
                               static_cast<int>(time.minutes().count()), static_cast<int>(time.seconds().count()),
                               static_cast<int>(time.subseconds().count())};
}

void TRecordingView::UpdateSummary(bool waitOnly, std::string_view, int processed, int total, std::int64_t remainingSeconds, int errors)
{
    log.push_back(std::string("UpdateSummary(") + (waitOnly ? "true" : "false") + "," + std::to_string(processed) + "," +
                  std::to_string(total) + "," + std::to_string(remainingSeconds) + "," + std::to_string(errors) + ")");
}

void TRecordingView::SetLabelState(std::string_view text)
{
    log.push_back("LabelState:" + platform::Cp932ToUtf8(text));
}

void TRecordingView::ProcessEvents()
{
    ++eventPasses;
    if (timerActive_ && clock_.Elapsed() >= timerDue_) {
        timerActive_ = false;
        log.push_back("TimerWaitTimer");
        if (delivery_)
            delivery_->TimerWaitTimer();
    }
    while (!scheduled.empty() && scheduled.front().at <= clock_.Elapsed()) {
        auto action = std::move(scheduled.front().action);
        scheduled.pop_front();
        action();
    }
}

void TRecordingView::StartTimerWait(std::uint32_t intervalMs)
{
    log.push_back("StartTimerWait:" + std::to_string(intervalMs));
    timerActive_ = true;
    timerDue_ = clock_.Elapsed() + intervalMs;
}

void TRecordingView::ShowWarning(std::string_view caption, std::string_view text)
{
    log.push_back("Warning:" + platform::Cp932ToUtf8(caption) + ":" + platform::Cp932ToUtf8(text));
}

void TRecordingView::ReportUnattended(std::string_view text)
{
    log.push_back("Unattended:" + platform::Cp932ToUtf8(text));
}

void TRecordingView::WriteStandardError(std::string_view text)
{
    log.push_back("Stderr:" + platform::Cp932ToUtf8(text));
}

void TRecordingView::ShowInformation(std::string_view text)
{
    log.push_back("Information:" + platform::Cp932ToUtf8(text));
}

bool TRecordingView::AskYesNo(std::string_view text)
{
    log.push_back("AskYesNo:" + platform::Cp932ToUtf8(text));
    return yesAnswer;
}

std::vector<std::string> TRecordingView::Lines(const std::string& prefix) const
{
    std::vector<std::string> out;
    for (const std::string& line : log) {
        if (line.rfind(prefix, 0) == 0)
            out.push_back(line);
    }
    return out;
}

bool TScriptedMailer::Start(const platform::TCommandLine& command, const std::string& folder)
{
    return Begin({command.Line, false, command.Args, folder});
}

bool TScriptedMailer::StartBatch(platform::TFreshFile& script, platform::TFreshFile&, const std::string& folder)
{
    return Begin({script.Path(), true, {}, folder});
}

bool TScriptedMailer::Begin(Started run)
{
    started.push_back(std::move(run));
    if (!script.empty()) {
        current_ = script.front();
        script.pop_front();
    } else {
        current_ = defaultRun;
    }
    if (current_.startFails)
        return false;
    endsAt_ = clock_.Elapsed() + current_.durationMs;
    return true;
}

bool TScriptedMailer::WaitEnded(std::uint32_t timeoutMs)
{
    const std::uint64_t now = clock_.Elapsed();
    if (now >= endsAt_)
        return true;
    const std::uint64_t left = endsAt_ - now;
    if (left <= timeoutMs) {
        clock_.Advance(left);
        return true;
    }
    clock_.Advance(timeoutMs);
    return false;
}

void TScriptedMailer::EndSession()
{
    if (clock_.Elapsed() >= endsAt_)
        return;
    ++endSessions;
    endsAt_ = clock_.Elapsed();
    current_.exitCode = 128 + 15;
}
