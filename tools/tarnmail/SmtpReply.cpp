#include "SmtpReply.h"

#include <algorithm>
#include <cstdlib>

namespace {

std::string Upper(std::string s)
{
  for (char& c : s)
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 32);
  return s;
}

int ReplyCode(const std::string& line)
{
  if (line.size() < 3 || line[0] < '2' || line[0] > '5' || line[1] < '0' || line[1] > '9' || line[2] < '0' ||
      line[2] > '9' || (line.size() > 3 && line[3] != ' ' && line[3] != '-'))
    return 0;
  return std::atoi(line.substr(0, 3).c_str());
}

} // namespace

bool AddReplyLine(TReply& reply, const std::string& line, bool& done)
{
  const int code = ReplyCode(line);
  if (!code || (!reply.Lines.empty() && code != reply.Code))
    return false;
  reply.Code = code;
  reply.Lines.push_back(line.size() > 4 ? line.substr(4) : std::string());
  reply.Text += (reply.Text.empty() ? "" : " ") + reply.Lines.back();
  done = line.size() == 3 || line[3] == ' ';
  return true;
}

TOffer ReadOffer(const TReply& ehlo)
{
  TOffer o;
  // The first line greets; each one after it names an extension.
  for (std::size_t i = 1; i < ehlo.Lines.size(); ++i) {
    std::string cap = Upper(ehlo.Lines[i]);
    std::string word = cap.substr(0, cap.find_first_of(" ="));
    std::string rest = word.size() < cap.size() ? cap.substr(word.size() + 1) : "";
    if (word == "STARTTLS")
      o.StartTls = true;
    else if (word == "PIPELINING")
      o.Pipelining = true;
    else if (word == "SIZE") {
      o.Size = true;
      o.SizeLimit = std::strtoull(rest.c_str(), nullptr, 10);
    } else if (word == "AUTH") {
      for (std::size_t p = 0; p < rest.size();) {
        std::size_t sp = std::min(rest.find(' ', p), rest.size());
        if (sp > p)
          o.Auth.push_back(rest.substr(p, sp - p));
        p = sp + 1;
      }
    }
  }
  return o;
}
