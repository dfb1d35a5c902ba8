// NormalizeKana (and ToFullWidth) on arbitrary bytes.
#include "FuzzCheck.h"
#include "jtext/HenkanJ.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view in(reinterpret_cast<const char*>(data), size);
    const std::string out = NormalizeKana(in);
    // A half-width character (with its voicing mark) becomes one double-byte
    // character; every other byte is copied.
    FUZZ_CHECK(out.size() >= in.size());
    FUZZ_CHECK(out.size() <= 2 * in.size());
    // Nothing half-width is left to widen.
    FUZZ_CHECK(NormalizeKana(out) == out);

    const std::string one = ToFullWidth(in.substr(0, 2));
    FUZZ_CHECK(one.size() <= 4);
    return 0;
}
