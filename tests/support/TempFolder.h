// A temporary folder for one test, removed afterwards, with helpers that write
// CP932 files from UTF-8 test texts.
#pragma once

#include <string>
#include <vector>

class TTempFolder {
public:
    TTempFolder();
    ~TTempFolder();
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    // The folder as an operating-system path ending in "/".
    const std::string& Path() const { return path_; }
    // The folder as a CP932 path ending in the platform's separator.
    std::string Cp932Path() const;

    // Writes bytes to a file below the folder (creating sub-folders).
    void WriteBytes(const std::string& relative, const std::string& bytes) const;
    // Writes UTF-8 lines as CP932, each ended by CR LF.
    void WriteLines(const std::string& relative, const std::vector<std::string>& utf8Lines) const;
    void MakeFolder(const std::string& relative) const;
    std::string ReadBytes(const std::string& relative) const;
    bool Exists(const std::string& relative) const;

private:
    std::string path_;
};

// A new, empty folder under the system's temporary folder, named `prefix` and
// a random part; the operating system's path without a final separator.
std::string MakeUniqueFolder(const std::string& prefix);

// True in the Windows build, where a few cases of a table differ.
extern const bool kWindows;

// A CP932 path written with "/" in the platform's own separators.
std::string Native(const std::string& cp932Path);

// UTF-8 to CP932 bytes (and back) for test texts.
std::string Sjis(const std::string& utf8);
std::string Utf8(const std::string& cp932);
// CP932 lines read from a file, split at CR LF, converted to UTF-8.
std::vector<std::string> ReadUtf8Lines(const std::string& osPath);
