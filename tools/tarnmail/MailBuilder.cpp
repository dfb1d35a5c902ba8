#include "MailBuilder.h"

#include "MailError.h"
#include "MailText.h"

#include "jtext/MailJstr.h"
#include "platform/Files.h"
#include "platform/Paths.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

// The message is written here rather than by a MIME library: it is one
// fixed shape (headers, a text part, attachments), and not loading such a
// library keeps tarnmail's start as cheap as a mail per process needs.

namespace {

// Only a regular file is read: a folder would give no data (a 0-byte part
// sent as if it were the file), and a FIFO or a device could block for ever.
// Opened without blocking so that opening a FIFO does not wait for a writer.
TReadResult ReadPath(const std::string& path, std::string& data)
{
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0)
    return errno == ENOENT || errno == ENOTDIR ? rrMissing : rrUnreadable;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return rrNotAFile;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  data.clear();
  char buf[65536];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0) {
      close(fd);
      return rrUnreadable;
    }
    if (n == 0)
      break;
    data.append(buf, static_cast<std::size_t>(n));
  }
  close(fd);
  return rrRead;
}

// The project's line-end rule (CR LF, CR or LF end a line), written as CR LF.
std::string ToCrLf(const std::string& text)
{
  std::string out;
  out.reserve(text.size() + text.size() / 32);
  platform::ForEachLine(text, [&](std::string_view line, std::string_view end) {
    out += line;
    if (!end.empty())
      out += "\r\n";
  });
  return out;
}

std::string ReadFailure(TReadResult r, const std::string& what, const std::string& path)
{
  std::string name = what + " " + Cp932ToUtf8(path);
  switch (r) {
  case rrMissing: return "no such file: " + name;
  case rrNotAFile: return name + " is not a regular file (a folder, a FIFO or a device)";
  default: return "cannot read " + name + ": " + std::strerror(errno);
  }
}

