#include "run/RetryRules.h"

namespace {
constexpr int kLoadAttempts = 11;
constexpr std::uint32_t kLoadRetryMs = 50;
constexpr int kWriteAttempts = 10;
constexpr std::uint32_t kWriteRetryMs = 150;
} // namespace

bool TRetryRules::Load(const std::function<bool()>& attempt)
{
    for (int n = 1; n <= kLoadAttempts; ++n) {
        if (attempt())
            return true;
        if (n < kLoadAttempts)
            clock_.Sleep(kLoadRetryMs);
    }
    return false;
}

int TRetryRules::Write(const std::function<bool()>& attempt)
{
    for (int n = 1; n <= kWriteAttempts; ++n) {
        if (attempt())
            return 0;
        clock_.Sleep(kWriteRetryMs);
        if (stopRequest_)
            return 1;
    }
    return 1;
}
