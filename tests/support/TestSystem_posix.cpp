#include "support/TestSystem.h"

#include "platform/Paths.h"

#include <cstdlib>

std::filesystem::path OsName(const std::string& cp932Path) { return std::filesystem::path(platform::ToOsPath(cp932Path)); }

void SetEnvironment(const char* name, const char* value)
{
    if (value)
        ::setenv(name, value, 1);
    else
        ::unsetenv(name);
}