std::string FileNameOf(const std::string& path)
{
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// One header, folded between the tokens, CR LF at the end.
std::string Header(const std::string& name, const std::vector<std::string>& tokens)
{
  std::string folded = FoldTokens(name, tokens), out = name + ":";
  for (char c : folded)
    out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

// Base64 in lines of 76, as MIME bodies carry it.
std::string Base64Lines(const std::string& bytes)
{
  std::string b64 = EncodeBase64(bytes), out;
  out.reserve(b64.size() + b64.size() / 76 * 2 + 2);
  for (std::size_t i = 0; i < b64.size(); i += 76)
    out.append(b64, i, 76).append("\r\n");
  return out;
}

std::string RandomText(std::size_t n)
{
  static const char kChars[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  unsigned char raw[64] = {};
  if (getrandom(raw, n, 0) != static_cast<ssize_t>(n)) {
    // Rarely without entropy at boot: time and process make it unique enough.
    unsigned long long seed = static_cast<unsigned long long>(std::time(nullptr)) * 1000003u + getpid();
    for (std::size_t i = 0; i < n; ++i)
      raw[i] = static_cast<unsigned char>((seed = seed * 6364136223846793005ull + 1442695040888963407ull) >> 56);
  }
  std::string s;
  for (std::size_t i = 0; i < n; ++i)
    s += kChars[raw[i] % 62];
  return s;
}

// RFC 5322 date: "Tue, 08 Dec 2026 23:38:54 +0900".
std::string MailDate(bool japanTime)
{
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  long offset;
  if (japanTime) {
    std::time_t jst = now + 9 * 3600;
    gmtime_r(&jst, &tm);
    offset = 9 * 3600;
  } else {
    localtime_r(&now, &tm);
    offset = tm.tm_gmtoff;
  }
  static const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char buf[64];
  long a = offset < 0 ? -offset : offset;
  std::snprintf(buf, sizeof buf, "%s, %02d %s %d %02d:%02d:%02d %c%02ld%02ld", kDays[tm.tm_wday], tm.tm_mday,
                kMonths[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec, offset < 0 ? '-' : '+',
                a / 3600, a / 60 % 60);
  return buf;
}

// RFC 2231 form of a parameter value (UTF-8, percent-encoded), cut into
// numbered pieces so that no line passes 78 characters.
std::string Rfc2231Param(const std::string& name, const std::string& utf8)
{
  static const char kHex[] = "0123456789ABCDEF";
  std::vector<std::string> chars;  // encoded characters, never cut apart
  for (std::size_t i = 0; i < utf8.size();) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    std::size_t n = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    std::string enc;
    for (std::size_t k = 0; k < n && i + k < utf8.size(); ++k) {
      unsigned char b = static_cast<unsigned char>(utf8[i + k]);
      if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') ||
          std::strchr("!#$&+-.^_`|~", b))
        enc += static_cast<char>(b);
      else
        enc += std::string("%") + kHex[b >> 4] + kHex[b & 15];
    }
    chars.push_back(enc);
    i += n;
  }
  std::vector<std::string> pieces(1);
  for (const std::string& c : chars) {
    if (pieces.back().size() + c.size() > 50)
      pieces.emplace_back();
    pieces.back() += c;
  }
  if (pieces.size() == 1)
    return ";\r\n " + name + "*=UTF-8''" + pieces[0];
  std::string out;
  for (std::size_t i = 0; i < pieces.size(); ++i)
    out += ";\r\n " + name + "*" + std::to_string(i) + "*=" + (i == 0 ? "UTF-8''" : "") + pieces[i];
  return out;
}

// A parameter that needs no encoding: a plain quoted string.
bool PlainParam(const std::string& v)
{
  if (v.empty() || v.size() > 60 || !IsAscii(v))
    return false;
  for (char c : v)
    if (static_cast<unsigned char>(c) < 0x20 || c == '"' || c == '\\' || c == 0x7F)
      return false;
  return true;
}

std::vector<std::string> AddressListTokens(const std::vector<TMailbox>& boxes)
{
  std::vector<std::string> tokens;
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    std::vector<std::string> t = MailboxTokens(boxes[i]);
    if (i + 1 < boxes.size())
      t.back() += ",";
    tokens.insert(tokens.end(), t.begin(), t.end());
  }
  return tokens;
}

// The body part in ISO-2022-JP when every line converts and stays within
// the line length limit of 7bit, else in UTF-8 (base64, so no 8bit
// transport is needed). Headers and content, CR LF throughout.
std::string BodyPart(const std::string& bodyUtf8, std::vector<std::string>& notes)
{
  std::string lf = ToCrLf(bodyUtf8);
  bool jis = true, longLine = false;
  std::string encoded;
  std::size_t start = 0;
  while (start < lf.size() && jis) {
    std::size_t end = lf.find("\r\n", start);
    if (end == std::string::npos)
      end = lf.size();
    std::string line;
    jis = Utf8ToIso2022Jp(lf.substr(start, end - start), line);
    longLine = longLine || line.size() > 998;
    encoded += line;
    if (end < lf.size())
      encoded += "\r\n";
    start = end + 2;
  }
  if (jis && !longLine) {
    notes.push_back("body: ISO-2022-JP, 7bit");
    if (!encoded.empty() && encoded.compare(encoded.size() - 2, 2, "\r\n") != 0)
      encoded += "\r\n";
    return "Content-Type: text/plain; charset=ISO-2022-JP\r\nContent-Transfer-Encoding: 7bit\r\n\r\n" + encoded;
  }
  if (jis) {
    notes.push_back("body: ISO-2022-JP, base64 (long lines)");
    return "Content-Type: text/plain; charset=ISO-2022-JP\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
           Base64Lines(encoded);
  }
  notes.push_back("body: UTF-8, base64 (holds characters ISO-2022-JP cannot carry)");
  return "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: base64\r\n\r\n" + Base64Lines(lf);
}

// One attachment: base64, the name both as RFC 2047 name= (many Japanese
// mail readers read only that) and RFC 2231 filename*=.
std::string AttachmentPart(const std::string& name, const std::string& data, const std::string& type)
{
  std::string head = "Content-Type: " + type;
  if (type.rfind("text/", 0) == 0 && !IsAscii(data))  // files from Windows are mostly Shift_JIS
    head += std::string("; charset=") + (IsValidUtf8(data) ? "UTF-8" : "Shift_JIS");
  std::string disposition = "Content-Disposition: attachment";
  if (PlainParam(name)) {
    head += ";\r\n name=\"" + name + "\"";
    disposition += ";\r\n filename=\"" + name + "\"";
  } else {
    std::vector<std::string> words = EncodeWords(name);
    head += ";\r\n name=\"";
    for (std::size_t i = 0; i < words.size(); ++i)
      head += (i ? "\r\n " : "") + words[i];
    head += "\"";
    disposition += Rfc2231Param("filename", name);
  }
  return head + "\r\nContent-Transfer-Encoding: base64\r\n" + disposition + "\r\n\r\n" + Base64Lines(data);
}

} // namespace

