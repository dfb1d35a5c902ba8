// Single attempts of file operations. Paths are CP932 texts (see Paths.h).
// The retry rules live in the run layer; nothing here retries or sleeps.
//
// Sharing: creating or overwriting takes an exclusive lock before truncating
// (a file someone else holds is never truncated); appending takes an exclusive
// lock; loading takes a shared lock. Locks are taken without blocking: a held
// lock makes the attempt fail.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

bool FileExists(std::string_view path);       // an existing file (not a folder)
bool DirectoryExists(std::string_view path);  // an existing folder
bool DeleteFile(std::string_view path);       // true when the file was removed

// Reads the whole file. False on any error (missing, locked, unreadable).
bool TryLoadFile(std::string_view path, std::string& contents);
// Creates the file or empties an existing one, then writes `data`.
bool TryWriteNewFile(std::string_view path, std::string_view data);
// Appends `data`, creating the file when it does not exist.
bool TryAppendFile(std::string_view path, std::string_view data);

// Sets the process's current folder.
bool SetCurrentDir(std::string_view path);

// Splits file contents into lines: CR LF, CR or LF ends a line; a final line
// break adds no empty line. Every other byte (NUL included) is kept.
std::vector<std::string> SplitLines(std::string_view contents);

} // namespace platform
