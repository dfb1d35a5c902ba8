#include "SmtpSender.h"

#include "MailError.h"

// libcurl is loaded when a mail is submitted, not at start: a dry run and
// every refusal before the submission do without its dozens of libraries.
#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>
#include <dlfcn.h>
#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

namespace {

using TClock = std::chrono::steady_clock;

struct TCurlApi {
  CURLcode (*global_init)(long);
  CURL* (*easy_init)();
  CURLcode (*easy_setopt)(CURL*, CURLoption, ...);
  CURLcode (*easy_perform)(CURL*);
  CURLcode (*easy_getinfo)(CURL*, CURLINFO, ...);
  void (*easy_cleanup)(CURL*);
  CURLcode (*easy_send)(CURL*, const void*, size_t, size_t*);
  CURLcode (*easy_recv)(CURL*, void*, size_t, size_t*);
  const char* (*easy_strerror)(CURLcode);
};

template <typename F>
void Bind(void* lib, const char* name, F& f)
{
  f = reinterpret_cast<F>(dlsym(lib, name));
  if (!f)
    throw EMailError(ecSoftware, std::string("libcurl lacks ") + name);
}

const TCurlApi& Api()
{
  static TCurlApi api = [] {
    void* lib = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (!lib)
      throw EMailError(ecSoftware, std::string("cannot load libcurl: ") + dlerror());
    TCurlApi a{};
    Bind(lib, "curl_global_init", a.global_init);
    Bind(lib, "curl_easy_init", a.easy_init);
    Bind(lib, "curl_easy_setopt", a.easy_setopt);
    Bind(lib, "curl_easy_perform", a.easy_perform);
    Bind(lib, "curl_easy_getinfo", a.easy_getinfo);
    Bind(lib, "curl_easy_cleanup", a.easy_cleanup);
    Bind(lib, "curl_easy_send", a.easy_send);
    Bind(lib, "curl_easy_recv", a.easy_recv);
    Bind(lib, "curl_easy_strerror", a.easy_strerror);
    // Once per process; the process ends after one mail, so no cleanup.
    a.global_init(CURL_GLOBAL_DEFAULT);
    return a;
  }();
  return api;
}

bool StartsWith(const std::string& s, const char* prefix)
{
  return s.compare(0, std::strlen(prefix), prefix) == 0;
}

std::string Upper(std::string s)
{
  for (char& c : s)
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 32);
  return s;
}

int ReplyCode(const std::string& line)
{
  if (line.size() < 3 || line[0] < '1' || line[0] > '5' || line[1] < '0' || line[1] > '9' || line[2] < '0' ||
      line[2] > '9')
    return 0;
  return std::atoi(line.substr(0, 3).c_str());
}

// What libcurl's dialogue showed: the last EHLO's capabilities and the
// last reply, for the decisions and messages after it.
struct TDialogue {
  TTranscript* transcript = nullptr;
  bool hideNext = false;  // the answer to an AUTH challenge carries secrets
  bool inEhlo = false;
  bool authOffered = false;
  std::string lastReply;
};

int DebugLine(CURL*, curl_infotype type, char* data, std::size_t size, void* user)
{
  auto* st = static_cast<TDialogue*>(user);
  const char* mark = type == CURLINFO_TEXT ? "* " : type == CURLINFO_HEADER_IN ? "< " : type == CURLINFO_HEADER_OUT ? "> " : nullptr;
  if (!mark)
    return 0;
  std::string text(data, size);
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos)
      end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    if (line.empty())
      continue;
    if (type == CURLINFO_HEADER_OUT) {
      if (Upper(line.substr(0, 5)) == "EHLO ") {
        st->inEhlo = true;
        st->authOffered = false;  // after STARTTLS the second EHLO counts
      } else {
        st->inEhlo = false;
      }
      if (st->hideNext) {
        line = "(credentials hidden)";
        st->hideNext = false;
      } else if (Upper(line.substr(0, 5)) == "AUTH ") {
        std::size_t sp = line.find(' ', 5);
        if (sp != std::string::npos)
          line = line.substr(0, sp) + " (credentials hidden)";
      }
    }
    if (type == CURLINFO_HEADER_IN) {
      st->lastReply = line;
      if (st->inEhlo && line.size() > 4 && ReplyCode(line) == 250) {
        std::string cap = Upper(line.substr(4));
        if (StartsWith(cap, "AUTH ") || StartsWith(cap, "AUTH="))
          st->authOffered = true;
      }
      if (ReplyCode(line) == 334)
        st->hideNext = true;
    }
    st->transcript->Line(mark + line);
  }
  return 0;
}

