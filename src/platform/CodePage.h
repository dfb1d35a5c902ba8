// Conversion between the program's texts (code page 932, Shift_JIS) and the
// operating system's (UTF-8). Used only at the edges: file names, the program's
// own arguments, the program folder, and the window.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// CP932 bytes to UTF-8. A byte sequence that is not valid CP932 is kept as
// the Unicode code points U+DC80..U+DCFF (one per byte, as Python's
// surrogateescape does) so that Utf8ToCp932 gives the same bytes back.
std::string Cp932ToUtf8(std::string_view cp932);

// UTF-8 to CP932. Characters without a CP932 form become "?"; escaped bytes
// (U+DC80..U+DCFF) become their original byte again; invalid UTF-8 bytes are
// copied unchanged.
std::string Utf8ToCp932(std::string_view utf8);

// False when a character of the UTF-8 text has no CP932 form (Utf8ToCp932
// would write "?" for it).
bool HasCp932Form(std::string_view utf8);

// A UTF-8 text as this system's console shows it: CP932 on Windows, where
// texts stay CP932 throughout, and unchanged on POSIX.
std::string ToConsoleText(std::string_view utf8);

} // namespace platform
