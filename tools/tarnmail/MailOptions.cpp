#include "MailOptions.h"

#include "MailError.h"
#include "jtext/SjisBytes.h"

namespace {

// A sender field is whole once it holds an address and no open "<". A
// display name with spaces that was not quoted arrives in pieces; those
// pieces belong to it, not to the address list.
bool SenderIsIncomplete(const std::string& s)
{
  if (FindChar(s, '@') == std::string::npos)  // "@" can be a second byte
    return true;
  std::size_t open = FindLastChar(s, '<');
  return open != std::string::npos && FindChar(s, '>', open) == std::string::npos;
}

std::string Unquote(std::string s)
{
  s = TrimText(s);
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"')
    s = s.substr(1, s.size() - 2);
  return s;
}

bool StartsWithNoCase(const std::string& s, const char* prefix)
{
  std::size_t i = 0;
  for (; prefix[i]; ++i) {
    if (i >= s.size())
      return false;
    char a = s[i], b = prefix[i];
    if (a >= 'a' && a <= 'z')
      a = static_cast<char>(a - 32);
    if (a != b)
      return false;
  }
  return true;
}

} // namespace

std::string TrimText(const std::string& s)
{
  return Trim(s);
}

TMailOptions ParseMailOptions(const std::vector<std::string>& args)
{
  TMailOptions o;
  std::string* lastSender = nullptr;
  for (const std::string& arg : args) {
    if (arg == "--help") {
      o.Help = true;
      continue;
    }
    if (arg == "--version") {
      o.Version = true;
      continue;
    }
    if (arg.rfind("--config=", 0) == 0) {
      o.ConfigFile = arg.substr(9);
      if (o.ConfigFile.empty())
        throw EMailError(ecUsage, "--config= needs a file name");
      continue;
    }
    if (arg.size() >= 2 && arg[0] == '-') {
      char letter = arg[1];
      std::string value = arg.substr(2);
      lastSender = nullptr;
      auto needValue = [&](const char* what) {
        if (TrimText(value).empty())
          throw EMailError(ecUsage, std::string("-") + letter + " needs " + what);
      };
      auto noValue = [&] {
        if (!value.empty())
          throw EMailError(ecUsage, "unknown option " + arg);
      };
      switch (letter) {
      case 'd': noValue(); o.Transcript = true; break;
      case 'm': noValue(); o.BodyFromFile = true; break;
      case 't': noValue(); o.JapanTime = true; break;
      case 'h': needValue("a host name"); o.Host = TrimText(value); break;
      case 'f': needValue("a sender"); o.From = value; lastSender = &o.From; break;
      case 'r': needValue("an address"); o.ReplyTo = value; lastSender = &o.ReplyTo; break;
      case 'n': needValue("an address"); o.EnvelopeSender = value; lastSender = &o.EnvelopeSender; break;
      case 's': o.Subject = value; o.HasSubject = true; break;
      case 'F': needValue("a file name"); o.BodyFile = Unquote(value); break;
      case 'c': needValue("a settings file"); o.ConfigFile = Unquote(value); break;
      case 'a': {
        needValue("a file list");
        std::string list = value;
        std::size_t start = 0;
        while (start <= list.size()) {
          std::size_t comma = FindChar(list, ',', start);
          if (comma == std::string::npos)
            comma = list.size();
          std::string path = Unquote(list.substr(start, comma - start));
          if (!path.empty())
            o.Attachments.push_back(path);
          start = comma + 1;
        }
        break;
      }
      default:
        throw EMailError(ecUsage, "unknown option " + arg);
      }
      continue;
    }
    if (lastSender && SenderIsIncomplete(*lastSender)) {
      *lastSender += " " + arg;
      continue;
    }
    lastSender = nullptr;
    if (!o.AddressList.empty())
      o.AddressList += " ";
    o.AddressList += arg;
  }
  if (!o.BodyFromFile && !o.BodyFile.empty())
    o.BodyFromFile = true;
  if (o.BodyFromFile && o.BodyFile.empty())
    throw EMailError(ecUsage, "-m needs -F with the body file");
  return o;
}

std::vector<TRecipient> SplitAddressList(const std::string& list)
{
  std::vector<TRecipient> out;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t comma = FindChar(list, ',', start);
    if (comma == std::string::npos)
      comma = list.size();
    std::string entry = TrimText(list.substr(start, comma - start));
    start = comma + 1;
    TRecipientKind kind = rkTo;
    if (StartsWithNoCase(entry, "BCC:")) {
      kind = rkBcc;
      entry = TrimText(entry.substr(4));
    } else if (StartsWithNoCase(entry, "CC:")) {
      kind = rkCc;
      entry = TrimText(entry.substr(3));
    } else if (StartsWithNoCase(entry, "TO:")) {
      entry = TrimText(entry.substr(3));
    }
    if (!entry.empty())
      out.push_back({kind, entry});
  }
  return out;
}
