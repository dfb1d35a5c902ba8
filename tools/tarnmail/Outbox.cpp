#include "Outbox.h"

#include "MailError.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace {

bool WriteAll(int fd, const std::string& data)
{
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

} // namespace

std::string WriteToOutbox(const std::string& folder, const std::string& message, const std::string& envelope)
{
  if (mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST)
    throw EMailError(ecIoError, "cannot create " + folder + ": " + std::strerror(errno));

  char stamp[32];
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
  std::string base = folder + "/" + stamp + "-" + std::to_string(getpid());

  // Written under a hidden name first, so nobody picks up half a mail, then
  // linked to a name that nobody else has taken.
  std::string temp = folder + "/.tarnmail-" + std::to_string(getpid()) + ".tmp";
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (fd < 0)
    throw EMailError(ecIoError, "cannot write " + temp + ": " + std::strerror(errno));
  bool ok = WriteAll(fd, message) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (!ok) {
    unlink(temp.c_str());
    throw EMailError(ecIoError, "cannot write " + temp + ": " + std::strerror(errno));
  }
  for (int n = 1; n < 10000; ++n) {
    std::string name = base + (n == 1 ? "" : "-" + std::to_string(n)) + ".eml";
    if (link(temp.c_str(), name.c_str()) == 0) {
      unlink(temp.c_str());
      std::string envName = name.substr(0, name.size() - 4) + ".envelope";
      int efd = open(envName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      bool written = efd >= 0 && WriteAll(efd, envelope);
      if (efd >= 0)
        written = close(efd) == 0 && written;
      if (!written) {
        int err = errno;
        unlink(envName.c_str());
        unlink(name.c_str());  // a mail without its recipients would mislead
        throw EMailError(ecIoError, "cannot write " + envName + ": " + std::strerror(err));
      }
      return name;
    }
    if (errno != EEXIST)
      break;
  }
  int err = errno;
  unlink(temp.c_str());
  throw EMailError(ecIoError, "cannot name the mail in " + folder + ": " + std::strerror(err));
}
