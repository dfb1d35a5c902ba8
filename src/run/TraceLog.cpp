#include "run/TraceLog.h"

#include "platform/Errors.h"
#include "platform/Files.h"
#include "run/TimeFormat.h"

#include <cerrno>
#include <cstring>

void TTraceLog::Start(bool enabled)
{
    enabled_ = enabled;
    if (!enabled_)
        return;
    if (platform::FileExists(path_))
        platform::DeleteFile(path_);
    if (!platform::TryWriteNewFile(path_, "<<Trace Start>>\r\n"))
        throw EInOutError("I/O error: " + path_ + ": " + std::strerror(errno ? errno : EIO));
}

void TTraceLog::Write(std::string_view message)
{
    if (!enabled_)
        return;
    std::string line = FormatTraceStamp(clock_.Now());
    line += message;
    line += "\r\n";
    errno = 0;
    // Opened for appending, the log must exist: start-up created it.
    if (!platform::FileExists(path_))
        throw EInOutError("I/O error: " + path_ + ": " + std::strerror(ENOENT));
    if (!platform::TryAppendFile(path_, line))
        throw EInOutError("I/O error: " + path_ + ": " + std::strerror(errno ? errno : EIO));
}