TReadResult ReadWholeFile(const std::string& cp932Path, std::string& data, std::string* openedPath)
{
  // The file system sees UTF-8; a name that is already UTF-8 is tried as is.
  // A path written on Windows may still carry backslashes.
  std::vector<std::string> candidates;
  for (const std::string& path : {cp932Path, platform::NormalizeSeparators(cp932Path)}) {
    bool damaged = false;
    std::string utf8 = Cp932ToUtf8(path, &damaged);
    if (!damaged)
      candidates.push_back(utf8);
    candidates.push_back(path);
  }
  TReadResult worst = rrMissing;
  for (const std::string& candidate : candidates) {
    TReadResult r = ReadPath(candidate, data);
    if (r == rrRead) {
      if (openedPath)
        *openedPath = candidate;
      return r;
    }
    if (r != rrMissing)
      return r;  // found, but no file that can be sent
  }
  return worst;
}

std::string ContentTypeFor(const std::string& fileName)
{
  static const struct { const char* ext; const char* type; } kTypes[] = {
    {"txt", "text/plain"}, {"csv", "text/csv"}, {"htm", "text/html"}, {"html", "text/html"},
    {"xml", "text/xml"}, {"pdf", "application/pdf"}, {"json", "application/json"},
    {"zip", "application/zip"}, {"gz", "application/gzip"}, {"lzh", "application/x-lzh"},
    {"doc", "application/msword"}, {"xls", "application/vnd.ms-excel"},
    {"ppt", "application/vnd.ms-powerpoint"},
    {"docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document"},
    {"xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
    {"pptx", "application/vnd.openxmlformats-officedocument.presentationml.presentation"},
    {"rtf", "application/rtf"}, {"jpg", "image/jpeg"}, {"jpeg", "image/jpeg"},
    {"png", "image/png"}, {"gif", "image/gif"}, {"bmp", "image/bmp"}, {"tif", "image/tiff"},
    {"tiff", "image/tiff"}, {"svg", "image/svg+xml"}, {"mp3", "audio/mpeg"},
    {"wav", "audio/wav"}, {"mp4", "video/mp4"},
  };
  std::size_t dot = fileName.rfind('.');
  if (dot != std::string::npos) {
    std::string ext = fileName.substr(dot + 1);
    for (char& c : ext)
      if (c >= 'A' && c <= 'Z')
        c = static_cast<char>(c + 32);
    for (const auto& t : kTypes)
      if (ext == t.ext)
        return t.type;
  }
  return "application/octet-stream";
}

TBuiltMail BuildMail(const TMailOptions& o)
{
  TBuiltMail mail;

  if (TrimText(o.From).empty())
    throw EMailError(ecUsage, "no sender: -f is needed (or From= in the settings)");
  TMailbox from = ParseMailbox(o.From);
  mail.EnvelopeFrom = o.EnvelopeSender.empty() ? from.Address : ParseMailbox(o.EnvelopeSender).Address;

  std::vector<TMailbox> to, cc;
  for (const TRecipient& r : SplitAddressList(o.AddressList)) {
    TMailbox box = ParseMailbox(r.Text);
    mail.EnvelopeTo.push_back(box.Address);
    mail.EnvelopeKinds.push_back(r.Kind);
    if (r.Kind == rkTo)
      to.push_back(box);
    else if (r.Kind == rkCc)
      cc.push_back(box);
    mail.Notes.push_back(std::string(r.Kind == rkTo ? "to: " : r.Kind == rkCc ? "cc: " : "bcc: ") + box.Address);
  }
  if (mail.EnvelopeTo.empty())
    throw EMailError(ecUsage, "no recipient in the address list");

  std::string bodyUtf8;
  if (o.BodyFromFile) {
    std::string raw;
    TReadResult r = ReadWholeFile(o.BodyFile, raw);
    if (r != rrRead)
      throw EMailError(ecNoInput, ReadFailure(r, "the body file", o.BodyFile));
    bool damaged = false;
    bodyUtf8 = Cp932ToUtf8(raw, &damaged);
    if (damaged)
      mail.Notes.push_back("warning: the body file holds bytes that are not Shift_JIS; they are sent as U+FFFD");
  }

  std::string head = "Date: " + MailDate(o.JapanTime) + "\r\n";
  head += Header("From", MailboxTokens(from));
  if (!TrimText(o.ReplyTo).empty())
    head += Header("Reply-To", MailboxTokens(ParseMailbox(o.ReplyTo)));
  if (!to.empty())
    head += Header("To", AddressListTokens(to));
  else if (cc.empty())
    head += Header("To", {"undisclosed-recipients:;"});
  if (!cc.empty())
    head += Header("Cc", AddressListTokens(cc));

  if (o.HasSubject && !o.Subject.empty()) {
    RefuseControls(o.Subject, "the subject");
    bool damaged = false;
    std::string subject = Cp932ToUtf8(o.Subject, &damaged);
    for (char& c : subject)
      if (c == '\t')
        c = ' ';
    if (damaged)
      mail.Notes.push_back("warning: the subject holds bytes that are not Shift_JIS");
    if (IsAscii(subject) && subject.find("=?") == std::string::npos) {
      // Plain words, folded between them; a long word (a URL) stays whole and
      // readable instead of becoming an encoded word longer than RFC 2047 allows.
      std::vector<std::string> words = SplitWords(subject);
      if (!words.empty())
        head += Header("Subject", words);
    } else {
      std::vector<std::string> words = EncodeWords(subject);
      head += Header("Subject", words);
      mail.Notes.push_back(std::string("subject: ") + (words[0].rfind("=?UTF-8", 0) == 0 ? "UTF-8" : "ISO-2022-JP"));
    }
  }

  // Message-ID in the domain of the From address.
  std::size_t at = from.Address.rfind('@');
  head += "Message-ID: <" + std::to_string(std::time(nullptr)) + "." + std::to_string(getpid()) + "." +
          RandomText(12) + "@" + from.Address.substr(at + 1) + ">\r\n";
  head += "MIME-Version: 1.0\r\n";

  std::string body = BodyPart(bodyUtf8, mail.Notes);
  if (o.Attachments.empty()) {
    mail.Message = head + body;
    return mail;
  }
  // The boundary cannot occur in any part: base64 and ISO-2022-JP text hold
  // no "=_" run of this kind.
  const std::string boundary = "=_tarnmail_" + RandomText(24);
  std::string message = head + "Content-Type: multipart/mixed;\r\n boundary=\"" + boundary + "\"\r\n\r\n" +
                        "This is a multi-part message in MIME format.\r\n\r\n--" + boundary + "\r\n" + body;
  for (const std::string& path : o.Attachments) {
    std::string data;
    std::string opened;
    TReadResult r = ReadWholeFile(path, data, &opened);
    if (r != rrRead)
      throw EMailError(ecNoInput, ReadFailure(r, "the attachment", path));
    std::string name = FileNameOf(IsValidUtf8(opened) ? opened : Cp932ToUtf8(opened));
    std::string type = ContentTypeFor(name);
    message += "\r\n--" + boundary + "\r\n" + AttachmentPart(name, data, type);
    mail.Notes.push_back("attachment: " + path + " (" + type + ", " + std::to_string(data.size()) + " bytes)");
  }
  mail.Message = message + "\r\n--" + boundary + "--\r\n";
  return mail;
}
