#include "MailSystem.h"

#include <windows.h>
#include <bcrypt.h>
#include <process.h>

#include <atomic>
#include <cstring>
#include <thread>

namespace {

std::atomic<bool> g_watchdogArmed{false};

HANDLE Handle(TFileHandle file) { return reinterpret_cast<HANDLE>(file); }
TFileHandle FromHandle(HANDLE h) { return h == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<TFileHandle>(h); }

std::string InFolder(const std::string& folderPath, const std::string& name) { return folderPath + "\\" + name; }

} // namespace

long ProcessNumber() { return static_cast<long>(GetCurrentProcessId()); }

bool SystemRandom(unsigned char* into, std::size_t size)
{
  return BCryptGenRandom(nullptr, into, static_cast<ULONG>(size), BCRYPT_USE_SYSTEM_PREFERRED_RNG) == 0;
}

std::tm LocalTimeNow(long& utcOffset)
{
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_s(&tm, &now);
  std::tm copy = tm;
  utcOffset = static_cast<long>(_mkgmtime(&copy) - now);
  return tm;
}

std::tm UtcTime(std::time_t t)
{
  std::tm tm{};
  gmtime_s(&tm, &t);
  return tm;
}

std::string MachineName()
{
  char name[256] = "localhost";
  DWORD size = sizeof name;
  if (!GetComputerNameExA(ComputerNameDnsHostname, name, &size))
    std::strcpy(name, "localhost");
  return name;
}

std::string CurrentFolder()
{
  char cwd[MAX_PATH * 2] = "";
  DWORD n = GetCurrentDirectoryA(sizeof cwd, cwd);
  return n > 0 && n < sizeof cwd ? cwd : "";
}

std::string SystemError()
{
  const DWORD code = GetLastError();
  char text[512] = "";
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                           sizeof text, nullptr);
  while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' '))
    text[--n] = '\0';
  return n ? std::string(text) : "system error " + std::to_string(code);
}

// A thread of its own stands in for the alarm signal.
void ArmWatchdog(unsigned seconds, const char* message, int exitCode)
{
  g_watchdogArmed = true;
  std::thread([seconds, message, exitCode] {
    Sleep(seconds * 1000);
    if (!g_watchdogArmed)
      return;
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), message, static_cast<DWORD>(std::strlen(message)), &written, nullptr);
    ExitProcess(static_cast<UINT>(exitCode));
  }).detach();
}

void DisarmWatchdog() { g_watchdogArmed = false; }

void IgnoreBrokenPipes() {}

bool OthersMayRead(const std::string&) { return false; }

TReadResult OpenInputFile(const std::string& osPath, TFileHandle& file, std::uint64_t& size)
{
  // Others may go on writing, as with the project's other loads: a file
  // whose size changes is caught while the mail is written.
  HANDLE h = CreateFileA(osPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    DWORD e = GetLastError();
    if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND || e == ERROR_INVALID_NAME)
      return rrMissing;
    // A folder opens only with backup semantics: that it exists says enough.
    DWORD attributes = GetFileAttributesA(osPath.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) ? rrNotAFile
                                                                                             : rrUnreadable;
  }
  LARGE_INTEGER length{};
  if (GetFileType(h) != FILE_TYPE_DISK || !GetFileSizeEx(h, &length)) {
    CloseHandle(h);
    return rrNotAFile;
  }
  file = FromHandle(h);
  size = static_cast<std::uint64_t>(length.QuadPart);
  return rrRead;
}

long long ReadAt(TFileHandle file, std::uint64_t offset, char* into, std::size_t size)
{
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD n = 0;
  if (ReadFile(Handle(file), into, static_cast<DWORD>(size), &n, &at))
    return n;
  return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
}

bool CloseFile(TFileHandle file)
{
  return file == kNoFile || CloseHandle(Handle(file));
}

// The folder is kept open, without sharing its deletion, while the mail is
// written; a link planted in its place (a reparse point) is refused.
TFileHandle OpenOutboxFolder(const std::string& folder, bool& refused)
{
  refused = false;
  if (!CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
    return kNoFile;
  DWORD attributes = GetFileAttributesA(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return kNoFile;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    refused = true;
    return kNoFile;
  }
  return FromHandle(CreateFileA(folder.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

TFileHandle CreateFreshFile(TFileHandle, const std::string& folderPath, const std::string& name)
{
  return FromHandle(CreateFileA(InFolder(folderPath, name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool WriteAll(TFileHandle file, const char* data, std::size_t size)
{
  while (size > 0) {
    DWORD n = 0;
    const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    if (!WriteFile(Handle(file), data, chunk, &n, nullptr) || n == 0)
      return false;
    data += n;
    size -= n;
  }
  return true;
}

bool SyncFile(TFileHandle file) { return FlushFileBuffers(Handle(file)); }

// Moved rather than linked: a move that finds the name taken fails as a
// link would, and FAT volumes have no links.
int LinkUnlessTaken(TFileHandle, const std::string& folderPath, const std::string& from, const std::string& to)
{
  if (MoveFileExA(InFolder(folderPath, from).c_str(), InFolder(folderPath, to).c_str(), MOVEFILE_WRITE_THROUGH))
    return 1;
  DWORD e = GetLastError();
  return e == ERROR_ALREADY_EXISTS || e == ERROR_FILE_EXISTS ? 0 : -1;
}

void RemoveFile(TFileHandle, const std::string& folderPath, const std::string& name)
{
  DeleteFileA(InFolder(folderPath, name).c_str());
}
