// [SMTP] settings from tarnmail.ini beside the executable.
#pragma once

#include <string>

enum TTlsMode { tlsTry, tlsRequire, tlsOff };

struct TSmtpSettings {
  int Port = 25;
  std::string User;
  std::string Password;
  TTlsMode Tls = tlsTry;
  bool VerifyCertificate = true;
  long ConnectTimeout = 30;  // seconds
  long Timeout = 300;        // seconds, the whole submission
};

// Reads the [SMTP] section of an ini file; a missing file gives the
// defaults. Throws EMailError(ecUsage) for a value that makes no sense.
TSmtpSettings LoadSmtpSettings(const std::string& iniPath);

// The folder of the running executable, ending in "/".
std::string ExecutableFolder();
