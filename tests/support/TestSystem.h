// What tests need from the system beside the code under test, one source per
// platform: file names for the standard library, and the environment.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

// The standard library's name of a file the program names with a CP932 path.
// On Windows its narrow strings are not the system's code page, so the name is
// widened here.
std::filesystem::path OsName(const std::string& cp932Path);

// Sets an environment variable, or removes it when `value` is null.
void SetEnvironment(const char* name, const char* value);

// Another program's hold on a file, as the record's writers meet it: on POSIX
// an exclusive lock, on Windows a handle that shares nothing. Held from the
// constructor on, until `ms` milliseconds have passed (when given) or the
// object goes away.
class TFileHold {
public:
    explicit TFileHold(const std::string& osPath, int ms = -1);
    ~TFileHold();
    TFileHold(const TFileHold&) = delete;
    TFileHold& operator=(const TFileHold&) = delete;
    bool Held() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};
