#include "SmtpSettings.h"

#include "MailError.h"
#include "MailSystem.h"
#include "MailOptions.h"

#include "jtext/SjisBytes.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "settings/IniFile.h"

#include <cerrno>
#include <cstdlib>

namespace {

const char* const kKeys[] = {
  "Host", "Port", "From", "User", "Password", "TLS", "AuthWithoutTls", "CAFile", "VerifyCertificate",
  "EhloName", "ConnectTimeout", "StallTimeout", "Timeout", "Outbox", "LogFile", "MaxMessageSize",
};

std::string Lower(std::string s)
{
  for (char& c : s)
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c + 32);
  return s;
}

class TReader {
public:
  TReader(const std::string& path) : ini_(path), path_(path), names_(ini_.ReadKeyNames("SMTP")) {}

  TIniFile& Ini() { return ini_; }

  const std::vector<std::string>& Names() const { return names_; }

  // Only keys that are there are looked up: the reader reads the file
  // afresh for each.
  std::string Text(const char* key)
  {
    for (const std::string& n : names_)
      if (Lower(n) == Lower(key))
        return ini_.ReadString("SMTP", key, "");
    return "";
  }

  long long Number(const char* key, long long def, long long min, long long max)
  {
    std::string value = Text(key);
    if (value.empty())
      return def;
    char* end = nullptr;
    errno = 0;
    long long n = std::strtoll(value.c_str(), &end, 10);
    if (errno == ERANGE)
      n = min - 1;
    if (*end != '\0' || n < min || n > max)
      throw EMailError(ecConfig, path_ + ": " + key + " must be a number from " + std::to_string(min) +
                                     " to " + std::to_string(max) + ", not " + value);
    return n;
  }

  bool Flag(const char* key, bool def) { return Number(key, def ? 1 : 0, 0, 1) != 0; }

private:
  TIniFile ini_;
  std::string path_;
  std::vector<std::string> names_;
};

} // namespace

TSmtpSettings LoadSmtpSettings(const std::string& explicitPath)
{
  TSmtpSettings s;
  std::string path = explicitPath.empty() ? platform::ProgramFolder() + "tarnmail.ini"
                                          : platform::NormalizeSeparators(explicitPath);
  if (!platform::FileExists(path)) {
    if (!explicitPath.empty())
      throw EMailError(ecConfig, "no settings file " + path);
    return s;
  }
  s.Path = path;
  TReader r(path);

  for (const std::string& key : r.Names()) {
    bool known = false;
    for (const char* k : kKeys)
      known = known || Lower(key) == Lower(k);
    if (!known)
      s.Warnings.push_back(path + ": unknown key " + key + " in [SMTP] (ignored)");
    // The reader keeps a comment written after a value as part of it, as
    // the classic profile rules do; say so rather than use it silently.
    else if (FindText(r.Text(key.c_str()), " ;") != std::string::npos)
      s.Warnings.push_back(path + ": the value of " + key +
                           " holds \" ;\"; comments belong on a line of their own, so it is part of the value");
  }

  s.Host = Trim(r.Text("Host"));
  s.From = Trim(r.Text("From"));
  s.User = r.Text("User");
  s.Password = r.Text("Password");
  std::string tls = Lower(Trim(r.Text("TLS")));
  // "try" and "require" are the names of earlier versions.
  if (tls == "off")
    s.Tls = tlsOff;
  else if (tls == "starttls" || tls == "try")
    s.Tls = tlsStartTls;
  else if (tls == "required" || tls == "require")
    s.Tls = tlsRequired;
  else if (tls == "implicit")
    s.Tls = tlsImplicit;
  else if (!tls.empty())
    throw EMailError(ecConfig, path + ": TLS must be off, starttls, required or implicit, not " + tls);
  s.TlsGiven = !tls.empty();
  s.Port = static_cast<int>(r.Number("Port", s.Tls == tlsImplicit ? 465 : 25, 1, 65535));
  s.AuthWithoutTls = r.Flag("AuthWithoutTls", false);
  s.CAFile = r.Text("CAFile");
  if (!s.CAFile.empty() && !platform::IsAbsolutePath(s.CAFile))
    s.CAFile = platform::FolderOf(path) + s.CAFile;
  s.VerifyCertificate = r.Flag("VerifyCertificate", true);
  s.EhloName = Trim(r.Text("EhloName"));
  for (char c : s.EhloName)
    if (static_cast<unsigned char>(c) <= 32 || static_cast<unsigned char>(c) >= 127 || c == '/')
      throw EMailError(ecConfig, path + ": EhloName must be a host name, not " + s.EhloName);
  s.ConnectTimeout = r.Number("ConnectTimeout", 30, 1, 3600);
  s.StallTimeout = r.Number("StallTimeout", 60, 1, 3600);
  s.Timeout = r.Number("Timeout", 300, 1, 86400);
  s.Outbox = r.Flag("Outbox", false);
  s.LogFile = r.Text("LogFile");
  if (!s.LogFile.empty() && !platform::IsAbsolutePath(s.LogFile))
    s.LogFile = platform::FolderOf(path) + s.LogFile;

  s.MaxMessageSize = r.Number("MaxMessageSize", 0, 0, 1LL << 40);

  // Headers added to every mail; the secret of their {token}.
  for (const std::string& name : r.Ini().ReadKeyNames("Headers"))
    s.Headers.Headers.emplace_back(name, r.Ini().ReadString("Headers", name, ""));
  s.Headers.TokenSecret = r.Ini().ReadString("Token", "Secret", "");

  // As established mail tools do: a password that others can read is no secret.
  if (!s.Password.empty() || !s.Headers.TokenSecret.empty()) {
    if (OthersMayRead(platform::ToOsPath(path)))
      throw EMailError(ecConfig, path + " holds a password or a secret and other users may read it; chmod 600 " +
                                     path);
  }
  return s;
}
