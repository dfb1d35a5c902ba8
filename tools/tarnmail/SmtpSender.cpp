#include "SmtpSender.h"

#include "Connection.h"
#include "MailError.h"
#include "MailSystem.h"
#include "SmtpReply.h"

#include "jtext/MailJstr.h"

#include <cstdlib>
#include <cstring>

// SMTP is spoken here on a socket of our own, TLS through libssl loaded when
// it is needed. Measured on the development machine: loading libcurl and
// its libraries took 12 ms of a submission's 18 ms, libssl and libcrypto
// alone 3 ms, and a plain connection none; see the Speed section of the
// README.

namespace {

int CodeForReply(int reply, int otherwise)
{
  if (reply >= 400 && reply < 500)
    return ecTempFail;
  if (reply >= 500 && reply < 600)
    return ecUnavailable;
  return otherwise;
}

// The dialogue on one connection: commands, replies, the transcript.
class TSession {
public:
  TSession(TConnection& net, TTranscript& transcript) : net_(net), transcript_(transcript) {}

  bool Send(const std::string& line, const std::string& shown = "")
  {
    transcript_.Line("> " + (shown.empty() ? line : shown));
    std::string data = line + "\r\n";
    return net_.Send(data.data(), data.size());
  }

  TReply Reply()
  {
    TReply r;
    for (;;) {
      std::size_t eol = buffer_.find("\r\n");
      if (eol == std::string::npos) {
        if (buffer_.size() > 65536) {
          nonsense_ = "the server's answer has no end";
          return r;
        }
        if (!net_.Receive(buffer_))
          return r;
        continue;
      }
      std::string line = buffer_.substr(0, eol);
      buffer_.erase(0, eol + 2);
      transcript_.Line("< " + line);
      bool done = false;
      if (!AddReplyLine(r, line, done)) {
        nonsense_ = "the server's answer makes no sense: " + line;
        r.Code = 0;
        return r;
      }
      if (done) {
        last_ = r.Line();
        return r;
      }
    }
  }

  TReply Command(const std::string& line, const std::string& shown = "")
  {
    if (!Send(line, shown))
      return {};
    return Reply();
  }

  // Why the last reply did not come.
  std::string Error() const { return nonsense_.empty() ? net_.Error() : nonsense_; }
  bool Nonsense() const { return !nonsense_.empty(); }
  const std::string& LastReply() const { return last_; }

private:
  TConnection& net_;
  TTranscript& transcript_;
  std::string buffer_;
  std::string nonsense_;
  std::string last_;
};

// The message as DATA carries it, written as it comes: a line that begins
// with "." gets another, and blocks go out whole.
class TDataSink : public TSink {
public:
  explicit TDataSink(TConnection& net) : net_(net) {}
  bool Write(const char* data, std::size_t size) override
  {
    for (std::size_t i = 0; i < size; ++i) {
      if (lineStart_ && data[i] == '.')
        buffer_ += '.';
      buffer_ += data[i];
      lineStart_ = data[i] == '\n';
    }
    return buffer_.size() < (1 << 16) || Flush();
  }
  // The end mark, after a final line break.
  bool Finish()
  {
    buffer_ += lineStart_ ? ".\r\n" : "\r\n.\r\n";
    return Flush();
  }

private:
  bool Flush()
  {
    bool ok = net_.Send(buffer_.data(), buffer_.size());
    buffer_.clear();
    return ok;
  }
  TConnection& net_;
  std::string buffer_;
  bool lineStart_ = true;
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
  const std::string where = host + ":" + std::to_string(port);
  transcript.Line("server: " + std::string(tls == tlsImplicit ? "smtps://" : "smtp://") + where);

  const TClock::time_point start = TClock::now();
  const TClock::time_point deadline = start + std::chrono::seconds(settings.Timeout);
  TConnection net;
  TSession session(net, transcript);
  // Until greeted and logged in, ConnectTimeout holds too.
  net.SetLimits(std::min(deadline, start + std::chrono::seconds(settings.ConnectTimeout)), settings.StallTimeout);

