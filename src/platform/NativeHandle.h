// A handle of the operating system, held as a plain number so that the
// neutral headers name no system type: a descriptor on POSIX, a HANDLE on
// Windows. Only this platform's own sources look inside.
#pragma once

#include <cstdint>

namespace platform {

using NativeHandle = std::intptr_t;
// No handle (-1: an invalid descriptor, and INVALID_HANDLE_VALUE on Windows).
inline constexpr NativeHandle kNoHandle = -1;

} // namespace platform