int CodeForReply(int reply, int otherwise)
{
  if (reply >= 400 && reply < 500)
    return ecTempFail;
  if (reply >= 500 && reply < 600)
    return ecUnavailable;
  return otherwise;
}

// The dialogue after the login, on the connection libcurl opened.
class TSession {
public:
  TSession(CURL* curl, TTranscript& transcript, long stallSeconds, TClock::time_point deadline)
      : curl_(curl), transcript_(transcript), stall_(stallSeconds), deadline_(deadline)
  {
    curl_socket_t s = CURL_SOCKET_BAD;
    Api().easy_getinfo(curl_, CURLINFO_ACTIVESOCKET, &s);
    socket_ = s;
  }

  curl_socket_t Socket() const { return socket_; }

  // Sends all of `data`; false (with `error_`) when the connection broke or
  // stalled.
  bool Send(const std::string& data, bool show)
  {
    if (show)
      transcript_.Line("> " + data.substr(0, data.size() - 2));
    std::size_t done = 0;
    while (done < data.size()) {
      std::size_t n = 0;
      CURLcode r = Api().easy_send(curl_, data.data() + done, data.size() - done, &n);
      if (r == CURLE_OK) {
        done += n;
        continue;
      }
      if (r != CURLE_AGAIN) {
        error_ = std::string("connection lost while sending: ") + Api().easy_strerror(r);
        return false;
      }
      if (!Wait(POLLOUT))
        return false;
    }
    return true;
  }

  // Reads one whole reply (all its lines); 0 when none came.
  int Reply(std::string& text)
  {
    text.clear();
    for (;;) {
      std::size_t eol = buffer_.find("\r\n");
      while (eol != std::string::npos) {
        std::string line = buffer_.substr(0, eol);
        buffer_.erase(0, eol + 2);
        transcript_.Line("< " + line);
        int code = ReplyCode(line);
        if (!code) {
          error_ = "the server's answer makes no sense: " + line;
          protocolError_ = true;
          return 0;
        }
        text += (text.empty() ? "" : " ") + (line.size() > 4 ? line.substr(4) : std::string());
        last_ = line.substr(0, 3) + " " + text;
        if (line.size() == 3 || line[3] == ' ')
          return code;
        eol = buffer_.find("\r\n");
      }
      if (buffer_.size() > 65536) {
        error_ = "the server's answer has no end";
        protocolError_ = true;
        return 0;
      }
      char chunk[4096];
      std::size_t n = 0;
      CURLcode r = Api().easy_recv(curl_, chunk, sizeof chunk, &n);
      if (r == CURLE_OK && n == 0) {
        error_ = "the server closed the connection";
        return 0;
      }
      if (r == CURLE_OK) {
        buffer_.append(chunk, n);
        continue;
      }
      if (r != CURLE_AGAIN) {
        error_ = std::string("connection lost: ") + Api().easy_strerror(r);
        return 0;
      }
      if (!Wait(POLLIN))
        return 0;
    }
  }

  // A command and its reply.
  int Command(const std::string& line, std::string& text)
  {
    if (!Send(line + "\r\n", true))
      return 0;
    return Reply(text);
  }

