#include "platform/Process.h"

namespace platform {

ChildProcess::ChildProcess() = default;
ChildProcess::~ChildProcess() { CloseProcess(*this); }
ChildProcess::ChildProcess(ChildProcess&& other) noexcept = default;
ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept
{
    if (this != &other) {
        CloseProcess(*this);
        handles = std::move(other.handles);
        exitCode = other.exitCode;
        exited = other.exited;
    }
    return *this;
}

} // namespace platform
