// One TCP connection to the SMTP server, in plain text or TLS, with every
// wait bounded. TLS is OpenSSL's libssl, loaded only when a connection
// asks for it: a plain submission loads no library at all.
#pragma once

#include <chrono>
#include <memory>
#include <string>

using TClock = std::chrono::steady_clock;

// Why a step of the connection failed; the text is for the operator.
enum TNetFailure {
  nfNone,
  nfNoHost,     // the name does not resolve
  nfRefused,    // no connection (refused, unreachable, time-out while connecting)
  nfLost,       // the connection broke
  nfTimeout,    // the time limit or the stall limit passed
  nfTls,        // TLS could not be set up (library, handshake)
  nfTlsTrust,   // the server's certificate is not trusted
};

struct TTlsSettings {
  bool Verify = true;
  std::string CAFile;  // "" for the system's authorities
};

class TConnection {
public:
  TConnection() = default;
  ~TConnection();
  TConnection(const TConnection&) = delete;
  TConnection& operator=(const TConnection&) = delete;

  // Each wait ends at the deadline, or after `stallSeconds` without progress.
  void SetLimits(TClock::time_point deadline, long stallSeconds);
  TClock::time_point Deadline() const { return deadline_; }

  bool Connect(const std::string& host, int port);
  // Starts TLS on the open connection; `host` is the name the certificate
  // must carry (a name or an IP address).
  bool StartTls(const std::string& host, const TTlsSettings& tls);
  bool Send(const char* data, std::size_t size);
  // Some bytes into `into` (appended); false when none can come.
  bool Receive(std::string& into);
  // Ends the connection at once, so that a mail half sent is dropped.
  void Drop();

  bool Tls() const { return ssl_ != nullptr; }
  TNetFailure Failure() const { return failure_; }
  const std::string& Error() const { return error_; }

private:
  bool Fail(TNetFailure kind, const std::string& text);
  bool Wait(short events);
  // Continues a TLS call that asked to wait; false when it failed.
  bool TlsRetry(int result, const char* step);

  int fd_ = -1;
  void* ctx_ = nullptr;
  void* ssl_ = nullptr;
  TClock::time_point deadline_ = TClock::time_point::max();
  long stall_ = 60;
  TNetFailure failure_ = nfNone;
  std::string error_;
};
