#include "SmtpSender.h"

#include "MailError.h"

#include <curl/curl.h>

#include <cstdlib>
#include <cstring>

namespace {

struct TUpload {
  const std::string* data;
  std::size_t pos = 0;
};

std::size_t ReadMessage(char* buffer, std::size_t size, std::size_t count, void* user)
{
  auto* up = static_cast<TUpload*>(user);
  std::size_t n = std::min(size * count, up->data->size() - up->pos);
  std::memcpy(buffer, up->data->data() + up->pos, n);
  up->pos += n;
  return n;
}

struct TDebugState {
  TTranscript* transcript;
  bool hideNext = false;  // the answer to an AUTH challenge carries secrets
};

int DebugLine(CURL*, curl_infotype type, char* data, std::size_t size, void* user)
{
  auto* st = static_cast<TDebugState*>(user);
  const char* mark = type == CURLINFO_TEXT ? "* " : type == CURLINFO_HEADER_IN ? "< " : type == CURLINFO_HEADER_OUT ? "> " : nullptr;
  if (!mark)
    return 0;  // the message itself is not repeated here
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
      if (st->hideNext) {
        line = "(credentials hidden)";
        st->hideNext = false;
      } else if (line.compare(0, 5, "AUTH ") == 0) {
        std::size_t sp = line.find(' ', 5);
        if (sp != std::string::npos)
          line = line.substr(0, sp) + " (credentials hidden)";
      }
    }
    if (type == CURLINFO_HEADER_IN && line.compare(0, 3, "334") == 0)
      st->hideNext = true;
    st->transcript->Line(mark + line);
  }
  return 0;
}

struct TCurlGlobal {
  TCurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
  ~TCurlGlobal() { curl_global_cleanup(); }
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

int SendSmtp(const TSmtpSettings& settings, const std::string& hostOption, const TBuiltMail& mail,
             TTranscript& transcript, std::string& reason)
{
  std::string host;
  int port;
  SplitHostPort(hostOption, settings.Port, host, port);

  static TCurlGlobal global;
  CURL* curl = curl_easy_init();
  if (!curl) {
    reason = "libcurl could not start";
    return ecOther;
  }
  // Port 465 speaks TLS from the first byte; the others start plain.
  std::string url = std::string(port == 465 ? "smtps://" : "smtp://") + host + ":" + std::to_string(port);
  std::string from = "<" + mail.EnvelopeFrom + ">";
  curl_slist* rcpt = nullptr;
  for (const std::string& to : mail.EnvelopeTo)
    rcpt = curl_slist_append(rcpt, ("<" + to + ">").c_str());

  TUpload upload{&mail.Message};
  TDebugState debug{&transcript};
  char error[CURL_ERROR_SIZE] = "";

  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_MAIL_FROM, from.c_str());
  curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, rcpt);
  curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(curl, CURLOPT_READFUNCTION, ReadMessage);
  curl_easy_setopt(curl, CURLOPT_READDATA, &upload);
  curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(mail.Message.size()));
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, settings.ConnectTimeout);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, settings.Timeout);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
  curl_easy_setopt(curl, CURLOPT_USE_SSL, settings.Tls == tlsRequire ? static_cast<long>(CURLUSESSL_ALL)
                                          : settings.Tls == tlsOff   ? static_cast<long>(CURLUSESSL_NONE)
                                                                     : static_cast<long>(CURLUSESSL_TRY));
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, settings.VerifyCertificate ? 1L : 0L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, settings.VerifyCertificate ? 2L : 0L);
  if (!settings.User.empty()) {
    curl_easy_setopt(curl, CURLOPT_USERNAME, settings.User.c_str());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, settings.Password.c_str());
    curl_easy_setopt(curl, CURLOPT_SASL_IR, 1L);  // credentials with AUTH, one round trip less
  }
  if (transcript.On()) {
    curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, DebugLine);
    curl_easy_setopt(curl, CURLOPT_DEBUGDATA, &debug);
  }
  transcript.Line("server: " + url);

  CURLcode res = curl_easy_perform(curl);
  long code = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &code);
  curl_slist_free_all(rcpt);
  curl_easy_cleanup(curl);

  reason = *error ? error : curl_easy_strerror(res);
  if (code)
    reason += " (last server reply " + std::to_string(code) + ")";
  if (res == CURLE_OK) {
    reason = "accepted by " + host + ":" + std::to_string(port);
    return ecSent;
  }
  if (res == CURLE_LOGIN_DENIED)
    return ecAuthFailed;
  switch (res) {
  case CURLE_COULDNT_RESOLVE_HOST:
  case CURLE_COULDNT_CONNECT:
    return ecUnreachable;
  default:
    break;
  }
  if (code >= 400 && code < 500)
    return ecTemporary;
  if (code >= 500 && code < 600)
    return ecPermanent;
  switch (res) {
  case CURLE_OPERATION_TIMEDOUT:
  case CURLE_GOT_NOTHING:
  case CURLE_RECV_ERROR:
  case CURLE_SEND_ERROR:
    return ecUnreachable;  // no answer, or the connection broke before the mail was taken
  default:
    return ecOther;
  }
}
