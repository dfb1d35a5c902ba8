#include "Connection.h"

#include "platform/Files.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <wincrypt.h>
#define SECURITY_WIN32
#include <schannel.h>
#include <security.h>

#include <vector>

namespace {

constexpr DWORD kIgnoreUnknownCa = 0x00000100;  // SECURITY_FLAG_IGNORE_UNKNOWN_CA of wininet.h

bool StartWinsock()
{
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

// The system's words for an error or status code.
std::string SystemText(long code)
{
  char text[512] = "";
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
  while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ' || text[n - 1] == '.'))
    text[--n] = '\0';
  char number[16];
  std::snprintf(number, sizeof number, "0x%08lX", static_cast<unsigned long>(code));
  return n ? std::string(text) + " (" + number + ")" : std::string("error ") + number;
}

std::string Unbracketed(const std::string& host)
{
  return host.size() > 2 && host.front() == '[' ? host.substr(1, host.size() - 2) : host;
}

std::wstring Wide(const std::string& ascii)
{
  return std::wstring(ascii.begin(), ascii.end());
}

// Every certificate of a PEM file, in a store of its own; null (with `why`)
// when the file cannot be read or holds none.
HCERTSTORE LoadAuthorities(const std::string& path, std::string& why)
{
  std::string pem;
  if (!platform::TryLoadFile(path, pem)) {
    why = platform::LastFileError();
    return nullptr;
  }
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
  static const std::string kBegin = "-----BEGIN CERTIFICATE-----", kEnd = "-----END CERTIFICATE-----";
  int count = 0;
  for (std::size_t at = pem.find(kBegin); store && at != std::string::npos; at = pem.find(kBegin, at + 1)) {
    std::size_t end = pem.find(kEnd, at);
    if (end == std::string::npos)
      break;
    const std::string block = pem.substr(at, end + kEnd.size() - at);
    DWORD size = 0;
    if (!CryptStringToBinaryA(block.c_str(), static_cast<DWORD>(block.size()), CRYPT_STRING_BASE64HEADER, nullptr,
                              &size, nullptr, nullptr))
      continue;
    std::vector<BYTE> der(size);
    if (CryptStringToBinaryA(block.c_str(), static_cast<DWORD>(block.size()), CRYPT_STRING_BASE64HEADER,
                             der.data(), &size, nullptr, nullptr) &&
        CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), size, CERT_STORE_ADD_ALWAYS,
                                         nullptr))
      ++count;
  }
  if (store && count == 0) {
    CertCloseStore(store, 0);
    store = nullptr;
  }
  if (!store)
    why = "no certificate in it";
  return store;
}

// True when some certificate of the chain is one of the file's authorities.
bool AnchoredIn(PCCERT_CHAIN_CONTEXT chain, HCERTSTORE authorities)
{
  const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
  for (DWORD i = 0; i < simple->cElement; ++i) {
    PCCERT_CONTEXT found = CertFindCertificateInStore(authorities, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING,
                                                      simple->rgpElement[i]->pCertContext, nullptr);
    if (found) {
      CertFreeCertificateContext(found);
      return true;
    }
  }
  return false;
}

