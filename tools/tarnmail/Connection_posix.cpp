#include "Connection.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// The few OpenSSL calls needed, bound at run time. The values below are
// OpenSSL's and have not changed since 1.1.
constexpr int kVerifyPeer = 1;               // SSL_VERIFY_PEER
constexpr int kCtrlSetMinProto = 123;        // SSL_CTRL_SET_MIN_PROTO_VERSION
constexpr long kTls12 = 0x0303;              // TLS1_2_VERSION
constexpr int kCtrlSetServerName = 55;       // SSL_CTRL_SET_TLSEXT_HOSTNAME
constexpr long kNameTypeHost = 0;            // TLSEXT_NAMETYPE_host_name
constexpr int kWantRead = 2, kWantWrite = 3; // SSL_ERROR_WANT_READ / _WRITE
constexpr int kSyscall = 5, kZeroReturn = 6; // SSL_ERROR_SYSCALL / _ZERO_RETURN
constexpr long kVerifyOk = 0;                // X509_V_OK

struct TSslApi {
  const void* (*TLS_client_method)();
  void* (*SSL_CTX_new)(const void*);
  void (*SSL_CTX_free)(void*);
  void (*SSL_CTX_set_verify)(void*, int, void*);
  int (*SSL_CTX_set_default_verify_paths)(void*);
  int (*SSL_CTX_load_verify_locations)(void*, const char*, const char*);
  long (*SSL_CTX_ctrl)(void*, int, long, void*);
  void* (*SSL_new)(void*);
  void (*SSL_free)(void*);
  int (*SSL_set_fd)(void*, int);
  long (*SSL_ctrl)(void*, int, long, void*);
  int (*SSL_set1_host)(void*, const char*);
  void* (*SSL_get0_param)(void*);
  int (*X509_VERIFY_PARAM_set1_ip_asc)(void*, const char*);
  int (*SSL_connect)(void*);
  int (*SSL_read)(void*, void*, int);
  int (*SSL_write)(void*, const void*, int);
  int (*SSL_get_error)(const void*, int);
  long (*SSL_get_verify_result)(const void*);
  const char* (*X509_verify_cert_error_string)(long);
  unsigned long (*ERR_get_error)();
  void (*ERR_error_string_n)(unsigned long, char*, std::size_t);
};

template <typename F>
bool Bind(void* lib, const char* name, F& f)
{
  f = reinterpret_cast<F>(dlsym(lib, name));
  return f != nullptr;
}

// Null (with `why`) when libssl cannot be loaded.
const TSslApi* SslApi(std::string& why)
{
  static TSslApi api{};
  static std::string error = [] {
    void* lib = dlopen("libssl.so.3", RTLD_NOW | RTLD_LOCAL);
    if (!lib)
      return std::string("cannot load libssl: ") + dlerror();
    TSslApi& a = api;
    // dlsym on libssl's handle finds libcrypto's functions too.
    bool ok = Bind(lib, "TLS_client_method", a.TLS_client_method) && Bind(lib, "SSL_CTX_new", a.SSL_CTX_new) &&
              Bind(lib, "SSL_CTX_free", a.SSL_CTX_free) && Bind(lib, "SSL_CTX_set_verify", a.SSL_CTX_set_verify) &&
              Bind(lib, "SSL_CTX_set_default_verify_paths", a.SSL_CTX_set_default_verify_paths) &&
              Bind(lib, "SSL_CTX_load_verify_locations", a.SSL_CTX_load_verify_locations) &&
              Bind(lib, "SSL_CTX_ctrl", a.SSL_CTX_ctrl) && Bind(lib, "SSL_new", a.SSL_new) &&
              Bind(lib, "SSL_free", a.SSL_free) && Bind(lib, "SSL_set_fd", a.SSL_set_fd) &&
              Bind(lib, "SSL_ctrl", a.SSL_ctrl) && Bind(lib, "SSL_set1_host", a.SSL_set1_host) &&
              Bind(lib, "SSL_get0_param", a.SSL_get0_param) &&
              Bind(lib, "X509_VERIFY_PARAM_set1_ip_asc", a.X509_VERIFY_PARAM_set1_ip_asc) &&
              Bind(lib, "SSL_connect", a.SSL_connect) && Bind(lib, "SSL_read", a.SSL_read) &&
              Bind(lib, "SSL_write", a.SSL_write) && Bind(lib, "SSL_get_error", a.SSL_get_error) &&
              Bind(lib, "SSL_get_verify_result", a.SSL_get_verify_result) &&
              Bind(lib, "X509_verify_cert_error_string", a.X509_verify_cert_error_string) &&
              Bind(lib, "ERR_get_error", a.ERR_get_error) && Bind(lib, "ERR_error_string_n", a.ERR_error_string_n);
    return ok ? std::string() : std::string("libssl lacks a function: ") + dlerror();
  }();
  why = error;
  return error.empty() ? &api : nullptr;
}

