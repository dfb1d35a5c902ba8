// One TCP connection to the SMTP server, in plain text or TLS, with every
// wait bounded. One source per system: on POSIX the socket API and OpenSSL's
// libssl, loaded only when a connection asks for TLS (a plain submission
// loads no library at all); on Windows Winsock and Schannel.
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
  TConnection();
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

  bool Tls() const;
  TNetFailure Failure() const { return failure_; }
  const std::string& Error() const { return error_; }

private:
  // The system's socket and TLS state; only the system's source knows it.
  struct TState;

  bool Fail(TNetFailure kind, const std::string& text);
  // Waits for `events` (POLLIN, POLLOUT) within the limits; false, with the
  // failure set, when they pass.
  bool Wait(short events);
  // The system's wait: true when the socket is ready (or the wait was
  // interrupted) within `ms`.
  bool Ready(short events, long long ms);
  // Continues a TLS call that asked to wait; false when it failed (POSIX).
  bool TlsRetry(int result, const char* step);
  // The socket itself, below TLS (Windows, where TLS is done on buffers).
  bool SendRaw(const char* data, std::size_t size);
  bool ReceiveRaw(std::string& into);

  std::unique_ptr<TState> state_;
  TClock::time_point deadline_ = TClock::time_point::max();
  long stall_ = 60;
  TNetFailure failure_ = nfNone;
  std::string error_;
};
