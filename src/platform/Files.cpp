#include "platform/Files.h"

namespace platform {

std::vector<std::string> SplitLines(std::string_view contents)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    const std::size_t n = contents.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char c = contents[i];
        if (c != '\r' && c != '\n')
            continue;
        lines.emplace_back(contents.substr(start, i - start));
        if (c == '\r' && i + 1 < n && contents[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.emplace_back(contents.substr(start));
    return lines;
}

} // namespace platform