std::string SslErrors(const TSslApi& a)
{
  std::string text;
  while (unsigned long e = a.ERR_get_error()) {
    char buf[256];
    a.ERR_error_string_n(e, buf, sizeof buf);
    text += (text.empty() ? "" : "; ") + std::string(buf);
  }
  return text.empty() ? std::string("the connection ended during the handshake") : text;
}

bool IsIpAddress(const std::string& host)
{
  unsigned char buf[16];
  return inet_pton(AF_INET, host.c_str(), buf) == 1 || inet_pton(AF_INET6, host.c_str(), buf) == 1;
}

} // namespace

struct TConnection::TState {
  int fd = -1;
  void* ctx = nullptr;
  void* ssl = nullptr;
};

TConnection::TConnection() : state_(std::make_unique<TState>()) {}

bool TConnection::Tls() const
{
  return state_->ssl != nullptr;
}

TConnection::~TConnection()
{
  Drop();
}

void TConnection::Drop()
{
  std::string ignored;
  if (state_->ssl)
    SslApi(ignored)->SSL_free(state_->ssl);
  if (state_->ctx)
    SslApi(ignored)->SSL_CTX_free(state_->ctx);
  state_->ssl = state_->ctx = nullptr;
  if (state_->fd >= 0)
    close(state_->fd);
  state_->fd = -1;
}

bool TConnection::Ready(short events, long long ms)
{
  pollfd p{state_->fd, events, 0};
  int r = poll(&p, 1, static_cast<int>(ms));
  return r > 0 || (r < 0 && errno == EINTR);
}

