// tarnmail: submits one Japanese mail, prepared by Tarnwick, to an SMTP
// server, or writes it into outbox/ when no server is named. The exit code
// tells Tarnwick how it went (see README.md).
#include "MailBuilder.h"
#include "MailError.h"
#include "MailOptions.h"
#include "Outbox.h"
#include "SmtpSender.h"
#include "SmtpSettings.h"
#include "Transcript.h"

#include <gmime/gmime.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const char* kUsage =
  "usage: tarnmail [-d] [-hHOST[:PORT]] -fSENDER [-rREPLYTO] [-nENVELOPE-SENDER]\n"
  "                [-sSUBJECT] [-aFILE,FILE...] [-m -FBODYFILE] ADDRESS,CC:ADDRESS,BCC:ADDRESS [-t]\n";

const char* CodeName(int code)
{
  switch (code) {
  case ecSent: return "sent";
  case ecUsage: return "usage error";
  case ecUnreadable: return "unreadable file";
  case ecUnreachable: return "server unreachable";
  case ecTemporary: return "temporary rejection";
  case ecPermanent: return "permanent rejection";
  case ecAuthFailed: return "authentication failed";
  default: return "failed";
  }
}

} // namespace

int main(int argc, char** argv)
{
  // A reader that closes our output early must not decide the exit code.
  std::signal(SIGPIPE, SIG_IGN);
  std::vector<std::string> args(argv + 1, argv + argc);
  bool transcriptOn = false;
  for (const std::string& a : args)
    transcriptOn = transcriptOn || a == "-d";
  TTranscript transcript(transcriptOn);

  int code = ecOther;
  std::string reason;
  try {
    TMailOptions options = ParseMailOptions(args);
    g_mime_init();
    TBuiltMail mail = BuildMail(options);
    transcript.Line("mail from: " + mail.EnvelopeFrom);
    for (const std::string& note : mail.Notes)
      transcript.Line(note);
    transcript.Line("message: " + std::to_string(mail.Message.size()) + " bytes");
    if (options.Host.empty()) {
      reason = "written to " + WriteToOutbox("outbox", mail.Message);
      code = ecSent;
    } else {
      TSmtpSettings settings = LoadSmtpSettings(ExecutableFolder() + "tarnmail.ini");
      code = SendSmtp(settings, options.Host, mail, transcript, reason);
    }
  } catch (const EMailError& e) {
    code = e.Code;
    reason = e.what();
  } catch (const std::exception& e) {
    code = ecOther;
    reason = e.what();
  }

  transcript.Line("result: " + std::to_string(code) + " " + CodeName(code) + ": " + reason);
  if (code != ecSent) {
    std::fprintf(stderr, "tarnmail: %s\n", reason.c_str());
    if (code == ecUsage)
      std::fputs(kUsage, stderr);
  }
  return code;
}
