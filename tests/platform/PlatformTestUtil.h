// Temporary folders, environment and current-folder guards for the platform tests.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

// A fresh folder under the system's temporary folder, removed with its contents.
class TTempDir {
public:
    TTempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tarn_platform_XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            path_ = pattern;
    }
    ~TTempDir()
    {
        std::error_code ec;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ec);
    }
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Sets (or with a null value removes) an environment variable for one scope.
class TEnvGuard {
public:
    TEnvGuard(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name)) {
            had_ = true;
            old_ = old;
        }
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~TEnvGuard()
    {
        if (had_)
            ::setenv(name_.c_str(), old_.c_str(), 1);
        else
            ::unsetenv(name_.c_str());
    }
    TEnvGuard(const TEnvGuard&) = delete;
    TEnvGuard& operator=(const TEnvGuard&) = delete;

private:
    std::string name_;
    std::string old_;
    bool had_ = false;
};

// Changes the current folder for one scope.
class TCwdGuard {
public:
    explicit TCwdGuard(const std::string& dir) : old_(std::filesystem::current_path())
    {
        std::filesystem::current_path(dir);
    }
    ~TCwdGuard()
    {
        std::error_code ec;
        std::filesystem::current_path(old_, ec);
    }
    TCwdGuard(const TCwdGuard&) = delete;
    TCwdGuard& operator=(const TCwdGuard&) = delete;

private:
    std::filesystem::path old_;
};
