// Runs a fuzz target over every file of its corpus folder (or over the files
// named), without libFuzzer: a crash once found and fixed stays fixed.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <corpus folder or file>...\n", argv[0]);
        return 2;
    }
    std::vector<fs::path> files;
    for (int k = 1; k < argc; ++k) {
        const fs::path p(argv[k]);
        if (fs::is_directory(p)) {
            for (const auto& e : fs::recursive_directory_iterator(p))
                if (e.is_regular_file())
                    files.push_back(e.path());
        } else if (fs::is_regular_file(p)) {
            files.push_back(p);
        } else {
            std::fprintf(stderr, "%s: not found\n", argv[k]);
            return 2;
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "no inputs\n");
        return 2;
    }
    for (const fs::path& f : files) {
        std::ifstream in(f, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // Like libFuzzer, hand over a buffer of exactly the input's size.
        std::vector<std::uint8_t> buf(bytes.begin(), bytes.end());
        LLVMFuzzerTestOneInput(buf.data(), buf.size());
    }
    std::printf("%zu inputs replayed\n", files.size());
    return 0;
}