// The server's chain checked against the authorities of `caFile` (the
// system's when empty), and its name against `host`. Empty when trusted,
// otherwise why not.
std::string Distrust(CtxtHandle* context, const std::string& host, const std::string& caFile)
{
  PCCERT_CONTEXT server = nullptr;
  if (QueryContextAttributesA(context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &server) != SEC_E_OK || !server)
    return "the server showed no certificate";
  std::string why;
  HCERTSTORE authorities = nullptr, pool = nullptr;
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  if (!caFile.empty()) {
    authorities = LoadAuthorities(caFile, why);
    if (!authorities) {
      CertFreeCertificateContext(server);
      return "cannot read the certificate authorities " + caFile + ": " + why;
    }
    // The certificates the server sent and the file's, to build the chain from.
    pool = CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr);
    CertAddStoreToCollection(pool, server->hCertStore, 0, 0);
    CertAddStoreToCollection(pool, authorities, 0, 0);
  }
  CERT_CHAIN_PARA chainPara{};
  chainPara.cbSize = sizeof chainPara;
  LPSTR serverAuth[] = {const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH)};
  chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
  chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
  chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = serverAuth;
  if (!CertGetCertificateChain(nullptr, server, nullptr, pool ? pool : server->hCertStore, &chainPara, 0, nullptr,
                               &chain)) {
    why = "no chain: " + SystemText(static_cast<long>(GetLastError()));
  } else {
    // A private authority is no root of the system's: that alone is allowed
    // when the chain reaches one of the file's.
    const bool anchored = authorities && AnchoredIn(chain, authorities);
    // Whether validity periods nest is no longer checked anywhere.
    DWORD errors = chain->TrustStatus.dwErrorStatus & ~static_cast<DWORD>(CERT_TRUST_IS_NOT_TIME_NESTED);
    if (anchored)
      errors &= ~static_cast<DWORD>(CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN);
    if (authorities && !anchored)
      why = "no authority of " + caFile + " signed it";
    else if (errors & CERT_TRUST_IS_NOT_TIME_VALID)
      why = "it has expired or is not valid yet";
    else if (errors & CERT_TRUST_IS_NOT_VALID_FOR_USAGE)
      why = "it is not meant for a server";
    else if (errors & (CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN))
      why = "no authority of the system signed it";
    else if (errors)
      why = "its chain does not hold (trust status " + std::to_string(errors) + ")";
    if (why.empty()) {
      std::wstring name = Wide(host);
      SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
      ssl.cbSize = sizeof ssl;
      ssl.dwAuthType = AUTHTYPE_SERVER;
      ssl.fdwChecks = anchored ? kIgnoreUnknownCa : 0;
      ssl.pwszServerName = name.data();
      CERT_CHAIN_POLICY_PARA policy{};
      policy.cbSize = sizeof policy;
      policy.dwFlags = anchored ? CERT_CHAIN_POLICY_ALLOW_UNKNOWN_CA_FLAG : 0;
      policy.pvExtraPolicyPara = &ssl;
      CERT_CHAIN_POLICY_STATUS status{};
      status.cbSize = sizeof status;
      if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status))
        why = "the check failed: " + SystemText(static_cast<long>(GetLastError()));
      else if (status.dwError == static_cast<DWORD>(CERT_E_CN_NO_MATCH))
        why = "it is not for " + host;
      else if (status.dwError)
        why = SystemText(static_cast<long>(status.dwError));
    }
    CertFreeCertificateChain(chain);
  }
  if (pool)
    CertCloseStore(pool, 0);
  if (authorities)
    CertCloseStore(authorities, 0);
  CertFreeCertificateContext(server);
  return why;
}

} // namespace

struct TConnection::TState {
  SOCKET socket = INVALID_SOCKET;
  bool haveCredentials = false, haveContext = false, tls = false;
  CredHandle credentials{};
  CtxtHandle context{};
  SecPkgContext_StreamSizes sizes{};
  std::string incoming;  // bytes from the server not yet decrypted
};

TConnection::TConnection() : state_(std::make_unique<TState>()) {}

TConnection::~TConnection()
{
  Drop();
}

bool TConnection::Tls() const
{
  return state_->tls;
}

void TConnection::Drop()
{
  TState& s = *state_;
  if (s.haveContext)
    DeleteSecurityContext(&s.context);
  if (s.haveCredentials)
    FreeCredentialsHandle(&s.credentials);
  if (s.socket != INVALID_SOCKET)
    closesocket(s.socket);
  s = TState{};
}

// select, not WSAPoll: it reports a failed connection attempt everywhere.
bool TConnection::Ready(short events, long long ms)
{
  fd_set readable, writable, failed;
  FD_ZERO(&readable);
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  if (events & POLLIN)
    FD_SET(state_->socket, &readable);
  if (events & POLLOUT)
    FD_SET(state_->socket, &writable);
  FD_SET(state_->socket, &failed);
  timeval limit{static_cast<long>(ms / 1000), static_cast<long>(ms % 1000 * 1000)};
  return select(0, &readable, &writable, &failed, &limit) > 0;
}

