#include "run/RetryRules.h"

#include "platform/Files.h"

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

bool TRetryRules::LoadLines(const std::string& path, std::vector<std::string>& lines)
{
    std::string contents;
    if (!Load([&] { return platform::TryLoadFile(path, contents); }))
        return false;
    lines = platform::SplitLines(contents);
    return true;
}

int TRetryRules::WriteNewFile(const std::string& path, std::string_view text)
{
    // An empty path can never be written: fail at once instead of retrying for 1.5 s.
    if (path.empty())
        return 1;
    return Write([&] { return platform::TryWriteNewFile(path, text); });
}

int TRetryRules::AppendFile(const std::string& path, std::string_view text)
{
    if (path.empty())
        return 1;
    return Write([&] { return platform::TryAppendFile(path, text); });
}
