// The [SMTP] section of tarnmail's settings file (tarnmail.ini beside the
// executable, or the file that -c names), read with the project's own
// initialization-file reader.
#pragma once

#include "MailBuilder.h"

#include <string>
#include <vector>

enum TTlsMode {
  tlsOff,       // never TLS
  tlsStartTls,  // STARTTLS when the server offers it, plain otherwise
  tlsRequired,  // STARTTLS, and no mail without it
  tlsImplicit,  // TLS from the first byte (any port; 465 by custom)
};

struct TSmtpSettings {
  std::string Path;              // the file read ("" when none)
  std::string Host;              // used when -h names none
  int Port = 25;
  std::string From;              // sender when -f names none
  std::string User;
  std::string Password;
  TTlsMode Tls = tlsStartTls;
  bool TlsGiven = false;         // a TLS key was written (else port 465 means implicit)
  bool AuthWithoutTls = false;   // only with this may a login travel unencrypted
  std::string CAFile;
  bool VerifyCertificate = true;
  std::string EhloName;          // name in EHLO ("" = the machine's name)
  long ConnectTimeout = 30;      // seconds until greeted and logged in
  long StallTimeout = 60;        // seconds without any progress
  long Timeout = 300;            // seconds for the whole submission
  // Write every mail to outbox/ instead of sending. A settings key rather
  // than a reserved word on the host line: any word there could also be a
  // real host's name, and a dry run is a decision for the whole batch.
  bool Outbox = false;
  std::string LogFile;           // one line per mail ("" = none)
  long long MaxMessageSize = 0;  // the largest mail the operator sends, in bytes (0 = no limit)
  THeaderSettings Headers;       // [Headers] and the secret of [Token]
  std::vector<std::string> Warnings;
};

// Reads the settings. `explicitPath` is the file named on the command line
// ("" for tarnmail.ini beside the executable; that one may be missing).
// Throws EMailError(ecConfig) for a value that makes no sense, a named file
// that cannot be read, or a password that other users can read.
TSmtpSettings LoadSmtpSettings(const std::string& explicitPath);
