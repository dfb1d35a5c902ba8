#include "MailSystem.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace {

const char* g_watchdogMessage = "";
int g_watchdogCode = 1;

extern "C" void Watchdog(int)
{
  ssize_t ignored = write(STDERR_FILENO, g_watchdogMessage, std::strlen(g_watchdogMessage));
  (void)ignored;
  _exit(g_watchdogCode);
}

int Fd(TFileHandle file) { return static_cast<int>(file); }

} // namespace

long ProcessNumber() { return static_cast<long>(getpid()); }

bool SystemRandom(unsigned char* into, std::size_t size)
{
  return getrandom(into, size, 0) == static_cast<ssize_t>(size);
}

std::tm LocalTimeNow(long& utcOffset)
{
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  utcOffset = tm.tm_gmtoff;
  return tm;
}

std::tm UtcTime(std::time_t t)
{
  std::tm tm{};
  gmtime_r(&t, &tm);
  return tm;
}

std::string MachineName()
{
  char name[256] = "localhost";
  gethostname(name, sizeof name - 1);
  return name;
}

std::string CurrentFolder()
{
  char cwd[4096] = "";
  return getcwd(cwd, sizeof cwd) ? cwd : "";
}

std::string SystemError() { return std::strerror(errno); }

void ArmWatchdog(unsigned seconds, const char* message, int exitCode)
{
  g_watchdogMessage = message;
  g_watchdogCode = exitCode;
  std::signal(SIGALRM, Watchdog);
  alarm(seconds);
}

void DisarmWatchdog() { alarm(0); }

void IgnoreBrokenPipes() { std::signal(SIGPIPE, SIG_IGN); }

bool OthersMayRead(const std::string& osPath)
{
  struct stat st {};
  return stat(osPath.c_str(), &st) == 0 && (st.st_mode & (S_IRWXG | S_IRWXO));
}

// Opened without blocking so that opening a FIFO does not wait for a writer.
TReadResult OpenInputFile(const std::string& osPath, TFileHandle& file, std::uint64_t& size)
{
  int fd = open(osPath.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0)
    return errno == ENOENT || errno == ENOTDIR ? rrMissing : rrUnreadable;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return rrNotAFile;
  }
  file = fd;
  size = static_cast<std::uint64_t>(st.st_size);
  return rrRead;
}

long long ReadAt(TFileHandle file, std::uint64_t offset, char* into, std::size_t size)
{
  for (;;) {
    ssize_t n = pread(Fd(file), into, size, static_cast<off_t>(offset));
    if (n >= 0 || errno != EINTR)
      return n;
  }
}

bool CloseFile(TFileHandle file)
{
  return file == kNoFile || close(Fd(file)) == 0;
}

TFileHandle OpenOutboxFolder(const std::string& folder, bool& refused)
{
  refused = false;
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
    return kNoFile;
  int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (dir < 0) {
    refused = errno == ELOOP || errno == ENOTDIR;
    return kNoFile;
  }
  struct stat st {};
  if (fstat(dir, &st) != 0 || st.st_uid != geteuid() || (st.st_mode & (S_IWGRP | S_IWOTH))) {
    close(dir);
    refused = true;
    return kNoFile;
  }
  return dir;
}

// O_EXCL never follows a link.
TFileHandle CreateFreshFile(TFileHandle folder, const std::string&, const std::string& name)
{
  int fd = openat(Fd(folder), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  return fd < 0 ? kNoFile : fd;
}

bool WriteAll(TFileHandle file, const char* data, std::size_t size)
{
  std::size_t done = 0;
  while (done < size) {
    ssize_t n = write(Fd(file), data + done, size - done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool SyncFile(TFileHandle file) { return fsync(Fd(file)) == 0; }

int LinkUnlessTaken(TFileHandle folder, const std::string&, const std::string& from, const std::string& to)
{
  if (linkat(Fd(folder), from.c_str(), Fd(folder), to.c_str(), 0) == 0)
    return 1;
  return errno == EEXIST ? 0 : -1;
}

void RemoveFile(TFileHandle folder, const std::string&, const std::string& name)
{
  unlinkat(Fd(folder), name.c_str(), 0);
}
