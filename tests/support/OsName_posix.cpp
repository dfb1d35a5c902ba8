#include "support/OsName.h"

#include "platform/Paths.h"

std::filesystem::path OsName(const std::string& cp932Path) { return std::filesystem::path(platform::ToOsPath(cp932Path)); }
