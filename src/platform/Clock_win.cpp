#include "platform/Clock.h"

#include <windows.h>

#include <mmsystem.h>

namespace platform {

void SleepMs(std::uint32_t ms) { ::Sleep(ms); }

std::uint32_t TickMs() { return ::timeGetTime(); }

LocalTime NowLocal()
{
    SYSTEMTIME t{};
    ::GetLocalTime(&t);
    return LocalTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

} // namespace platform
