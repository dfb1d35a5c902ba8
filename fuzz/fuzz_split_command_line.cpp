// platform::SplitCommandLine on arbitrary bytes.
#include "FuzzCheck.h"
#include "jtext/SjisBytes.h"
#include "platform/Process.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

// True when the text, read by characters, ends in the middle of one.
bool EndsInsideCharacter(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size())
        i += IsSjisLead(static_cast<unsigned char>(s[i])) ? 2 : 1;
    return i > s.size();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> args = platform::SplitCommandLine(line);
    const std::string_view visible = line.substr(0, line.find('\0'));

    FUZZ_CHECK(args.size() <= visible.size());
    std::size_t total = 0;
    for (std::size_t k = 0; k < args.size(); ++k) {
        const std::string& a = args[k];
        total += a.size();
        FUZZ_CHECK(a.find('\0') == std::string::npos);
        // Double-byte characters stay whole; only a lone lead byte at the very
        // end of the line can end the last argument.
        if (k + 1 < args.size())
            FUZZ_CHECK(!EndsInsideCharacter(a));
        else if (EndsInsideCharacter(a))
            FUZZ_CHECK(EndsInsideCharacter(visible));
    }
    // Quotes and blanks are dropped, backslashes at most kept: never more bytes.
    FUZZ_CHECK(total <= visible.size());
    // The program name is never empty unless it was written as "".
    if (!args.empty() && args[0].empty())
        FUZZ_CHECK(visible.find('"') != std::string_view::npos);
    return 0;
}
