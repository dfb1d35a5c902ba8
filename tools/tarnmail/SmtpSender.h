// Submits a built mail to an SMTP server with libcurl.
#pragma once

#include "MailBuilder.h"
#include "SmtpSettings.h"
#include "Transcript.h"

#include <string>

// Host and port from "host", "host:port", "[v6]" or "[v6]:port"; the port
// defaults to `defaultPort`. Throws EMailError(ecUsage) for a bad port.
void SplitHostPort(const std::string& text, int defaultPort, std::string& host, int& port);

// Returns an exit code (ecSent, ecUnreachable, ecTemporary, ecPermanent,
// ecAuthFailed or ecOther) and leaves a one-line reason in `reason`.
int SendSmtp(const TSmtpSettings& settings, const std::string& hostOption, const TBuiltMail& mail,
             TTranscript& transcript, std::string& reason);
