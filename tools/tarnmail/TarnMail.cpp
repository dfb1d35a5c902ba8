// tarnmail: submits one Japanese mail, prepared by Tarnwick, to an SMTP
// server, or writes it into outbox/ in outbox mode. The exit code tells
// Tarnwick how it went (see README.md).
#include "MailBuilder.h"
#include "MailError.h"
#include "MailOptions.h"
#include "MailSystem.h"
#include "MailText.h"
#include "Outbox.h"
#include "SmtpSender.h"
#include "SmtpSettings.h"
#include "Transcript.h"

#include "platform/Files.h"

#include <cstdio>
#include <cstring>
#include <chrono>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

namespace {

const char* kUsage =
  "usage: tarnmail [-d] [-cSETTINGS] [-hHOST[:PORT]] -fSENDER [-rREPLYTO] [-nENVELOPE-SENDER]\n"
  "                [-sSUBJECT] [-aFILE,FILE...] [-m -FBODYFILE] ADDRESS,CC:ADDRESS,BCC:ADDRESS [-t]\n"
  "       tarnmail --help | --version\n";

const char* kHelp =
  "Sends one mail prepared by Tarnwick (Shift_JIS texts) to an SMTP server,\n"
  "or writes it into outbox/ when the settings say Outbox=1.\n"
  "\n"
  "  -d             transcript on standard output\n"
  "  -cFILE         settings file (default: tarnmail.ini beside tarnmail)\n"
  "  -hHOST[:PORT]  SMTP server (default: Host= of the settings)\n"
  "  -fSENDER       From, and the envelope sender unless -n gives one\n"
  "  -rADDRESS      Reply-To        -nADDRESS  envelope sender\n"
  "  -sSUBJECT      subject         -aFILES    attachments, comma-separated\n"
  "  -m -FFILE      body file       -t         Date in Japan Standard Time\n"
  "  addresses      TO, CC:ADDRESS, BCC:ADDRESS separated by commas\n"
  "\n"
  "Exit codes (sysexits): 0 sent; 75 temporary (worth a resend); 64 usage,\n"
  "65 data, 66 no input, 68 no host, 69 refused, 70 software, 74 I/O,\n"
  "76 protocol, 77 authentication, 78 configuration (fix first).\n";

// Set before the submission starts: the last word when a wait inside a
// library outlasts every limit.
char g_watchdogMessage[256];

std::string OneLine(std::string s)
{
  for (char& c : s)
    if (c == '\r' || c == '\n' || c == '\t')
      c = ' ';
  return s;
}

std::string TimeStamp()
{
  long offset = 0;
  const std::tm tm = LocalTimeNow(offset);
  char stamp[40];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
  const long a = offset < 0 ? -offset : offset;
  char zone[40];
  std::snprintf(zone, sizeof zone, " %c%02ld%02ld", offset < 0 ? '-' : '+', a / 3600, a / 60 % 60);
  return std::string(stamp) + zone;
}

std::string Recipients(const TBuiltMail& mail)
{
  std::string list;
  for (std::size_t i = 0; i < mail.EnvelopeTo.size(); ++i)
    list += (i ? "," : "") + ("<" + mail.EnvelopeTo[i] + ">");
  return list;
}

// One line per mail, appended whole under the file's lock so that lines of
// tarnmails running side by side never mix; a tarnmail that finds the file
// held tries again for a moment.
void WriteLogLine(const std::string& path, const std::string& line)
{
  for (int attempt = 0; attempt < 50; ++attempt) {
    if (platform::TryAppendFile(path, line))
      return;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::fprintf(stderr, "tarnmail: warning: cannot append to the log file %s: %s\n", path.c_str(),
               platform::LastFileError().c_str());
}

std::string EnvelopeText(const TBuiltMail& mail, const std::string& host)
{
  std::string text = "Envelope of the mail of the same name (not part of it).\n";
  text += "Server: " + (host.empty() ? std::string("(none)") : host) + "\n";
  text += "MAIL FROM:<" + mail.EnvelopeFrom + ">\n";
  for (std::size_t i = 0; i < mail.EnvelopeTo.size(); ++i) {
    TRecipientKind k = mail.EnvelopeKinds[i];
    text += "RCPT TO:<" + mail.EnvelopeTo[i] + "> " + (k == rkTo ? "To" : k == rkCc ? "Cc" : "Bcc") + "\n";
  }
  return text;
}

} // namespace

const char* ExitCodeName(int code)
{
  switch (code) {
  case ecSent: return "sent";
  case ecUsage: return "usage error";
  case ecData: return "bad data";
  case ecNoInput: return "no input file";
  case ecNoHost: return "unknown host";
  case ecUnavailable: return "permanent refusal";
  case ecSoftware: return "internal error";
  case ecUnknown: return "delivery unknown";
  case ecCantCreate: return "outbox refused";
  case ecIoError: return "I/O error";
  case ecTempFail: return "temporary failure";
  case ecProtocol: return "protocol error";
  case ecNoPerm: return "authentication error";
  case ecConfig: return "configuration error";
  default: return "failed";
  }
}

int main(int argc, char** argv)
{
  // A reader that closes our output early must not decide the exit code.
  IgnoreBrokenPipes();
  std::vector<std::string> args(argv + 1, argv + argc);
  bool transcriptOn = false;
  for (const std::string& a : args)
    transcriptOn = transcriptOn || a == "-d";
  TTranscript transcript(transcriptOn);

  int code = ecSoftware;
  std::string reason, lastReply, logFile, sender, recipients;
  try {
    TMailOptions options = ParseMailOptions(args);
    if (options.Help || options.Version) {
      std::fputs(options.Help ? kUsage : "tarnmail " TARNWICK_VERSION "\n", stdout);
      if (options.Help)
        std::fputs(kHelp, stdout);
      return ecSent;
    }
    TSmtpSettings settings = LoadSmtpSettings(options.ConfigFile);
    logFile = settings.LogFile;
    for (const std::string& w : settings.Warnings) {
      std::fprintf(stderr, "tarnmail: warning: %s\n", w.c_str());
      transcript.Line("warning: " + w);
    }
    if (TrimText(options.From).empty())
      options.From = settings.From;
    std::string host = options.Host.empty() ? settings.Host : options.Host;
    // Outbox mode only when asked for: a forgotten host line in a live batch
    // must fail, not pass as sent.
    if (!settings.Outbox && host.empty())
      throw EMailError(ecConfig, "no host: neither -h nor Host= in " +
                                     (settings.Path.empty() ? std::string("tarnmail.ini (none found)") : settings.Path) +
                                     "; Outbox=1 writes the mails into outbox/ instead");

    TBuiltMail mail = BuildMail(options, settings.Headers);
    sender = "<" + mail.EnvelopeFrom + ">";
    recipients = Recipients(mail);
    transcript.Line("mail from: " + mail.EnvelopeFrom);
    for (const std::string& note : mail.Notes)
      transcript.Line(note);
    transcript.Line("message: " + std::to_string(mail.Size) + " bytes");
    if (settings.MaxMessageSize && mail.Size > static_cast<std::uint64_t>(settings.MaxMessageSize))
      throw EMailError(ecUnavailable, "the mail has " + std::to_string(mail.Size) + " bytes, more than MaxMessageSize=" +
                                          std::to_string(settings.MaxMessageSize) + " of the settings");
    // Outbox mode keeps every mail, with or without a host: a dry run of a
    // live batch sends nothing.
    if (settings.Outbox) {
      reason = "written to " + WriteToOutbox("outbox", mail, EnvelopeText(mail, host));
      code = ecSent;
    } else {
      std::snprintf(g_watchdogMessage, sizeof g_watchdogMessage,
                    "tarnmail: no end within Timeout=%ld s: given up\n", settings.Timeout);
      ArmWatchdog(static_cast<unsigned>(settings.Timeout + 3), g_watchdogMessage, ecTempFail);
      TSmtpResult r = SendSmtp(settings, host, mail, transcript);
      code = r.Code;
      reason = r.Reason;
      lastReply = r.LastReply;
    }
  } catch (const EMailError& e) {
    code = e.Code;
    reason = e.what();
  } catch (const std::exception& e) {
    code = ecSoftware;
    reason = e.what();
  }
  DisarmWatchdog();

  transcript.Line("result: " + std::to_string(code) + " " + ExitCodeName(code) + ": " + reason);
  if (code != ecSent) {
    std::fprintf(stderr, "tarnmail: %s (exit %d, %s%s)\n", reason.c_str(), code, ExitCodeName(code),
                 IsTemporary(code) ? ", worth a resend" : "");
    if (code == ecUsage)
      std::fputs(kUsage, stderr);
  }
  if (!logFile.empty())
    WriteLogLine(logFile, TimeStamp() + " from=" + (sender.empty() ? "-" : sender) + " to=" +
                              (recipients.empty() ? "-" : recipients) + " result=" + std::to_string(code) + " " +
                              ExitCodeName(code) + " reason=\"" + OneLine(reason) + "\" reply=\"" +
                              OneLine(lastReply) + "\"\n");
  return code;
}
