#include "SmtpSettings.h"

#include "MailError.h"
#include "MailOptions.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>

namespace {

std::string Lower(std::string s)
{
  for (char& c : s)
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c + 32);
  return s;
}

long Number(const std::string& key, const std::string& value, long min, long max)
{
  char* end = nullptr;
  long n = std::strtol(value.c_str(), &end, 10);
  if (value.empty() || *end != '\0' || n < min || n > max)
    throw EMailError(ecUsage, "tarnmail.ini: bad value for " + key + ": " + value);
  return n;
}

} // namespace

TSmtpSettings LoadSmtpSettings(const std::string& iniPath)
{
  TSmtpSettings s;
  std::ifstream in(iniPath, std::ios::binary);
  std::string line, section;
  while (std::getline(in, line)) {
    line = TrimText(line);
    if (line.empty() || line[0] == ';' || line[0] == '#')
      continue;
    if (line.front() == '[') {
      section = Lower(TrimText(line.substr(1, line.find(']') - 1)));
      continue;
    }
    std::size_t eq = line.find('=');
    if (section != "smtp" || eq == std::string::npos)
      continue;
    std::string key = Lower(TrimText(line.substr(0, eq)));
    std::string value = TrimText(line.substr(eq + 1));
    if (key == "port")
      s.Port = static_cast<int>(Number("Port", value, 1, 65535));
    else if (key == "user")
      s.User = value;
    else if (key == "password")
      s.Password = value;
    else if (key == "connecttimeout")
      s.ConnectTimeout = Number("ConnectTimeout", value, 1, 3600);
    else if (key == "timeout")
      s.Timeout = Number("Timeout", value, 1, 86400);
    else if (key == "verifycertificate")
      s.VerifyCertificate = Number("VerifyCertificate", value, 0, 1) != 0;
    else if (key == "tls") {
      std::string v = Lower(value);
      if (v == "try")
        s.Tls = tlsTry;
      else if (v == "require")
        s.Tls = tlsRequire;
      else if (v == "off")
        s.Tls = tlsOff;
      else
        throw EMailError(ecUsage, "tarnmail.ini: TLS must be try, require or off, not " + value);
    }
  }
  return s;
}

std::string ExecutableFolder()
{
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0)
    return "./";
  std::string path(buf, static_cast<std::size_t>(n));
  return path.substr(0, path.rfind('/') + 1);
}
