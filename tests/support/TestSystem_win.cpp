#include "support/TestSystem.h"

#include "platform/Paths.h"

#include <windows.h>

std::filesystem::path OsName(const std::string& cp932Path)
{
    const std::string path = platform::ToOsPath(cp932Path);
    if (path.empty())
        return {};
    std::wstring wide(path.size(), L'\0');
    const int n = ::MultiByteToWideChar(932, 0, path.data(), static_cast<int>(path.size()), wide.data(),
                                        static_cast<int>(wide.size()));
    wide.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return std::filesystem::path(wide);
}

void SetEnvironment(const char* name, const char* value)
{
    // The C runtime's copy, which getenv reads, and the process's own, which
    // a started program inherits.
    ::_putenv_s(name, value ? value : "");
    ::SetEnvironmentVariableA(name, value);
}
