#include "support/TempFolder.h"

#include "platform/CodePage.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "support/TestSystem.h"

#include <cstdio>
#include <cstdlib>
#include <random>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;

std::string MakeUniqueFolder(const std::string& prefix)
{
    static std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "%012llx", static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
        const fs::path p = fs::temp_directory_path() / (prefix + name);
        std::error_code ec;
        if (fs::create_directory(p, ec))
            return p.string();
    }
    throw std::runtime_error("no temporary folder could be made");
}

TTempFolder::TTempFolder() : path_(MakeUniqueFolder("tarnwick-test-") + "/") {}

TTempFolder::~TTempFolder()
{
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

std::string TTempFolder::Cp932Path() const { return platform::NormalizeSeparators(platform::Utf8ToCp932(path_)); }

// The system's name of a file below the folder, from a UTF-8 test text.
static fs::path Below(const TTempFolder& folder, const std::string& relative)
{
    return OsName(folder.Cp932Path() + platform::Utf8ToCp932(relative));
}

void TTempFolder::WriteBytes(const std::string& relative, const std::string& bytes) const
{
    const fs::path p = Below(*this, relative);
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << bytes;
}

void TTempFolder::WriteLines(const std::string& relative, const std::vector<std::string>& utf8Lines) const
{
    std::string bytes;
    for (const std::string& line : utf8Lines)
        bytes += Sjis(line) + "\r\n";
    WriteBytes(relative, bytes);
}

void TTempFolder::MakeFolder(const std::string& relative) const { fs::create_directories(Below(*this, relative)); }

std::string TTempFolder::ReadBytes(const std::string& relative) const
{
    std::ifstream in(Below(*this, relative), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool TTempFolder::Exists(const std::string& relative) const { return fs::exists(Below(*this, relative)); }

const bool kWindows = platform::kPathSeparator == '\\';

std::string Native(const std::string& cp932Path) { return platform::NormalizeSeparators(cp932Path); }

std::string Sjis(const std::string& utf8) { return platform::Utf8ToCp932(utf8); }
std::string Utf8(const std::string& cp932) { return platform::Cp932ToUtf8(cp932); }

std::vector<std::string> ReadUtf8Lines(const std::string& osPath)
{
    std::ifstream in(osPath, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> out;
    for (const std::string& line : platform::SplitLines(bytes))
        out.push_back(platform::Cp932ToUtf8(line));
    return out;
}
