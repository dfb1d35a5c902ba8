// Exit codes of tarnmail and the error that carries one to main(). The codes
// are those of sysexits(3), as sendmail-compatible mailers use them, so that
// a caller can tell a failure worth a resend (ecTempFail) from one that needs
// the mail or the settings fixed first.
#pragma once

#include <stdexcept>
#include <string>

enum TExitCode : int {
  ecSent = 0,          // accepted by the server, or written to the outbox
  ecUsage = 64,        // bad command line
  ecData = 65,         // bad data in the mail: an entry that is no address, a line break in a header text
  ecNoInput = 66,      // body file or attachment missing, unreadable or not a regular file
  ecNoHost = 68,       // the server's name cannot be resolved
  ecUnavailable = 69,  // permanent refusal: the server answered 5xx
  ecSoftware = 70,     // internal error
  // The whole mail went out, but the server's answer to it never came (the
  // connection lost or stalled after the end mark): the server may have
  // it. Not temporary: sent again, it may arrive twice. 71 (EX_OSERR) is
  // the one code of sysexits(3) that nothing else here uses and that no
  // reader takes for a refusal of the mail or the address.
  ecUnknown = 71,
  ecCantCreate = 73,   // the outbox folder is not the user's own, or others may write it
  ecIoError = 74,      // the outbox cannot be written
  ecTempFail = 75,     // temporary: 4xx, no connection, time limit, connection lost
  ecProtocol = 76,     // the server's answer makes no sense
  ecNoPerm = 77,       // login refused, impossible (no AUTH offered), or not allowed without TLS
  ecConfig = 78,       // bad settings, no host without outbox mode, TLS not available
};

// The words that stand for a code in the transcript, on standard error and
// in the log file.
const char* ExitCodeName(int code);
// True for the codes worth a resend later without changing anything.
inline bool IsTemporary(int code) { return code == ecTempFail; }

class EMailError : public std::runtime_error {
public:
  EMailError(int code, const std::string& message) : std::runtime_error(message), Code(code) {}
  int Code;
};
