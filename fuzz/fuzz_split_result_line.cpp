// SplitResultLine on arbitrary bytes.
#include "FuzzCheck.h"
#include "run/TDelivery.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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
        for (std::size_t k = 0; k < fields.size(); ++k) {
            if (k > 0)
                joined += ',';
            joined += fields[k];
        }
        FUZZ_CHECK(joined == line);
    }
    return 0;
}
