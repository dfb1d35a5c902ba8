// The initialization-file reader on an arbitrary file: a few section/key
// queries, the settings and design readers, the integer and colour rules, and
// a write followed by a read of the value written.
#include "FuzzCheck.h"
#include "FuzzFolder.h"
#include "settings/IniFile.h"
#include "settings/Rw_ini.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view in(reinterpret_cast<const char*>(data), size);
    TTempFolder& folder = FuzzFolder();
    folder.WriteBytes("Tarnwick.ini", std::string(in));
    const std::string path = folder.Cp932Path() + "Tarnwick.ini";

    const TIniFile ini(path);
    static const char* const kQueries[][2] = {
        {"Mail", "Name"}, {"mail", "ENABLETRACE"}, {"Pos", "Top"}, {"App", "Title"}, {"BG", "Color"}, {"", ""}, {"[", "="},
    };
    for (const auto& q : kQueries) {
        const std::string value = ini.ReadString(q[0], q[1], "\x01" "default");
        FUZZ_CHECK(value.size() <= TIniFile::kMaxValueBytes || value == "\x01" "default");
    }
    // Section and key taken from the file's first two lines.
    {
        const std::size_t nl = in.find('\n');
        const std::string_view first = in.substr(0, nl);
        const std::string_view second = nl == std::string_view::npos ? std::string_view() : in.substr(nl + 1, in.find('\n', nl + 1) - nl - 1);
        const std::string value = ini.ReadString(first.substr(0, 64), second.substr(0, 64), "");
        FUZZ_CHECK(value.size() <= TIniFile::kMaxValueBytes);
    }

    const TSettings s = ReadSettings(path);
    FUZZ_CHECK(s.Name.size() <= TIniFile::kMaxValueBytes);
    const TDesign d = ReadDesign(path);
    ColorFromText(d.BGColor, kDefaultFace);
    ColorFromText(d.Button1TXColor, kDefaultText);
    ParseIniInteger(std::string(in.substr(0, 64)), 7);
    ColorFromText(std::string(in.substr(0, 64)), kDefaultFace);

    // What is written is what is read back, whatever else the file holds.
    TIniFile writable(path);
    if (writable.WriteString("Pos", "Left", "1234")) {
        FUZZ_CHECK(writable.ReadString("Pos", "Left", "") == "1234");
        FUZZ_CHECK(writable.ReadString("Mail", "Name", "\x01") == ini.ReadString("Mail", "Name", "\x01"));
    }
    return 0;
}
