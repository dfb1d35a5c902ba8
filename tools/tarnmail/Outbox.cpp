#include "Outbox.h"

#include "MailError.h"
#include "MailSystem.h"

#include "platform/Paths.h"

namespace {

// Writes through a buffer to a file; keeps the first error.
class TFileSink : public TSink {
public:
  explicit TFileSink(TFileHandle file) : file_(file) {}
  bool Write(const char* data, std::size_t size) override
  {
    buffer_.append(data, size);
    return buffer_.size() < (1 << 16) || Flush();
  }
  bool Flush()
  {
    bool ok = WriteAll(file_, buffer_.data(), buffer_.size());
    buffer_.clear();
    return ok;
  }

private:
  TFileHandle file_;
  std::string buffer_;
};

// A name nobody can guess, so that no one can plant a file under it first.
std::string Unguessable()
{
  unsigned long long r = 0;
  if (!SystemRandom(reinterpret_cast<unsigned char*>(&r), sizeof r))
    r = static_cast<unsigned long long>(std::time(nullptr)) * 2654435761u ^ static_cast<unsigned long long>(ProcessNumber());
  return std::to_string(ProcessNumber()) + "-" + std::to_string(r % 1000000000000ull);
}

} // namespace

std::string WriteToOutbox(const std::string& folder, const TBuiltMail& mail, const std::string& envelope)
{
  // A folder that someone else made, or may write into, lets that someone
  // read the mails or put links where they are written: refused.
  bool refused = false;
  TFileHandle dir = OpenOutboxFolder(folder, refused);
  if (dir == kNoFile && !refused)
    throw EMailError(ecIoError, "cannot create or open " + folder + ": " + SystemError());
  if (dir == kNoFile) {
    const std::string cwd = CurrentFolder();
    throw EMailError(ecCantCreate, (cwd.empty() ? folder : cwd + platform::kPathSeparator + folder) +
                                       " is a link, no folder, not the user's own, or others may write into it: refused");
  }

  long offset = 0;
  std::tm tm = LocalTimeNow(offset);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
  const std::string base = std::string(stamp) + "-" + std::to_string(ProcessNumber());

  // Written under a hidden name first, so nobody picks up half a mail, then
  // given a name that nobody else has taken.
  const std::string temp = ".tarnmail-" + Unguessable() + ".tmp";
  auto fail = [&](const std::string& what) {
    std::string why = SystemError();
    RemoveFile(dir, folder, temp);
    CloseFile(dir);
    throw EMailError(ecIoError, "cannot write " + folder + "/" + what + ": " + why);
  };
  TFileHandle file = CreateFreshFile(dir, folder, temp);
  if (file == kNoFile)
    fail(temp);
  TFileSink sink(file);
  bool ok = WriteMessage(mail, sink) && sink.Flush() && SyncFile(file);
  ok = CloseFile(file) && ok;
  if (!ok)
    fail(temp);
  for (int n = 1; n < 10000; ++n) {
    std::string name = base + (n == 1 ? "" : "-" + std::to_string(n)) + ".eml";
    int linked = LinkUnlessTaken(dir, folder, temp, name);
    if (linked < 0)
      break;
    if (linked == 0)
      continue;
    RemoveFile(dir, folder, temp);
    std::string envName = name.substr(0, name.size() - 4) + ".envelope";
    TFileHandle env = CreateFreshFile(dir, folder, envName);
    TFileSink envSink(env);
    bool written = env != kNoFile && envSink.Write(envelope.data(), envelope.size()) && envSink.Flush();
    written = CloseFile(env) && written;
    if (!written) {
      std::string why = SystemError();
      if (env != kNoFile)
        RemoveFile(dir, folder, envName);
      RemoveFile(dir, folder, name);  // a mail without its recipients would mislead
      CloseFile(dir);
      throw EMailError(ecIoError, "cannot write " + folder + "/" + envName + ": " + why);
    }
    CloseFile(dir);
    return folder + "/" + name;
  }
  fail(base + ".eml");
  return "";
}
