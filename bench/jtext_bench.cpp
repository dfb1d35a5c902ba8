// Throughput of the Japanese text routines on 1 MiB of mixed mail text, with
// glibc iconv's CP932 -> ISO-2022-JP on the same text for scale.
#include "jtext/HenkanJ.h"
#include "jtext/MailJstr.h"

#include <benchmark/benchmark.h>

#include <iconv.h>

#include <cerrno>
#include <string>

namespace {

// 1 MiB of CP932 lines: ASCII, kanji, half-width katakana with voicing marks
// and punctuation, CR LF line ends.
const std::string& MixedText()
{
    static const std::string text = [] {
        const std::string lines[] = {
            "Order 12345 for \x8E\x52\x93\x63\x97\x6C (Yamada) -- please check.\r\n",
            "\xB6\xDE\xB7\xDE\xB8 \xCA\xDF\xCB\xDF\xCC\xDF \xB3\xDE\xB1\xB2\xB3\xA4\xB4\xB5\xA1 \xA2\xC3\xDE\xB0\xC0\xA3\r\n",
            "\x91\x97\x90\x4D\x8A\xAE\x97\xB9\x81\x42\x96\x7B\x93\xFA\x82\xCD\x90\xB0\x82\xEA\x82\xC5\x82\xB7\x81\x42\r\n",
            "Mixed: abc \x8E\x52 \xC3\xDE\xB0\xC0 \x93\x63 xyz 0123456789\r\n",
            "\r\n",
        };
        std::string t;
        t.reserve(1 << 20);
        for (std::size_t i = 0; t.size() < (1u << 20); ++i)
            t += lines[i % std::size(lines)];
        t.resize(1 << 20);
        return t;
    }();
    return text;
}

void BM_NormalizeKana(benchmark::State& state)
{
    const std::string& text = MixedText();
    for (auto _ : state)
        benchmark::DoNotOptimize(NormalizeKana(text));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * text.size());
}

void BM_SjisToJis(benchmark::State& state)
{
    const std::string& text = MixedText();
    for (auto _ : state)
        benchmark::DoNotOptimize(SjisToJis(text));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * text.size());
}

// glibc iconv into a buffer of the size SjisToJis reserves. ISO-2022-JP has
// no half-width katakana: unless the whole text must convert, a byte iconv
// refuses is skipped (as iconv -c does) and the conversion goes on.
void IconvToJis(benchmark::State& state, const std::string& text, bool whole)
{
    iconv_t cd = iconv_open("ISO-2022-JP", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        state.SkipWithError("iconv_open failed");
        return;
    }
    std::string out;
    int64_t skipped = 0;
    for (auto _ : state) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        out.assign(text.size() * 3 + 3, '\0');
        char* in = const_cast<char*>(text.data());
        size_t inLeft = text.size();
        char* o = out.data();
        size_t outLeft = out.size();
        bool ok = true;
        while (inLeft > 0 && iconv(cd, &in, &inLeft, &o, &outLeft) == static_cast<size_t>(-1)) {
            if (errno != EILSEQ || whole) {
                ok = false;
                break;
            }
            ++in;
            --inLeft;
            ++skipped;
        }
        ok = ok && iconv(cd, nullptr, nullptr, &o, &outLeft) != static_cast<size_t>(-1);
        if (!ok) {
            state.SkipWithError("iconv refused the text");
            break;
        }
        out.resize(out.size() - outLeft);
        benchmark::DoNotOptimize(out.data());
    }
    iconv_close(cd);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * text.size());
    if (state.iterations() > 0)
        state.counters["skipped"] = static_cast<double>(skipped / state.iterations());
}

void BM_IconvCp932ToIso2022Jp(benchmark::State& state)
{
    IconvToJis(state, MixedText(), false);
}

// The same pair on text already widened, which iconv converts in full.
void BM_SjisToJisWidened(benchmark::State& state)
{
    static const std::string text = NormalizeKana(MixedText());
    for (auto _ : state)
        benchmark::DoNotOptimize(SjisToJis(text));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * text.size());
}

void BM_IconvCp932ToIso2022JpWidened(benchmark::State& state)
{
    static const std::string text = NormalizeKana(MixedText());
    IconvToJis(state, text, true);
}

} // namespace

BENCHMARK(BM_NormalizeKana)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SjisToJis)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IconvCp932ToIso2022Jp)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SjisToJisWidened)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IconvCp932ToIso2022JpWidened)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
