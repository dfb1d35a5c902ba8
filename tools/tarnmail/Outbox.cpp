#include "Outbox.h"

#include "MailError.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace {

// Writes through a buffer to a file; keeps the first error.
class TFileSink : public TSink {
public:
  explicit TFileSink(int fd) : fd_(fd) {}
  bool Write(const char* data, std::size_t size) override
  {
    buffer_.append(data, size);
    return buffer_.size() < (1 << 16) || Flush();
  }
  bool Flush()
  {
    std::size_t done = 0;
    while (done < buffer_.size()) {
      ssize_t n = write(fd_, buffer_.data() + done, buffer_.size() - done);
      if (n < 0 && errno == EINTR)
        continue;
      if (n <= 0)
        return false;
      done += static_cast<std::size_t>(n);
    }
    buffer_.clear();
    return true;
  }

private:
  int fd_;
  std::string buffer_;
};

std::string Why() { return std::strerror(errno); }

// A name nobody can guess, so that no one can plant a file under it first.
std::string Unguessable()
{
  unsigned long long r = 0;
  if (getrandom(&r, sizeof r, 0) != sizeof r)
    r = static_cast<unsigned long long>(std::time(nullptr)) * 2654435761u ^ static_cast<unsigned long long>(getpid());
  return std::to_string(getpid()) + "-" + std::to_string(r % 1000000000000ull);
}

// Created fresh and for the user alone: O_EXCL never follows a link.
int CreateFresh(int dir, const std::string& name)
{
  return openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
}

} // namespace

std::string WriteToOutbox(const std::string& folder, const TBuiltMail& mail, const std::string& envelope)
{
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
    throw EMailError(ecIoError, "cannot create " + folder + ": " + Why());
  // A folder that someone else made, or may write into, lets that someone
  // read the mails or put links where they are written: refused.
  int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (dir < 0)
    throw EMailError(errno == ELOOP || errno == ENOTDIR ? ecCantCreate : ecIoError,
                     "cannot use " + folder + " (a link, or no folder?): " + Why());
  struct stat st {};
  if (fstat(dir, &st) != 0 || st.st_uid != geteuid() || (st.st_mode & (S_IWGRP | S_IWOTH))) {
    close(dir);
    char cwd[4096] = "";
    std::string path = getcwd(cwd, sizeof cwd) ? std::string(cwd) + "/" + folder : folder;
    throw EMailError(ecCantCreate, path + " is not the user's own, or others may write into it: refused");
  }

  char stamp[32];
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
  const std::string base = std::string(stamp) + "-" + std::to_string(getpid());

  // Written under a hidden name first, so nobody picks up half a mail, then
  // linked to a name that nobody else has taken.
  const std::string temp = ".tarnmail-" + Unguessable() + ".tmp";
  auto fail = [&](const std::string& what) {
    std::string why = Why();
    unlinkat(dir, temp.c_str(), 0);
    close(dir);
    throw EMailError(ecIoError, "cannot write " + folder + "/" + what + ": " + why);
  };
  int fd = CreateFresh(dir, temp);
  if (fd < 0)
    fail(temp);
  TFileSink sink(fd);
  bool ok = WriteMessage(mail, sink) && sink.Flush() && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (!ok)
    fail(temp);
  for (int n = 1; n < 10000; ++n) {
    std::string name = base + (n == 1 ? "" : "-" + std::to_string(n)) + ".eml";
    if (linkat(dir, temp.c_str(), dir, name.c_str(), 0) == 0) {
      unlinkat(dir, temp.c_str(), 0);
      std::string envName = name.substr(0, name.size() - 4) + ".envelope";
      int efd = CreateFresh(dir, envName);
      TFileSink env(efd);
      bool written = efd >= 0 && env.Write(envelope.data(), envelope.size()) && env.Flush();
      if (efd >= 0)
        written = close(efd) == 0 && written;
      if (!written) {
        std::string why = Why();
        if (efd >= 0)
          unlinkat(dir, envName.c_str(), 0);
        unlinkat(dir, name.c_str(), 0);  // a mail without its recipients would mislead
        close(dir);
        throw EMailError(ecIoError, "cannot write " + folder + "/" + envName + ": " + why);
      }
      close(dir);
      return folder + "/" + name;
    }
    if (errno != EEXIST)
      break;
  }
  fail(base + ".eml");
  return "";
}
