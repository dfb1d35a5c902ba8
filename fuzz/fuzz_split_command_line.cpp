// platform::SplitCommandLine: arbitrary argument lists, written as a command
// line the way the Microsoft C runtime reads it, must split back into
// themselves; arbitrary bytes must split into no more bytes than they hold.
#include "FuzzCheck.h"
#include "jtext/SjisBytes.h"
#include "platform/Process.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

// One argument in double quotes: a quote inside is written "" (the form that
// also works right after a lone lead byte), the backslashes in front of a
// quote and at the end are doubled. Characters by the one lead-byte rule.
std::string QuoteArgument(std::string_view a)
{
    std::string out = "\"";
    std::size_t backslashes = 0;
    for (std::size_t i = 0; i < a.size();) {
        const std::size_t len = SjisCharLen(a, i);
        if (len == 1 && a[i] == '\\') {
            ++backslashes;
        } else if (len == 1 && a[i] == '"') {
            out.append(2 * backslashes, '\\');
            out += "\"\"";
            backslashes = 0;
        } else {
            out.append(backslashes, '\\');
            out.append(a.substr(i, len));
            backslashes = 0;
        }
        i += len;
    }
    out.append(2 * backslashes, '\\');
    return out + "\"";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    // The input as a command line.
    const std::vector<std::string> args = platform::SplitCommandLine(input);
    const std::string_view visible = input.substr(0, input.find('\0'));
    std::size_t total = 0;
    for (const std::string& a : args) {
        total += a.size();
        FUZZ_CHECK(a.find('\0') == std::string::npos);
    }
    // Quotes and blanks are dropped, backslashes at most kept: never more bytes.
    FUZZ_CHECK(total <= visible.size());

    // The input as an argument list cut at 0x1E bytes; the program name has
    // no escapes, so it holds no quote, and no argument holds a NUL.
    std::vector<std::string> list;
    std::string_view rest = input;
    for (;;) {
        const std::size_t cut = rest.find('\x1e');
        list.emplace_back(rest.substr(0, cut));
        if (cut == std::string_view::npos)
            break;
        rest.remove_prefix(cut + 1);
    }
    if (list[0].empty() || list[0].find('"') != std::string::npos)
        list[0] = "p";
    std::string line = "\"" + list[0] + "\"";
    for (std::size_t k = 1; k < list.size(); ++k) {
        if (list[k].find('\0') != std::string::npos)
            return 0;
        line += (k % 2 ? " " : "\t") + QuoteArgument(list[k]);
    }
    if (list[0].find('\0') != std::string::npos)
        return 0;
    FUZZ_CHECK(platform::SplitCommandLine(line) == list);
    return 0;
}
