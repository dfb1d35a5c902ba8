// Builds the RFC 5322 / MIME message and its envelope from the options.
#pragma once

#include "MailOptions.h"

#include <string>
#include <vector>

struct TBuiltMail {
  std::string EnvelopeFrom;
  std::vector<std::string> EnvelopeTo;  // TO, CC and BCC addresses
  std::vector<TRecipientKind> EnvelopeKinds;  // the kind of each
  std::string Message;                  // CR LF line ends
  std::vector<std::string> Notes;       // for the transcript
};

// Reads the body file and the attachments (paths are CP932, relative ones
// against the current folder). Throws EMailError: ecUsage or ecData for missing
// or bad addresses and texts, ecNoInput for a file that cannot be read.
TBuiltMail BuildMail(const TMailOptions& options);

enum TReadResult { rrRead, rrMissing, rrNotAFile, rrUnreadable };

// Reads a whole regular file whose name is CP932 bytes (backslashes of a
// Windows path are taken as separators); `openedPath` gets the name under
// which it was found.
TReadResult ReadWholeFile(const std::string& cp932Path, std::string& data, std::string* openedPath = nullptr);

// Content type of an attachment, by its file name extension.
std::string ContentTypeFor(const std::string& fileName);