bool TConnection::Connect(const std::string& host, int port)
{
  if (!StartWinsock())
    return Fail(nfRefused, "cannot start Winsock: " + SystemText(WSAGetLastError()));
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  const std::string name = Unbracketed(host);
  int r = getaddrinfo(name.c_str(), std::to_string(port).c_str(), &hints, &list);
  if (r != 0)
    return Fail(r == WSATRY_AGAIN ? nfRefused : nfNoHost, "cannot resolve " + name + ": " + SystemText(r));
  std::string why = "no address";
  TState& s = *state_;
  for (addrinfo* a = list; a; a = a->ai_next) {
    s.socket = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (s.socket == INVALID_SOCKET)
      continue;
    u_long nonBlocking = 1;
    ioctlsocket(s.socket, FIONBIO, &nonBlocking);
    if (connect(s.socket, a->ai_addr, static_cast<int>(a->ai_addrlen)) == 0 ||
        (WSAGetLastError() == WSAEWOULDBLOCK && Wait(POLLOUT))) {
      int err = 0;
      int len = sizeof err;
      getsockopt(s.socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len);
      if (err == 0) {
        BOOL one = TRUE;  // commands are small and each waits for its answer
        setsockopt(s.socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
        freeaddrinfo(list);
        failure_ = nfNone;
        return true;
      }
      why = SystemText(err);
    } else {
      why = failure_ == nfTimeout ? error_ : SystemText(WSAGetLastError());
    }
    closesocket(s.socket);
    s.socket = INVALID_SOCKET;
  }
  freeaddrinfo(list);
  return Fail(nfRefused, "cannot connect: " + why);
}

bool TConnection::StartTls(const std::string& host, const TTlsSettings& tls)
{
  TState& s = *state_;
  // The certificate is checked here after the handshake, against CAFile
  // when the settings name one: Schannel itself knows only the system's.
  SCHANNEL_CRED cred{};
  cred.dwVersion = SCHANNEL_CRED_VERSION;
  cred.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
  cred.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
  TimeStamp expiry;
  SECURITY_STATUS st = AcquireCredentialsHandleA(nullptr, const_cast<char*>(UNISP_NAME_A), SECPKG_CRED_OUTBOUND,
                                                 nullptr, &cred, nullptr, nullptr, &s.credentials, &expiry);
  if (st != SEC_E_OK)
    return Fail(nfTls, "TLS cannot start: " + SystemText(st));
  s.haveCredentials = true;
  std::string name = Unbracketed(host);
  const ULONG wanted = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                       ISC_REQ_EXTENDED_ERROR | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                       ISC_REQ_MANUAL_CRED_VALIDATION;
  std::string& in = s.incoming;
  in.clear();
  for (;;) {
    SecBuffer inBuffers[2] = {{static_cast<ULONG>(in.size()), SECBUFFER_TOKEN, in.data()},
                              {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc inDesc{SECBUFFER_VERSION, 2, inBuffers};
    SecBuffer outBuffer{0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &outBuffer};
    ULONG got = 0;
    const bool first = !s.haveContext;
    st = InitializeSecurityContextA(&s.credentials, first ? nullptr : &s.context, name.data(), wanted, 0, 0,
                                    first ? nullptr : &inDesc, 0, &s.context, &outDesc, &got, nullptr);
    s.haveContext = s.haveContext || st == SEC_E_OK || st == SEC_I_CONTINUE_NEEDED;
    if (outBuffer.pvBuffer) {
      bool sent = outBuffer.cbBuffer == 0 || SendRaw(static_cast<const char*>(outBuffer.pvBuffer), outBuffer.cbBuffer);
      FreeContextBuffer(outBuffer.pvBuffer);
      if (!sent)
        return failure_ == nfTimeout ? false : Fail(nfTls, "during the TLS handshake: " + error_);
    }
    if (st != SEC_E_INCOMPLETE_MESSAGE) {
      if (st != SEC_E_OK && st != SEC_I_CONTINUE_NEEDED)
        return Fail(nfTls, "the TLS handshake failed: " + SystemText(st));
      // What the step did not take belongs to the next one.
      in = inBuffers[1].BufferType == SECBUFFER_EXTRA ? in.substr(in.size() - inBuffers[1].cbBuffer) : "";
      if (st == SEC_E_OK)
        break;
    }
    if ((st == SEC_E_INCOMPLETE_MESSAGE || in.empty()) && !ReceiveRaw(in))
      return failure_ == nfTimeout ? false : Fail(nfTls, "during the TLS handshake: " + error_);
  }
  if (QueryContextAttributesA(&s.context, SECPKG_ATTR_STREAM_SIZES, &s.sizes) != SEC_E_OK)
    return Fail(nfTls, "TLS cannot start: no record sizes");
  if (tls.Verify) {
    std::string why = Distrust(&s.context, name, tls.CAFile);
    if (!why.empty())
      return Fail(nfTlsTrust, "the server's certificate is not trusted: " + why);
  }
  s.tls = true;
  return true;
}

bool TConnection::SendRaw(const char* data, std::size_t size)
{
  std::size_t done = 0;
  while (done < size) {
    int chunk = static_cast<int>(std::min<std::size_t>(size - done, 1 << 20));
    int n = ::send(state_->socket, data + done, chunk, 0);
    if (n > 0)
      done += static_cast<std::size_t>(n);
    else if (n < 0 && WSAGetLastError() == WSAEWOULDBLOCK) {
      if (!Wait(POLLOUT))
        return false;
    } else
      return Fail(nfLost, "connection lost while sending: " + SystemText(WSAGetLastError()));
  }
  return true;
}

bool TConnection::ReceiveRaw(std::string& into)
{
  char buf[16384];
  for (;;) {
    int n = ::recv(state_->socket, buf, sizeof buf, 0);
    if (n > 0) {
      into.append(buf, static_cast<std::size_t>(n));
      return true;
    }
    if (n == 0)
      return Fail(nfLost, "the server closed the connection");
    if (WSAGetLastError() != WSAEWOULDBLOCK)
      return Fail(nfLost, "connection lost: " + SystemText(WSAGetLastError()));
    if (!Wait(POLLIN))
      return false;
  }
}

bool TConnection::Send(const char* data, std::size_t size)
{
  TState& s = *state_;
  if (!s.tls)
    return SendRaw(data, size);
  const std::size_t most = s.sizes.cbMaximumMessage;
  std::vector<char> record(s.sizes.cbHeader + most + s.sizes.cbTrailer);
  for (std::size_t done = 0; done < size;) {
    const std::size_t n = std::min(size - done, most);
    char* body = record.data() + s.sizes.cbHeader;
    std::copy(data + done, data + done + n, body);
    SecBuffer parts[4] = {{s.sizes.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
                          {static_cast<ULONG>(n), SECBUFFER_DATA, body},
                          {s.sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, body + n},
                          {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc desc{SECBUFFER_VERSION, 4, parts};
    SECURITY_STATUS st = EncryptMessage(&s.context, 0, &desc, 0);
    if (st != SEC_E_OK)
      return Fail(nfLost, "TLS error while sending: " + SystemText(st));
    if (!SendRaw(record.data(), parts[0].cbBuffer + parts[1].cbBuffer + parts[2].cbBuffer))
      return false;
    done += n;
  }
  return true;
}

bool TConnection::Receive(std::string& into)
{
  TState& s = *state_;
  if (!s.tls)
    return ReceiveRaw(into);
  for (;;) {
    if (!s.incoming.empty()) {
      SecBuffer parts[4] = {{static_cast<ULONG>(s.incoming.size()), SECBUFFER_DATA, s.incoming.data()},
                            {0, SECBUFFER_EMPTY, nullptr},
                            {0, SECBUFFER_EMPTY, nullptr},
                            {0, SECBUFFER_EMPTY, nullptr}};
      SecBufferDesc desc{SECBUFFER_VERSION, 4, parts};
      SECURITY_STATUS st = DecryptMessage(&s.context, &desc, 0, nullptr);
      if (st == SEC_E_OK) {
        const std::size_t before = into.size();
        std::string extra;
        for (const SecBuffer& part : parts) {
          if (part.BufferType == SECBUFFER_DATA)
            into.append(static_cast<const char*>(part.pvBuffer), part.cbBuffer);
          else if (part.BufferType == SECBUFFER_EXTRA)
            extra.assign(static_cast<const char*>(part.pvBuffer), part.cbBuffer);
        }
        s.incoming = extra;
        if (into.size() > before)
          return true;
        continue;  // a record without data
      }
      if (st == SEC_I_CONTEXT_EXPIRED)
        return Fail(nfLost, "the server closed the connection");
      if (st != SEC_E_INCOMPLETE_MESSAGE)
        return Fail(nfLost, "TLS error while reading: " + SystemText(st));
    }
    if (!ReceiveRaw(s.incoming))
      return false;
  }
}
