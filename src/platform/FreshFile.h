// Files the run creates in a work folder that other accounts may write to
// (body.txt, $mail.bat, $log.txt). Each is a new file of our own: written
// under a fresh name of its own (exclusive, never through a link), then
// renamed over whatever stands at its path, so no file or link someone else
// put there is ever opened, written or truncated. The descriptor stays ours
// until Close: what runs from it or writes into it is this very file, even
// when someone renames another over its name.
#pragma once

#include "platform/NativeHandle.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

class TFreshFile {
public:
    TFreshFile() = default;
    ~TFreshFile();
    TFreshFile(const TFreshFile&) = delete;
    TFreshFile& operator=(const TFreshFile&) = delete;

    // One attempt: a new file at `path` holding `data`, readable and writable
    // by this account only. False when it cannot be made (folder missing or
    // not writable, a folder at that path, a full disk).
    bool Create(std::string_view path, std::string_view data);
    bool Rewind();
    // Up to `size` bytes into `buffer`: the count, 0 at the end, -1 on an error.
    long long Read(char* buffer, std::size_t size);
    // False when closing reported an error (a full disk may show only here).
    bool Close();
    // The open handle, for a child process; kNoHandle when closed.
    NativeHandle Handle() const { return file_; }
    const std::string& Path() const { return path_; }

private:
    NativeHandle file_ = kNoHandle;
    std::string path_;
};

// One attempt of writing a fresh file and closing it at once.
bool TryWriteFreshFile(std::string_view path, std::string_view data);

} // namespace platform
