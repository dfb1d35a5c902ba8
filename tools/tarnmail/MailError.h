// Exit codes of tarnmail and the error that carries one to main().
#pragma once

#include <stdexcept>
#include <string>

enum TExitCode : int {
  ecSent = 0,          // handed to the server, or written to the outbox
  ecUsage = 2,         // bad or missing options, addresses or settings
  ecUnreadable = 3,    // body file or an attachment cannot be read
  ecUnreachable = 4,   // server not found, refused, silent or connection lost
  ecTemporary = 5,     // server answered 4xx
  ecPermanent = 6,     // server answered 5xx
  ecAuthFailed = 7,    // login refused
  ecOther = 8,         // anything else (TLS, outbox write, internal)
};

class EMailError : public std::runtime_error {
public:
  EMailError(int code, const std::string& message) : std::runtime_error(message), Code(code) {}
  int Code;
};