  auto fail = [&](int code, const std::string& reason) {
    result.Code = code;
    result.Reason = where + ": " + reason;
    if (result.LastReply.empty())
      result.LastReply = session.LastReply();
    return result;
  };
  // The connection broke or said nothing useful before the mail was given.
  auto broken = [&](const std::string& step) {
    int code = session.Nonsense() ? ecProtocol
               : net.Failure() == nfNoHost ? ecNoHost
               : net.Failure() == nfTlsTrust || net.Failure() == nfTls ? ecConfig
                                                                        : ecTempFail;
    return fail(code, step + ": " + session.Error());
  };
  auto refused = [&](const std::string& step, const TReply& reply) {
    result.LastReply = reply.Line();
    fail(CodeForReply(reply.Code, ecProtocol), "refused " + step + ": " + reply.Line());
    // Polite end; the answer hardly matters.
    net.SetLimits(std::min(deadline, TClock::now() + std::chrono::seconds(2)), 2);
    session.Command("QUIT");
    return result;
  };

  if (!net.Connect(host, port))
    return broken("connecting");
  const TTlsSettings tlsSettings{settings.VerifyCertificate, settings.CAFile};
  if (tls == tlsImplicit && !net.StartTls(host, tlsSettings))
    return broken("TLS");
  TReply reply = session.Reply();
  if (!reply.Code)
    return broken("the greeting");
  if (reply.Code != 220)
    return refused("the connection", reply);
  const std::string ehloName = settings.EhloName.empty() ? MachineName() : settings.EhloName;
  TReply ehlo = session.Command("EHLO " + ehloName);
  if (!ehlo.Code)
    return broken("EHLO");
  if (ehlo.Code != 250)
    return refused("EHLO", ehlo);
  TOffer offer = ReadOffer(ehlo);

  if (!net.Tls() && tls != tlsOff) {
    const bool mustTls = tls == tlsRequired || (login && !settings.AuthWithoutTls);
    if (offer.StartTls) {
      reply = session.Command("STARTTLS");
      if (!reply.Code)
        return broken("STARTTLS");
      if (reply.Code != 220)  // 454 when the server is busy: temporary
        return refused("STARTTLS", reply);
      if (!net.StartTls(host, tlsSettings))
        return broken("TLS");
      ehlo = session.Command("EHLO " + ehloName);
      if (!ehlo.Code)
        return broken("EHLO");
      if (ehlo.Code != 250)
        return refused("EHLO", ehlo);
      offer = ReadOffer(ehlo);
    } else if (tls == tlsRequired) {
      return fail(ecConfig, "offers no STARTTLS, and TLS=required asks for it");
    } else if (mustTls) {
      return fail(ecNoPerm, "offers no STARTTLS, and a login must not travel unencrypted "
                            "(AuthWithoutTls=1 allows it)");
    }
  }

  if (login) {
    auto offered = [&](const char* m) {
      for (const std::string& a : offer.Auth)
        if (a == m)
          return true;
      return false;
    };
    if (offer.Auth.empty())
      return fail(ecNoPerm, "offers no AUTH, but a User is set: not sent without the login");
    if (offered("PLAIN")) {
      std::string token = EncodeBase64(std::string(1, '\0') + settings.User + std::string(1, '\0') + settings.Password);
      reply = session.Command("AUTH PLAIN " + token, "AUTH PLAIN (credentials hidden)");
    } else if (offered("LOGIN")) {
      reply = session.Command("AUTH LOGIN");
      if (reply.Code == 334)
        reply = session.Command(EncodeBase64(settings.User), "(credentials hidden)");
      if (reply.Code == 334)
        reply = session.Command(EncodeBase64(settings.Password), "(credentials hidden)");
    } else {
      return fail(ecNoPerm, "offers no login that tarnmail speaks (PLAIN, LOGIN)");
    }
    if (!reply.Code)
      return broken("AUTH");
    if (reply.Code != 235) {
      result.LastReply = reply.Line();
      return fail(reply.Code >= 400 && reply.Code < 500 ? ecTempFail : ecNoPerm, "login refused: " + reply.Line());
    }
  }
  net.SetLimits(deadline, settings.StallTimeout);

