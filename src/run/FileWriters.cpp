// File access of the delivery run: the load retry rule, the write retry rule,
// the trace log and the relative-path rule.
#include "run/TDelivery.h"

#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Paths.h"

#include <cerrno>
#include <cstring>

std::string TDelivery::ApplyRelativePathRule(std::string_view path, const std::string& base)
{
    std::string p = platform::NormalizeSeparators(path);
    if (p.size() > 2 && !platform::IsAbsolutePath(p))
        return platform::NormalizeSeparators(base) + p;
    return p;
}

bool TDelivery::RetryLoad(const std::function<bool()>& attempt) { return retry_.Load(attempt); }

int TDelivery::RetryWrite(const std::function<bool()>& attempt) { return retry_.Write(attempt); }

bool TDelivery::LoadLines(const std::string& path, std::vector<std::string>& lines)
{
    std::string contents;
    if (!RetryLoad([&] { return platform::TryLoadFile(path, contents); }))
        return false;
    lines = platform::SplitLines(contents);
    return true;
}

int TDelivery::WriteNewFile(const std::string& path, std::string_view text)
{
    // An empty path can never be written: fail at once instead of retrying for 1.5 s.
    if (path.empty())
        return 1;
    return RetryWrite([&] { return platform::TryWriteNewFile(path, text); });
}

int TDelivery::AppendFile(const std::string& path, std::string_view text)
{
    if (path.empty())
        return 1;
    return RetryWrite([&] { return platform::TryAppendFile(path, text); });
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
