#include "platform/Paths.h"

#include "jtext/SjisBytes.h"

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cwchar>

namespace platform {

const char kPathSeparator = '\\';

std::string ProgramPath()
{
    // The executable does not move while it runs: read it once.
    static const std::string path = [] {
        std::string buf(MAX_PATH, '\0');
        for (;;) {
            const DWORD n = ::GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
            if (n == 0)
                return std::string();
            if (n < buf.size()) {
                buf.resize(n);
                return buf;
            }
            buf.resize(buf.size() * 2);
        }
    }();
    return path;
}

namespace {

std::string Utf8Of(const wchar_t* text, int length)
{
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(std::max(n, 0)), '\0');
    if (n > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), n, nullptr, nullptr);
    return out;
}

} // namespace

std::string ProgramFolderUtf8()
{
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0)
            return std::string();
        if (n < buf.size()) {
            buf.resize(buf.rfind(L'\\', n) + 1);
            return Utf8Of(buf.data(), static_cast<int>(buf.size()));
        }
        buf.resize(buf.size() * 2);
    }
}

std::vector<std::string> ProgramArgumentsUtf8(int, char*[])
{
    std::vector<std::string> args;
    int count = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!argv)
        return args;
    for (int i = 1; i < count; ++i)
        args.push_back(Utf8Of(argv[i], static_cast<int>(std::wcslen(argv[i]))));
    ::LocalFree(argv);
    return args;
}

std::string ProgramFolder()
{
    const std::string folder = FolderOf(ProgramPath());
    return folder.empty() ? std::string(".\\") : folder;
}

// Windows takes either separator; the program writes backslashes. A "/" is
// never the second byte of a double-byte character.
std::string NormalizeSeparators(std::string_view cp932Path) { return ReplaceChar(cp932Path, '/', '\\'); }

// As the relative-path rule reads it: a drive letter before the second
// character's ":" makes a path absolute; "\\server\share" paths do not count.
bool IsAbsolutePath(std::string_view cp932Path) { return cp932Path.size() >= 2 && cp932Path[1] == ':'; }

bool IsFileSystemRoot(std::string_view cp932Folder)
{
    const std::string path = NormalizeSeparators(cp932Folder);
    if (path.empty() || path.find('\0') != std::string::npos)
        return false;
    char full[MAX_PATH * 2], volume[MAX_PATH * 2];
    const DWORD n = ::GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    if (n == 0 || n >= sizeof full || !::GetVolumePathNameA(full, volume, sizeof volume))
        return false;
    std::string f = full, v = volume;
    if (f.back() != '\\')
        f += '\\';
    if (v.back() != '\\')
        v += '\\';
    return ::lstrcmpiA(f.c_str(), v.c_str()) == 0;
}

// The "A" functions take the program's own CP932 texts: no conversion.
std::string ToOsPath(std::string_view cp932Path) { return NormalizeSeparators(cp932Path); }

std::string FromOsPath(std::string_view osPath) { return std::string(osPath); }

} // namespace platform
