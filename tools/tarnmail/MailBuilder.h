// Builds the RFC 5322 / MIME message and its envelope from the options.
#pragma once

#include "MailOptions.h"

#include <string>
#include <vector>

struct TBuiltMail {
  std::string EnvelopeFrom;
  std::vector<std::string> EnvelopeTo;  // TO, CC and BCC addresses
  std::string Message;                  // CR LF line ends
  std::vector<std::string> Notes;       // for the transcript
};

// Reads the body file and the attachments (paths are CP932, relative ones
// against the current folder). Throws EMailError: ecUsage for missing or bad
// addresses, ecUnreadable for a file that cannot be read.
TBuiltMail BuildMail(const TMailOptions& options);

// Reads a whole file whose name is CP932 bytes (backslashes of a Windows
// path are taken as separators). False when it cannot; `openedPath` gets the
// name under which it was found.
bool ReadWholeFile(const std::string& cp932Path, std::string& data, std::string* openedPath = nullptr);

// Content type of an attachment, by its file name extension.
std::string ContentTypeFor(const std::string& fileName);
