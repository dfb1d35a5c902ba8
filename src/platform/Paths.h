// Program folder and file-name conversion. The program holds paths as CP932
// texts with "/" separators; the operating system sees UTF-8.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The separator of this platform's paths ("/" on POSIX, "\\" on Windows).
extern const char kPathSeparator;

// The executable's folder as a CP932 text ending in the separator.
std::string ProgramFolder();
// The executable's full path as a CP932 text.
std::string ProgramPath();
// The program folder (ending in the separator) and the program's own
// arguments as the operating system holds them, in UTF-8. On Windows these are
// its Unicode names, of which the CP932 ones the program works with keep only
// the characters CP932 has. `argc` and `argv` are main's; Windows reads its own.
std::string ProgramFolderUtf8();
std::vector<std::string> ProgramArgumentsUtf8(int argc, char* argv[]);

// Backslashes become "/", character-aware: a 0x5C that is the second byte of a
// double-byte character is not a separator. Paths prepared on Windows thus
// work unchanged.
std::string NormalizeSeparators(std::string_view cp932Path);

// The folder part of a path, ending in the separator (empty when there is
// none), and the file-name part; the separator is searched character-aware.
std::string FolderOf(std::string_view cp932Path);
std::string FileNameOf(std::string_view cp932Path);

// True when the path is absolute on this platform.
bool IsAbsolutePath(std::string_view cp932Path);

// True when the folder is the root of the file system (by what it names, so
// "/..", "//" and a link to "/" count too).
bool IsFileSystemRoot(std::string_view cp932Folder);

// CP932 path (either separator) to the operating system's file name.
std::string ToOsPath(std::string_view cp932Path);
// Operating system's file name to a CP932 path.
std::string FromOsPath(std::string_view osPath);

} // namespace platform
