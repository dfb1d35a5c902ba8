// The system clock: sleeping, a millisecond tick and the local time.
#pragma once

#include <cstdint>

namespace platform {

struct LocalTime {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

void SleepMs(std::uint32_t ms);
// Milliseconds since an arbitrary start; wraps around like a 32-bit counter.
std::uint32_t TickMs();
LocalTime NowLocal();

} // namespace platform
