// Splitting a command line into arguments the way the Microsoft C runtime
// builds argv, so that a mailer command prepared for Windows reaches the
// mailer with the same arguments here.
#include "platform/Process.h"

#include "jtext/SjisBytes.h"

namespace platform {
namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// A lead byte takes a valid second byte with it, so a trail byte 0x5C is
// never taken for a backslash; one that is not followed by a second byte
// stands alone and never swallows a quote or a blank.
std::size_t CharLen(std::string_view s, std::size_t i)
{
    return SjisCharLen(s, i);
}

} // namespace

std::vector<std::string> SplitCommandLine(std::string_view commandLine)
{
    // The runtime sees a C string: nothing after a NUL byte exists for it.
    const std::string_view s = commandLine.substr(0, commandLine.find('\0'));
    std::vector<std::string> args;
    std::size_t i = 0;

    // Leading white space is not part of the program name (Windows skips it
    // when it looks for the program).
    while (i < s.size() && IsBlank(s[i]))
        ++i;
    if (i == s.size())
        return args;

    // The program name: quotes group and are dropped, backslashes are plain.
    {
        std::string name;
        bool inQuotes = false;
        while (i < s.size() && (inQuotes || !IsBlank(s[i]))) {
            if (s[i] == '"') {
                inQuotes = !inQuotes;
                ++i;
                continue;
            }
            const std::size_t len = CharLen(s, i);
            name.append(s.substr(i, len));
            i += len;
        }
        args.push_back(std::move(name));
        if (i < s.size())
            ++i; // the white space that ended the name
    }

    // The other arguments, by the rules of the current runtime (UCRT):
    //   2n backslashes + quote   -> n backslashes, the quote toggles quoting
    //   2n+1 backslashes + quote -> n backslashes and a literal quote
    //   backslashes before anything else are literal
    //   "" inside quotes          -> a literal quote, quoting goes on
    // (the runtimes before 2008 ended the quoted part after such a "").
    bool inQuotes = false;
    for (;;) {
        while (i < s.size() && IsBlank(s[i]))
            ++i;
        if (i == s.size())
            break;

        std::string arg;
        for (;;) {
            std::size_t backslashes = 0;
            while (i < s.size() && s[i] == '\\') {
                ++i;
                ++backslashes;
            }
            bool copy = true;
            if (i < s.size() && s[i] == '"') {
                if (backslashes % 2 == 0) {
                    if (inQuotes && i + 1 < s.size() && s[i + 1] == '"') {
                        ++i; // the second quote of "" is the literal one
                    } else {
                        copy = false;
                        inQuotes = !inQuotes;
                    }
                }
                backslashes /= 2;
            }
            arg.append(backslashes, '\\');

            if (i == s.size() || (!inQuotes && IsBlank(s[i])))
                break;
            if (copy) {
                const std::size_t len = CharLen(s, i);
                arg.append(s.substr(i, len));
                i += len;
            } else {
                ++i;
            }
        }
        args.push_back(std::move(arg));
    }
    return args;
}

TCommandLine CommandFromLine(std::string_view commandLine)
{
    return TCommandLine{std::string(commandLine), SplitCommandLine(commandLine)};
}

} // namespace platform
