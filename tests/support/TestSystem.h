// What tests need from the system beside the code under test, one source per
// platform: file names for the standard library, and the environment.
#pragma once

#include <filesystem>
#include <string>

// The standard library's name of a file the program names with a CP932 path.
// On Windows its narrow strings are not the system's code page, so the name is
// widened here.
std::filesystem::path OsName(const std::string& cp932Path);

// Sets an environment variable, or removes it when `value` is null.
void SetEnvironment(const char* name, const char* value);
