// Submits a built mail to an SMTP server. libcurl connects, speaks TLS,
// greets and logs in; the mail itself (MAIL, RCPT, DATA, QUIT) is sent here,
// so that every reply, its text and the refused address are known, and so
// that no wait outlasts the time limits.
#pragma once

#include "MailBuilder.h"
#include "SmtpSettings.h"
#include "Transcript.h"

#include <string>

// Host and port from "host", "host:port", "[v6]" or "[v6]:port"; the port
// defaults to `defaultPort`. Throws EMailError(ecUsage) for a bad port.
void SplitHostPort(const std::string& text, int defaultPort, std::string& host, int& port);

struct TSmtpResult {
  int Code = 0;           // an exit code of MailError.h
  std::string Reason;     // one line for the operator
  std::string LastReply;  // the server's last reply, "" when none came
};

TSmtpResult SendSmtp(const TSmtpSettings& settings, const std::string& hostText, const TBuiltMail& mail,
                     TTranscript& transcript);
