// The standard library's name of a file the program names with a CP932 path.
// Tests reach files through std::filesystem, not through the code under test;
// on Windows its narrow strings are not the system's code page, so the name is
// widened here.
#pragma once

#include <filesystem>
#include <string>

std::filesystem::path OsName(const std::string& cp932Path);