bool TConnection::Connect(const std::string& host, int port)
{
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  std::string name = host.size() > 2 && host.front() == '[' ? host.substr(1, host.size() - 2) : host;
  int r = getaddrinfo(name.c_str(), std::to_string(port).c_str(), &hints, &list);
  if (r != 0)
    return Fail(r == EAI_AGAIN ? nfRefused : nfNoHost, "cannot resolve " + name + ": " + gai_strerror(r));
  std::string why = "no address";
  for (addrinfo* a = list; a; a = a->ai_next) {
    state_->fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (state_->fd < 0)
      continue;
    if (connect(state_->fd, a->ai_addr, a->ai_addrlen) == 0 || (errno == EINPROGRESS && Wait(POLLOUT))) {
      int err = 0;
      socklen_t len = sizeof err;
      getsockopt(state_->fd, SOL_SOCKET, SO_ERROR, &err, &len);
      if (err == 0) {
        int one = 1;  // commands are small and each waits for its answer
        setsockopt(state_->fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        freeaddrinfo(list);
        failure_ = nfNone;
        return true;
      }
      why = std::strerror(err);
    } else {
      why = failure_ == nfTimeout ? error_ : std::string(std::strerror(errno));
    }
    close(state_->fd);
    state_->fd = -1;
  }
  freeaddrinfo(list);
  return Fail(nfRefused, "cannot connect: " + why);
}

bool TConnection::TlsRetry(int result, const char* step)
{
  std::string ignored;
  const TSslApi& a = *SslApi(ignored);
  int e = a.SSL_get_error(state_->ssl, result);
  if (e == kWantRead)
    return Wait(POLLIN);
  if (e == kWantWrite)
    return Wait(POLLOUT);
  if (e == kZeroReturn)
    return Fail(nfLost, "the server closed the connection");
  if (e == kSyscall)
    return Fail(nfLost, std::string("connection lost ") + step);
  return Fail(nfLost, std::string("TLS error ") + step + ": " + SslErrors(a));
}

bool TConnection::StartTls(const std::string& host, const TTlsSettings& tls)
{
  std::string why;
  const TSslApi* a = SslApi(why);
  if (!a)
    return Fail(nfTls, why);
  state_->ctx = a->SSL_CTX_new(a->TLS_client_method());
  if (!state_->ctx)
    return Fail(nfTls, "TLS cannot start: " + SslErrors(*a));
  a->SSL_CTX_ctrl(state_->ctx, kCtrlSetMinProto, kTls12, nullptr);
  if (tls.Verify) {
    a->SSL_CTX_set_verify(state_->ctx, kVerifyPeer, nullptr);
    bool loaded = tls.CAFile.empty() ? a->SSL_CTX_set_default_verify_paths(state_->ctx) == 1
                                     : a->SSL_CTX_load_verify_locations(state_->ctx, tls.CAFile.c_str(), nullptr) == 1;
    if (!loaded)
      return Fail(nfTlsTrust, "cannot read the certificate authorities " +
                                  (tls.CAFile.empty() ? std::string("of the system") : tls.CAFile) + ": " +
                                  SslErrors(*a));
  }
  state_->ssl = a->SSL_new(state_->ctx);
  if (!state_->ssl || a->SSL_set_fd(state_->ssl, state_->fd) != 1)
    return Fail(nfTls, "TLS cannot start: " + SslErrors(*a));
  const std::string name = host.size() > 2 && host.front() == '[' ? host.substr(1, host.size() - 2) : host;
  if (IsIpAddress(name)) {
    if (tls.Verify)
      a->X509_VERIFY_PARAM_set1_ip_asc(a->SSL_get0_param(state_->ssl), name.c_str());
  } else {
    a->SSL_ctrl(state_->ssl, kCtrlSetServerName, kNameTypeHost, const_cast<char*>(name.c_str()));
    if (tls.Verify)
      a->SSL_set1_host(state_->ssl, name.c_str());
  }
  for (;;) {
    int r = a->SSL_connect(state_->ssl);
    if (r == 1)
      return true;
    long verify = a->SSL_get_verify_result(state_->ssl);
    if (tls.Verify && verify != kVerifyOk)
      return Fail(nfTlsTrust, std::string("the server's certificate is not trusted: ") +
                                  a->X509_verify_cert_error_string(verify));
    if (!TlsRetry(r, "during the TLS handshake"))
      return failure_ == nfTimeout ? false : Fail(nfTls, error_);
  }
}

bool TConnection::Send(const char* data, std::size_t size)
{
  std::string ignored;
  std::size_t done = 0;
  while (done < size) {
    if (state_->ssl) {
      int chunk = static_cast<int>(std::min<std::size_t>(size - done, 1 << 20));
      int r = SslApi(ignored)->SSL_write(state_->ssl, data + done, chunk);
      if (r > 0)
        done += static_cast<std::size_t>(r);
      else if (!TlsRetry(r, "while sending"))
        return false;
      continue;
    }
    ssize_t n = ::send(state_->fd, data + done, size - done, MSG_NOSIGNAL);
    if (n > 0)
      done += static_cast<std::size_t>(n);
    else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      if (!Wait(POLLOUT))
        return false;
    } else
      return Fail(nfLost, std::string("connection lost while sending: ") + std::strerror(errno));
  }
  return true;
}

bool TConnection::Receive(std::string& into)
{
  std::string ignored;
  char buf[4096];
  for (;;) {
    if (state_->ssl) {
      int r = SslApi(ignored)->SSL_read(state_->ssl, buf, sizeof buf);
      if (r > 0) {
        into.append(buf, static_cast<std::size_t>(r));
        return true;
      }
      if (!TlsRetry(r, "while reading"))
        return false;
      continue;
    }
    ssize_t n = ::recv(state_->fd, buf, sizeof buf, 0);
    if (n > 0) {
      into.append(buf, static_cast<std::size_t>(n));
      return true;
    }
    if (n == 0)
      return Fail(nfLost, "the server closed the connection");
    if (errno != EAGAIN && errno != EINTR)
      return Fail(nfLost, std::string("connection lost: ") + std::strerror(errno));
    if (!Wait(POLLIN))
      return false;
  }
}
