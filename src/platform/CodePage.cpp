#include "platform/CodePage.h"

#include <algorithm>

namespace platform {

bool HasCp932Form(std::string_view utf8)
{
    // Utf8ToCp932 writes "?" for a character without a form and nowhere else
    // but for "?" itself (bytes that are not UTF-8, CP932 bytes passed as they
    // are, go through unchanged).
    const std::string cp932 = Utf8ToCp932(utf8);
    auto marks = [](std::string_view s) { return std::count(s.begin(), s.end(), '?'); };
    return marks(cp932) == marks(utf8);
}

} // namespace platform
