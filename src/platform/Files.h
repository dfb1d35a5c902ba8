// Single attempts of file operations. Paths are CP932 texts (see Paths.h).
// The retry rules live in the run layer; nothing here retries or sleeps.
//
// Sharing: creating or overwriting takes an exclusive lock before truncating
// (a file someone else holds is never truncated); appending takes an exclusive
// lock; loading takes a shared lock. Locks are taken without blocking: a held
// lock makes the attempt fail.
#pragma once

#include "platform/NativeHandle.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

bool FileExists(std::string_view path);       // an existing file (not a folder)

// Why the last failed file operation of this thread failed, in the system's
// words (CP932): for the messages that name a file and the reason.
std::string LastFileError();
bool DirectoryExists(std::string_view path);  // an existing folder
bool DeleteFile(std::string_view path);       // true when the file was removed
// Makes the folder (its parent must exist); true when it exists afterwards.
bool CreateFolder(std::string_view path);

// Reads the whole file. False on any error (missing, locked, unreadable).
bool TryLoadFile(std::string_view path, std::string& contents);
// Creates the file or empties an existing one, then writes `data`.
bool TryWriteNewFile(std::string_view path, std::string_view data);
// Appends `data`, creating the file when it does not exist. All or nothing: an
// append that could not be finished (a full disk) is cut off again, so the file
// never keeps part of a record.
bool TryAppendFile(std::string_view path, std::string_view data);
// Durable writes into a file of fixed length, for a log that must reach the
// disk before the program goes on: the file is first made `size` bytes long
// with zeros written out (so that later writes change no file-system
// metadata and a sync stays cheap), then written in place. TryGrowFile, and
// TryWriteAt with `sync`, return once the data is on the disk (a sync of the
// file carries every earlier write with it); a file that TryGrowFile created
// has its folder entry made durable too.
bool TryGrowFile(std::string_view path, long long size);
bool TryWriteAt(std::string_view path, long long offset, std::string_view data, bool sync);

// Writes in place into a laid-out file that stays open between them (the run
// journal, written twice a mail): held against other writers while open, as
// one TryWriteAt holds it for a moment.
class TInPlaceWriter {
public:
    TInPlaceWriter() = default;
    ~TInPlaceWriter() { Close(); }
    TInPlaceWriter(const TInPlaceWriter&) = delete;
    TInPlaceWriter& operator=(const TInPlaceWriter&) = delete;

    // Opens and locks an existing file. False when it is held or cannot be opened.
    bool Open(std::string_view path);
    bool IsOpen() const { return file_ != kNoHandle; }
    // Within the length the file had at Open only; with `sync`, returns once
    // the data is on the disk.
    bool WriteAt(long long offset, std::string_view data, bool sync);
    // False when closing reported an error.
    bool Close();

private:
    NativeHandle file_ = kNoHandle;
    long long size_ = 0;
};
// Puts the file `from` in the place of `to` in one step, whatever stood there,
// and returns once that is on the disk.
bool TryReplaceFile(std::string_view from, std::string_view to);
// Cuts a file back to `size` bytes (never makes it longer), under an exclusive lock.
bool TryCutFile(std::string_view path, long long size);

// Appending a long text in pieces as one record: the file stays locked from
// Open to Close, and a record that could not be finished is cut off again, so
// the file never keeps half of it. One Open to Close is one attempt.
class TAppendWriter {
public:
    TAppendWriter() = default;
    ~TAppendWriter(); // abandons an unfinished record
    TAppendWriter(const TAppendWriter&) = delete;
    TAppendWriter& operator=(const TAppendWriter&) = delete;

    // Opens (creating) and locks the file. False when it is held or cannot be opened.
    bool Open(std::string_view path);
    bool Write(std::string_view data);
    // Ends the record and releases the lock; false when closing failed.
    bool Close();
    // Cuts the file back to its length at Open and closes it.
    void Abandon();

private:
    NativeHandle file_ = kNoHandle;
    long long start_ = 0;
};

// Reading a file in pieces under a shared lock, for files too large to load whole.
class TFileReader {
public:
    TFileReader() = default;
    ~TFileReader();
    TFileReader(const TFileReader&) = delete;
    TFileReader& operator=(const TFileReader&) = delete;

    bool Open(std::string_view path); // false when missing, locked or unreadable
    bool Rewind();
    // Up to `size` bytes into `buffer`: the count, 0 at the end, -1 on an error.
    long long Read(char* buffer, std::size_t size);
    void Close();

private:
    NativeHandle file_ = kNoHandle;
};

// Calls each(line, lineEnd) for every line of file contents: CR LF, CR or LF
// ends a line; a final line break adds no empty line (the last line's end may
// be empty). Every other byte (NUL included) is kept.
template <typename Each>
void ForEachLine(std::string_view contents, Each each)
{
    std::size_t start = 0;
    const std::size_t n = contents.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char c = contents[i];
        if (c != '\r' && c != '\n')
            continue;
        const std::size_t endLen = (c == '\r' && i + 1 < n && contents[i + 1] == '\n') ? 2 : 1;
        each(contents.substr(start, i - start), contents.substr(i, endLen));
        i += endLen - 1;
        start = i + 1;
    }
    if (start < n)
        each(contents.substr(start), std::string_view());
}

// The lines of file contents, by the rule of ForEachLine.
std::vector<std::string> SplitLines(std::string_view contents);

} // namespace platform