  if (offer.SizeLimit && mail.Size > offer.SizeLimit) {
    result.LastReply = ehlo.Line();
    fail(ecUnavailable, "takes mails of at most " + std::to_string(offer.SizeLimit) + " bytes (SIZE); this one has " +
                            std::to_string(mail.Size));
    net.SetLimits(std::min(deadline, TClock::now() + std::chrono::seconds(2)), 2);
    session.Command("QUIT");
    return result;
  }

  // MAIL, every RCPT and DATA: in one go where the server offers
  // PIPELINING, each after the last reply otherwise. Every recipient is
  // offered, so that the message names each refused one; one refusal stops
  // the mail, so no one gets a partial delivery.
  std::vector<std::string> commands{"MAIL FROM:<" + mail.EnvelopeFrom + ">" +
                                    (offer.Size ? " SIZE=" + std::to_string(mail.Size) : "")};
  for (const std::string& to : mail.EnvelopeTo)
    commands.push_back("RCPT TO:<" + to + ">");
  commands.push_back("DATA");
  std::vector<TReply> replies;
  if (offer.Pipelining) {
    std::string batch;
    for (const std::string& c : commands) {
      transcript.Line("> " + c);
      batch += c + "\r\n";
    }
    if (!net.Send(batch.data(), batch.size()))
      return broken("MAIL FROM");
    for (std::size_t i = 0; i < commands.size(); ++i) {
      replies.push_back(session.Reply());
      if (!replies.back().Code)
        return broken(commands[i]);
    }
  } else {
    for (std::size_t i = 0; i < commands.size(); ++i) {
      replies.push_back(session.Command(commands[i]));
      if (!replies.back().Code)
        return broken(commands[i]);
      if (i == 0 && replies[0].Code != 250)
        break;
      bool refusal = false;  // DATA only after every recipient was taken
      for (std::size_t k = 1; k < replies.size(); ++k)
        refusal = refusal || (replies[k].Code != 250 && replies[k].Code != 251);
      if (i + 2 == commands.size() && refusal)
        break;
    }
  }
  if (replies[0].Code != 250) {
    if (replies.back().Code == 354)
      net.Drop();  // nothing may follow DATA but the mail: dropped unsent
    return refused("the sender <" + mail.EnvelopeFrom + ">", replies[0]);
  }
  std::string refusals;
  const TReply* worst = nullptr;
  for (std::size_t i = 1; i < replies.size() && i <= mail.EnvelopeTo.size(); ++i) {
    if (replies[i].Code == 250 || replies[i].Code == 251)
      continue;
    refusals += (refusals.empty() ? "" : "; ") + ("<" + mail.EnvelopeTo[i - 1] + "> " + replies[i].Line());
    if (!worst || replies[i].Code > worst->Code)
      worst = &replies[i];
  }
  if (worst) {
    result.LastReply = worst->Line();
    fail(CodeForReply(worst->Code, ecProtocol),
         std::string("refused the recipient") + (refusals.find(';') != std::string::npos ? "s " : " ") + refusals);
    if (replies.size() == commands.size() && replies.back().Code == 354) {
      net.Drop();  // the server drops a mail whose end never came
      return result;
    }
    net.SetLimits(std::min(deadline, TClock::now() + std::chrono::seconds(2)), 2);
    session.Command("QUIT");
    return result;
  }
  if (replies.back().Code != 354)
    return refused("DATA", replies.back());

  transcript.Line("> (message, " + std::to_string(mail.Size) + " bytes)");
  TDataSink data(net);
  bool sent;
  try {
    sent = WriteMessage(mail, data) && data.Finish();
  } catch (const EMailError&) {
    net.Drop();  // no end mark: the server keeps nothing of it
    throw;
  }
  if (!sent)
    return broken("sending the message");
  reply = session.Reply();
  if (!reply.Code) {
    // The whole mail and its end mark went out: the server may have taken it.
    return fail(ecUnknown, "no answer after the whole mail was sent (" + session.Error() +
                               "): the server may have it; look in its log before sending it again");
  }
  if (reply.Code != 250)
    return refused("the message", reply);
  result.Code = ecSent;
  result.LastReply = reply.Line();
  result.Reason = "accepted by " + where + ": " + result.LastReply;

  net.SetLimits(std::min(deadline, TClock::now() + std::chrono::seconds(2)), 2);
  session.Command("QUIT");
  return result;
}
