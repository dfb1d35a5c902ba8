#include "platform/Files.h"

namespace platform {

std::vector<std::string> SplitLines(std::string_view contents)
{
    std::vector<std::string> lines;
    ForEachLine(contents, [&](std::string_view line, std::string_view) { lines.emplace_back(line); });
    return lines;
}

} // namespace platform
