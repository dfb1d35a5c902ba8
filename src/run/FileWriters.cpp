// File access of the delivery run: the load retry rule, the write retry rule,
// the trace log and the relative-path rule.
#include "run/TDelivery.h"

#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Paths.h"

#include <cerrno>
#include <cstring>

namespace {
constexpr int kLoadAttempts = 11;
constexpr std::uint32_t kLoadRetryMs = 50;
constexpr int kWriteAttempts = 10;
constexpr std::uint32_t kWriteRetryMs = 150;
} // namespace

std::string TDelivery::ApplyRelativePathRule(std::string_view path, const std::string& base)
{
    std::string p = platform::NormalizeSeparators(path);
    if (p.size() > 2 && !platform::IsAbsolutePath(p))
        return base + p;
    return p;
}

bool TDelivery::LoadLines(const std::string& path, std::vector<std::string>& lines)
{
    std::string contents;
    for (int attempt = 1; attempt <= kLoadAttempts; ++attempt) {
        if (platform::TryLoadFile(path, contents)) {
            lines = platform::SplitLines(contents);
            return true;
        }
        if (attempt < kLoadAttempts)
            clock_.Sleep(kLoadRetryMs);
    }
    return false;
}

namespace {
template <typename Attempt>
int WithWriteRetries(IClock& clock, const bool& stopRequest, Attempt attempt)
{
    for (int n = 1; n <= kWriteAttempts; ++n) {
        if (attempt())
            return 0;
        clock.Sleep(kWriteRetryMs);
        if (stopRequest)
            return 1;
    }
    return 1;
}
} // namespace

int TDelivery::WriteNewFile(const std::string& path, std::string_view text)
{
    // An empty path can never be written: fail at once instead of retrying for 1.5 s.
    if (path.empty())
        return 1;
    return WithWriteRetries(clock_, state_.StopRequest, [&] { return platform::TryWriteNewFile(path, text); });
}

int TDelivery::AppendFile(const std::string& path, std::string_view text)
{
    if (path.empty())
        return 1;
    return WithWriteRetries(clock_, state_.StopRequest, [&] { return platform::TryAppendFile(path, text); });
}

void TDelivery::StartTrace()
{
    if (settings_.EnableTrace == 0)
        return;
    const std::string path = TracePath();
    if (platform::FileExists(path))
        platform::DeleteFile(path);
    if (!platform::TryWriteNewFile(path, "<<Trace Start>>\r\n"))
        throw EInOutError("I/O error: " + path + ": " + std::strerror(errno ? errno : EIO));
}

void TDelivery::WriteTrace(std::string_view message)
{
    if (settings_.EnableTrace == 0)
        return;
    // The trace log is opened for appending and must exist: start-up created it.
    const std::string path = TracePath();
    std::string line = FormatTraceStamp(clock_.Now());
    line += message;
    line += "\r\n";
    errno = 0;
    if (!platform::FileExists(path))
        throw EInOutError("I/O error: " + path + ": " + std::strerror(ENOENT));
    if (!platform::TryAppendFile(path, line))
        throw EInOutError("I/O error: " + path + ": " + std::strerror(errno ? errno : EIO));
}
