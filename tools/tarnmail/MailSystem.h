// What tarnmail asks of the operating system beyond the project's platform
// layer: reading the input files by handle, the outbox folder, the clock
// with its distance from UTC, random bytes and the watchdog. One source per
// system (MailSystem_posix.cpp, MailSystem_win.cpp); no system type here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

// An open file or folder of the system; kNoFile when none.
using TFileHandle = std::intptr_t;
constexpr TFileHandle kNoFile = -1;

long ProcessNumber();
// Random bytes from the system; false when it had none to give.
bool SystemRandom(unsigned char* into, std::size_t size);
// The local time now, and its distance from UTC in seconds (east positive).
std::tm LocalTimeNow(long& utcOffset);
std::tm UtcTime(std::time_t t);
std::string MachineName();
// The current folder, as the system names it ("" when it cannot tell).
std::string CurrentFolder();
// Why the last call of this module failed, in the system's words.
std::string SystemError();

// After `seconds`, `message` goes to standard error and the process ends
// with `exitCode`: the last word when a wait outlasts every limit.
void ArmWatchdog(unsigned seconds, const char* message, int exitCode);
void DisarmWatchdog();
// A reader that closes our output early must not end the process.
void IgnoreBrokenPipes();

// True when accounts other than the owner may read the file (POSIX mode
// bits; on Windows the folder's access rules decide, and this is false).
bool OthersMayRead(const std::string& osPath);

enum TReadResult { rrRead, rrMissing, rrNotAFile, rrUnreadable };
// Opens a regular file for reading, never waiting (a FIFO or a device is
// not a file that can be sent); `size` gets its length.
TReadResult OpenInputFile(const std::string& osPath, TFileHandle& file, std::uint64_t& size);
// Up to `size` bytes from `offset`: the count, 0 at the end, -1 on an error.
long long ReadAt(TFileHandle file, std::uint64_t offset, char* into, std::size_t size);
// False when closing reported an error (a full disk may show only here).
bool CloseFile(TFileHandle file);

// The outbox: a folder of the user's own that nobody else may write into.
// Opens it, making it when missing; kNoFile with `refused` set when it is
// not the user's own or others may write into it, `refused` clear when it
// cannot be made or opened.
TFileHandle OpenOutboxFolder(const std::string& folder, bool& refused);
// A new file in the folder, for this account alone, never through a link;
// kNoFile when the name is taken or it cannot be made.
TFileHandle CreateFreshFile(TFileHandle folder, const std::string& folderPath, const std::string& name);
bool WriteAll(TFileHandle file, const char* data, std::size_t size);
// Returns once the file's data is on the disk.
bool SyncFile(TFileHandle file);
// Gives the file `from` also the name `to` when nobody has taken that yet:
// 1 done, 0 taken, -1 another failure. `from` stays until removed.
int LinkUnlessTaken(TFileHandle folder, const std::string& folderPath, const std::string& from, const std::string& to);
void RemoveFile(TFileHandle folder, const std::string& folderPath, const std::string& name);
