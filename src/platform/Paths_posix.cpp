#include "platform/Paths.h"

#include "jtext/SjisBytes.h"
#include "platform/CodePage.h"

#include <algorithm>
#include <climits>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

const char kPathSeparator = '/';

std::string ProgramPath()
{
    // The executable does not move while it runs: read it once.
    static const std::string path = [] {
        char buf[PATH_MAX + 1];
        const ssize_t n = readlink("/proc/self/exe", buf, PATH_MAX);
        return n <= 0 ? std::string() : FromOsPath(std::string_view(buf, static_cast<std::size_t>(n)));
    }();
    return path;
}

std::string ProgramFolderUtf8()
{
    char buf[PATH_MAX + 1];
    const ssize_t n = readlink("/proc/self/exe", buf, PATH_MAX);
    const std::string exe = n <= 0 ? std::string() : std::string(buf, static_cast<std::size_t>(n));
    return exe.substr(0, exe.rfind('/') + 1);
}

std::vector<std::string> ProgramArgumentsUtf8(int argc, char* argv[])
{
    return std::vector<std::string>(argv + std::min(argc, 1), argv + argc);
}

std::string ProgramFolder()
{
    std::string path = ProgramPath();
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

std::string NormalizeSeparators(std::string_view cp932Path)
{
    return ReplaceChar(cp932Path, '\\', '/');
}

bool IsAbsolutePath(std::string_view cp932Path)
{
    return !cp932Path.empty() && (cp932Path[0] == '/' || cp932Path[0] == '\\');
}

bool IsFileSystemRoot(std::string_view cp932Folder)
{
    struct stat root {}, folder {};
    const std::string os = ToOsPath(cp932Folder);
    if (os.empty() || os.find('\0') != std::string::npos)
        return false;
    return ::stat("/", &root) == 0 && ::stat(os.c_str(), &folder) == 0 && root.st_dev == folder.st_dev
        && root.st_ino == folder.st_ino;
}

std::string ToOsPath(std::string_view cp932Path)
{
    return Cp932ToUtf8(NormalizeSeparators(cp932Path));
}

std::string FromOsPath(std::string_view osPath)
{
    return Utf8ToCp932(osPath);
}

} // namespace platform
