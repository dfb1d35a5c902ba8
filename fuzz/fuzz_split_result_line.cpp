// The result line: SplitResultLine and ParseResultLine on arbitrary bytes, and
// lines composed from values the input gives, which must read back as those
// values. The values: status and counter from the first eight bytes, the
// status word's flags from the ninth, the texts from the rest cut at LF (CR
// dropped: a line holds neither).
#include "FuzzCheck.h"
#include "run/ResultLine.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace {

auto Tie(const TResultLine& r)
{
    return std::tie(r.Date, r.Time, r.EndTime, r.Status, r.Unknown, r.Resend, r.Host, r.Recipients, r.Sender, r.Subject,
                    r.Attachments, r.Counter, r.SendCode, r.DefinitionPath);
}

// Composed with and without the definition path, the line reads back as itself.
void CheckRoundTrip(TResultLine r)
{
    const std::string line = ComposeResultLine(r, true);
    std::vector<std::string> fields;
    FUZZ_CHECK(SplitResultLine(line, fields) == 13);
    FUZZ_CHECK(Tie(ParseResultLine(line)) == Tie(r));
    r.DefinitionPath.clear();
    FUZZ_CHECK(Tie(ParseResultLine(ComposeResultLine(r, false))) == Tie(r));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> fields{"stale"};
    const int count = SplitResultLine(line, fields);
    FUZZ_CHECK(count >= 1);
    FUZZ_CHECK(static_cast<std::size_t>(count) == fields.size());
    // Every field but the quoted ones is cut from the line, so the fields never
    // hold more bytes than the line.
    std::size_t total = 0;
    for (const std::string& f : fields)
        total += f.size();
    FUZZ_CHECK(total <= line.size());
    // Without quotes the fields joined by commas give the line back.
    if (line.find('"') == std::string_view::npos) {
        std::string joined;
        for (std::size_t k = 0; k < fields.size(); ++k)
            joined += (k > 0 ? "," : "") + fields[k];
        FUZZ_CHECK(joined == line);
    }
    // Whatever a line read back holds, written again it reads back the same.
    CheckRoundTrip(ParseResultLine(line));

    TResultLine r;
    std::uint8_t head[9] = {};
    std::memcpy(head, data, std::min<std::size_t>(size, sizeof head));
    std::memcpy(&r.Status, head, 4);
    std::memcpy(&r.Counter, head + 4, 4);
    r.Counter &= 0x7fffffff;
    r.Unknown = head[8] & 1;
    r.Resend = head[8] & 2;
    std::string_view rest = line.substr(std::min<std::size_t>(size, sizeof head));
    for (std::string* f : {&r.Date, &r.Time, &r.EndTime, &r.Host, &r.Recipients, &r.Sender, &r.Subject, &r.Attachments,
                           &r.SendCode, &r.DefinitionPath}) {
        const std::size_t cut = rest.find('\n');
        *f = rest.substr(0, cut);
        std::erase(*f, '\r');
        rest.remove_prefix(cut == std::string_view::npos ? rest.size() : cut + 1);
    }
    CheckRoundTrip(r);
    return 0;
}