  // No wait past the whole limit, however short that leaves the last one.
  void ShortenDeadline(std::chrono::seconds most)
  {
    deadline_ = std::min(deadline_, TClock::now() + most);
  }

  const std::string& Error() const { return error_; }
  bool ProtocolError() const { return protocolError_; }
  const std::string& LastReply() const { return last_; }

private:
  bool Wait(short events)
  {
    auto now = TClock::now();
    if (now >= deadline_) {
      error_ = "no answer within the time limit (Timeout)";
      return false;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - now).count();
    long ms = static_cast<long>(std::min<long long>(left, stall_ * 1000LL));
    pollfd p{socket_, events, 0};
    int r = poll(&p, 1, static_cast<int>(ms));
    if (r > 0)
      return true;
    if (r < 0 && errno == EINTR)
      return true;
    error_ = ms < stall_ * 1000L ? "no answer within the time limit (Timeout)"
                                 : "no progress for " + std::to_string(stall_) + " s (StallTimeout)";
    return false;
  }

  CURL* curl_;
  TTranscript& transcript_;
  long stall_;
  TClock::time_point deadline_;
  curl_socket_t socket_ = CURL_SOCKET_BAD;
  std::string buffer_;
  std::string error_;
  std::string last_;
  bool protocolError_ = false;
};

// The message as DATA carries it: a line that begins with "." gets another,
// and the end mark follows a final line break.
std::string DotStuffed(const std::string& message)
{
  std::string out;
  out.reserve(message.size() + message.size() / 64 + 8);
  bool lineStart = true;
  for (char c : message) {
    if (lineStart && c == '.')
      out += '.';
    out += c;
    lineStart = c == '\n';
  }
  if (!lineStart)
    out += "\r\n";
  return out + ".\r\n";
}

struct TCurlEasy {
  CURL* p = Api().easy_init();
  ~TCurlEasy()
  {
    if (!p)
      return;
    // libcurl would send QUIT once more and wait for its answer: the
    // connection is ended here instead, so cleanup never waits.
    curl_socket_t s = CURL_SOCKET_BAD;
    if (Api().easy_getinfo(p, CURLINFO_ACTIVESOCKET, &s) == CURLE_OK && s != CURL_SOCKET_BAD)
      shutdown(s, SHUT_RDWR);
    Api().easy_cleanup(p);
  }
};

} // namespace

void SplitHostPort(const std::string& text, int defaultPort, std::string& host, int& port)
{
  host = text;
  port = defaultPort;
  std::string portText;
  if (!text.empty() && text[0] == '[') {
    std::size_t close = text.find(']');
    if (close == std::string::npos)
      throw EMailError(ecUsage, "bad host: " + text);
    host = text.substr(0, close + 1);
    if (close + 1 < text.size()) {
      if (text[close + 1] != ':')
        throw EMailError(ecUsage, "bad host: " + text);
      portText = text.substr(close + 2);
    }
  } else {
    std::size_t colon = text.find(':');
    if (colon != std::string::npos) {
      if (text.find(':', colon + 1) != std::string::npos)
        throw EMailError(ecUsage, "an IPv6 host goes in brackets: " + text);
      host = text.substr(0, colon);
      portText = text.substr(colon + 1);
    }
  }
  if (host.empty() || host == "[]")
    throw EMailError(ecUsage, "no host name in " + text);
  for (char c : host)
    if (static_cast<unsigned char>(c) <= 32 || static_cast<unsigned char>(c) >= 127 || c == '/' || c == '@')
      throw EMailError(ecUsage, "bad host: " + text);
  if (!portText.empty() || text.back() == ':') {
    char* end = nullptr;
    long p = std::strtol(portText.c_str(), &end, 10);
    if (portText.empty() || *end != '\0' || p < 1 || p > 65535)
      throw EMailError(ecUsage, "bad port in " + text);
    port = static_cast<int>(p);
  }
}

