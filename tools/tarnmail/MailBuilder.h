// Builds the RFC 5322 / MIME message and its envelope from the options.
// The body and the attachments stay in their files: they are encoded while
// the message is written, so memory does not grow with their size.
#pragma once

#include "MailOptions.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// A file opened when the mail was built, read again when it is written.
class TOpenFile {
public:
  explicit TOpenFile(std::intptr_t file, std::uint64_t size) : file_(file), size_(size) {}
  ~TOpenFile();
  TOpenFile(const TOpenFile&) = delete;
  TOpenFile& operator=(const TOpenFile&) = delete;
  std::intptr_t Handle() const { return file_; }
  std::uint64_t Size() const { return size_; }

private:
  std::intptr_t file_;  // the system's handle (MailSystem.h)
  std::uint64_t size_;
};

// How the body goes out.
enum TBodyForm { bfJis7bit, bfJisBase64, bfUtf8Base64 };

struct TMessagePiece {
  enum TKind { pkText, pkBody, pkBase64File } Kind = pkText;
  std::string Text;                  // pkText
  std::shared_ptr<TOpenFile> File;   // pkBody, pkBase64File
  TBodyForm Body = bfJis7bit;        // pkBody
};

struct TBuiltMail {
  std::string EnvelopeFrom;
  std::vector<std::string> EnvelopeTo;  // TO, CC and BCC addresses
  std::vector<TRecipientKind> EnvelopeKinds;  // the kind of each
  std::vector<TMessagePiece> Pieces;    // the message, CR LF line ends
  std::uint64_t Size = 0;               // bytes of the message as written
  std::vector<std::string> Notes;       // for the transcript
};

// Where the message goes: a file, or the DATA of an SMTP session.
class TSink {
public:
  virtual ~TSink() = default;
  // False when the bytes cannot be taken; the sink keeps the reason.
  virtual bool Write(const char* data, std::size_t size) = 0;
};

// Writes the message. False when the sink failed; throws EMailError(ecNoInput)
// when a file can no longer be read as it was when the mail was built.
bool WriteMessage(const TBuiltMail& mail, TSink& sink);

// The [Headers] of the settings: name and value (CP932), with the
// placeholders {to}, {to_url}, {message_id} and {token}.
struct THeaderSettings {
  std::vector<std::pair<std::string, std::string>> Headers;
  std::string TokenSecret;
};

// Reads the body file and the attachments (paths are CP932, relative ones
// against the current folder). Throws EMailError: ecUsage or ecData for missing
// or bad addresses and texts, ecNoInput for a file that cannot be read,
// ecConfig for a header of the settings that cannot be sent.
TBuiltMail BuildMail(const TMailOptions& options, const THeaderSettings& headers = {});

// The header names that tarnmail writes itself (lower case).
bool IsOwnHeader(const std::string& name);

// Content type of an attachment, by its file name extension.
std::string ContentTypeFor(const std::string& fileName);
