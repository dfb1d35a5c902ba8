#include "platform/Paths.h"

#include "jtext/SjisBytes.h"

namespace platform {

std::string FolderOf(std::string_view cp932Path)
{
    const std::size_t cut = FindLastChar(cp932Path, kPathSeparator);
    return cut == std::string_view::npos ? std::string() : std::string(cp932Path.substr(0, cut + 1));
}

std::string FileNameOf(std::string_view cp932Path)
{
    const std::size_t cut = FindLastChar(cp932Path, kPathSeparator);
    return std::string(cut == std::string_view::npos ? cp932Path : cp932Path.substr(cut + 1));
}

} // namespace platform