TSmtpResult SendSmtp(const TSmtpSettings& settings, const std::string& hostText, const TBuiltMail& mail,
                     TTranscript& transcript)
{
  TSmtpResult result;
  std::string host;
  int port;
  SplitHostPort(hostText, settings.Port, host, port);
  // Port 465 speaks TLS from the start unless the settings say otherwise.
  const TTlsMode tls = !settings.TlsGiven && port == 465 ? tlsImplicit : settings.Tls;
  const bool login = !settings.User.empty();
  if (login && tls == tlsOff && !settings.AuthWithoutTls)
    throw EMailError(ecNoPerm, "TLS=off with a User: the login would travel unencrypted; "
                               "AuthWithoutTls=1 allows that");

  TCurlEasy curl;
  if (!curl.p)
    throw EMailError(ecSoftware, "libcurl could not start");

  std::string url = std::string(tls == tlsImplicit ? "smtps://" : "smtp://") + host + ":" +
                    std::to_string(port) + "/" + settings.EhloName;  // the path is the EHLO name
  TDialogue dialogue;
  dialogue.transcript = &transcript;
  char error[CURL_ERROR_SIZE] = "";
  long useSsl = CURLUSESSL_TRY;
  if (tls == tlsOff)
    useSsl = CURLUSESSL_NONE;
  else if (tls != tlsStartTls || (login && !settings.AuthWithoutTls))
    useSsl = CURLUSESSL_ALL;  // never a login in the clear unless allowed

  CURL* c = curl.p;
  Api().easy_setopt(c, CURLOPT_URL, url.c_str());
  Api().easy_setopt(c, CURLOPT_CONNECT_ONLY, 1L);
  Api().easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  Api().easy_setopt(c, CURLOPT_CONNECTTIMEOUT, std::min(settings.ConnectTimeout, settings.Timeout));
  Api().easy_setopt(c, CURLOPT_TIMEOUT, settings.Timeout);
  Api().easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, std::min(settings.StallTimeout, settings.Timeout));
  Api().easy_setopt(c, CURLOPT_ERRORBUFFER, error);
  Api().easy_setopt(c, CURLOPT_USE_SSL, useSsl);
  Api().easy_setopt(c, CURLOPT_SSL_VERIFYPEER, settings.VerifyCertificate ? 1L : 0L);
  Api().easy_setopt(c, CURLOPT_SSL_VERIFYHOST, settings.VerifyCertificate ? 2L : 0L);
  if (!settings.CAFile.empty())
    Api().easy_setopt(c, CURLOPT_CAINFO, settings.CAFile.c_str());
  if (login) {
    Api().easy_setopt(c, CURLOPT_USERNAME, settings.User.c_str());
    Api().easy_setopt(c, CURLOPT_PASSWORD, settings.Password.c_str());
    Api().easy_setopt(c, CURLOPT_SASL_IR, 1L);  // credentials with AUTH, one round trip less
  }
  Api().easy_setopt(c, CURLOPT_VERBOSE, 1L);
  Api().easy_setopt(c, CURLOPT_DEBUGFUNCTION, DebugLine);
  Api().easy_setopt(c, CURLOPT_DEBUGDATA, &dialogue);
  transcript.Line("server: " + url);

  const std::string where = host + ":" + std::to_string(port);
  const TClock::time_point deadline = TClock::now() + std::chrono::seconds(settings.Timeout);
  CURLcode res = Api().easy_perform(c);
  result.LastReply = dialogue.lastReply;
  if (res != CURLE_OK) {
    std::string what = *error ? error : Api().easy_strerror(res);
    int reply = ReplyCode(dialogue.lastReply);
    result.Reason = where + ": " + what + (reply ? " (server: " + dialogue.lastReply + ")" : "");
    switch (res) {
    case CURLE_COULDNT_RESOLVE_HOST: result.Code = ecNoHost; break;
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR: result.Code = CodeForReply(reply, ecTempFail); break;
    case CURLE_LOGIN_DENIED: result.Code = CodeForReply(reply, ecNoPerm) == ecTempFail ? ecTempFail : ecNoPerm; break;
    case CURLE_USE_SSL_FAILED:
      if (tls == tlsStartTls) {
        result.Code = ecNoPerm;
        result.Reason = where + " offers no STARTTLS, and a login must not travel unencrypted "
                                "(AuthWithoutTls=1 allows it)";
      } else {
        result.Code = ecConfig;
        result.Reason = where + " offers no STARTTLS, and TLS=" +
                        (tls == tlsRequired ? "required" : "implicit") + " asks for it";
      }
      break;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM: result.Code = ecConfig; break;
    case CURLE_WEIRD_SERVER_REPLY: result.Code = CodeForReply(reply, ecProtocol); break;
    default: result.Code = CodeForReply(reply, ecSoftware); break;
    }
    return result;
  }
  if (login && !dialogue.authOffered) {
    result.Code = ecNoPerm;
    result.Reason = where + " offers no AUTH, but a User is set: not sent without the login";
    return result;
  }

  TSession session(c, transcript, settings.StallTimeout, deadline);
  auto broken = [&](const std::string& step) {
    result.Code = session.ProtocolError() ? ecProtocol : ecTempFail;
    result.Reason = where + ": " + step + ": " + session.Error();
    result.LastReply = session.LastReply().empty() ? result.LastReply : session.LastReply();
    return result;
  };
  auto refused = [&](const std::string& step, int reply, const std::string& text) {
    result.Code = CodeForReply(reply, ecProtocol);
    result.Reason = where + " refused " + step + ": " + std::to_string(reply) + " " + text;
    result.LastReply = session.LastReply();
    // Polite end; the answer hardly matters.
    session.ShortenDeadline(std::chrono::seconds(2));
    std::string ignored;
    session.Command("QUIT", ignored);
    return result;
  };

  std::string text;
  int reply = session.Command("MAIL FROM:<" + mail.EnvelopeFrom + ">", text);
  if (!reply)
    return broken("MAIL FROM");
  if (reply != 250)
    return refused("the sender <" + mail.EnvelopeFrom + ">", reply, text);

  // Every recipient is offered, so that the message names each refused one;
  // one refusal stops the mail, so no one gets a partial delivery.
  std::string refusals;
  int worst = 0;
  for (const std::string& to : mail.EnvelopeTo) {
    reply = session.Command("RCPT TO:<" + to + ">", text);
    if (!reply)
      return broken("RCPT TO:<" + to + ">");
    if (reply != 250 && reply != 251) {
      refusals += (refusals.empty() ? "" : "; ") + ("<" + to + "> " + std::to_string(reply) + " " + text);
      worst = std::max(worst, reply);
    }
  }
  if (worst) {
    result.Code = CodeForReply(worst, ecProtocol);
    result.Reason = where + " refused the recipient" + (refusals.find(';') != std::string::npos ? "s " : " ") + refusals;
    result.LastReply = session.LastReply();
    session.ShortenDeadline(std::chrono::seconds(2));
    session.Command("QUIT", text);
    return result;
  }

  reply = session.Command("DATA", text);
  if (!reply)
    return broken("DATA");
  if (reply != 354)
    return refused("DATA", reply, text);
  transcript.Line("> (message, " + std::to_string(mail.Message.size()) + " bytes)");
  if (!session.Send(DotStuffed(mail.Message), false))
    return broken("sending the message");
  reply = session.Reply(text);
  if (!reply)
    return broken("after the message");
  if (reply != 250)
    return refused("the message", reply, text);
  result.Code = ecSent;
  result.LastReply = session.LastReply();
  result.Reason = "accepted by " + where + ": " + result.LastReply;

  session.ShortenDeadline(std::chrono::seconds(2));
  session.Command("QUIT", text);
  return result;
}
