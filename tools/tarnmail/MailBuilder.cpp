#include "MailBuilder.h"

#include "MailError.h"
#include "Hmac.h"
#include "MailSystem.h"
#include "MailText.h"

#include "jtext/MailJstr.h"
#include "jtext/SjisBytes.h"
#include "platform/Files.h"
#include "platform/Paths.h"

#include <cstring>
#include <ctime>

// The message is written here rather than by a MIME library: it is one
// fixed shape (headers, a text part, attachments), and not loading such a
// library keeps tarnmail's start as cheap as a mail per process needs.

namespace {

constexpr std::size_t kBlock = 1 << 16;

// The sink took no more: the writing ends, and WriteMessage says so.
struct TSinkFailed {};

// Only a regular file is read: a folder would give no data (a 0-byte part
// sent as if it were the file), and a FIFO or a device could block for ever.
TReadResult OpenPath(const std::string& path, std::shared_ptr<TOpenFile>& file)
{
  TFileHandle handle = kNoFile;
  std::uint64_t size = 0;
  TReadResult r = OpenInputFile(path, handle, size);
  if (r == rrRead)
    file = std::make_shared<TOpenFile>(handle, size);
  return r;
}

// Calls `each(data, size)` for the file's bytes in blocks, from the start.
// A file that can no longer be read, or whose size changed since the mail
// was built, ends the mail: what was built would not be what is sent.
template <typename F>
void ForEachBlock(const TOpenFile& file, F each)
{
  std::vector<char> buf(kBlock);
  std::uint64_t done = 0;
  for (;;) {
    long long n = ReadAt(file.Handle(), done, buf.data(), buf.size());
    if (n < 0)
      throw EMailError(ecNoInput, "cannot read an input file: " + SystemError());
    if (n == 0)
      break;
    done += static_cast<std::uint64_t>(n);
    if (done > file.Size())
      break;
    if (!each(buf.data(), static_cast<std::size_t>(n)))
      return;
  }
  if (done != file.Size())
    throw EMailError(ecNoInput, "an input file changed while the mail was sent");
}

std::uint64_t Base64LinesSize(std::uint64_t bytes)
{
  std::uint64_t chars = (bytes + 2) / 3 * 4;
  return chars + 2 * ((chars + 75) / 76);
}

// Base64 in lines of 76, as MIME bodies carry it, written as it comes.
class TBase64Lines {
public:
  explicit TBase64Lines(TSink* out) : out_(out) {}
  bool Write(const char* data, std::size_t size)
  {
    pending_.append(data, size);
    return size == 0 || pending_.size() < 57 * 64 || Flush(pending_.size() / 57 * 57);
  }
  bool Finish() { return Flush(pending_.size()); }

private:
  bool Flush(std::size_t n)
  {
    std::string b64 = EncodeBase64(std::string_view(pending_).substr(0, n)), lines;
    pending_.erase(0, n);
    for (std::size_t i = 0; i < b64.size(); i += 76)
      lines.append(b64, i, 76).append("\r\n");
    return out_->Write(lines.data(), lines.size());
  }
  TSink* out_;
  std::string pending_;
};

// What a pass over the body found, and the body written in one form.
struct TBodyScan {
  bool Jis = true;        // every character fits ISO-2022-JP
  bool LongLine = false;  // a line of it would pass 998 bytes
  bool Damaged = false;   // bytes that are not Shift_JIS
  std::uint64_t JisBytes = 0, Utf8Bytes = 0;
  bool EndsWithLineEnd = true;
};

// One pass over the body file, in pieces of whole lines (or of whole
// characters, when a line is longer than a block); with `out`, the body is
// written there in `form`.
TBodyScan ScanBody(const TOpenFile& file, TBodyForm form, TSink* out)
{
  TBodyScan scan;
  TBase64Lines b64(out);
  std::size_t lineLength = 0;
  bool ok = true;
  auto piece = [&](const std::string& cp932) {
    std::string utf8 = Cp932ToUtf8(cp932, &scan.Damaged), jis;
    platform::ForEachLine(utf8, [&](std::string_view line, std::string_view end) {
      const bool jisLine = Utf8ToIso2022Jp(std::string(line), jis);
      scan.Jis = scan.Jis && jisLine;
      lineLength = (lineLength + jis.size());
      scan.LongLine = scan.LongLine || lineLength > kMaxLineLength;
      const std::string crlf = end.empty() ? "" : "\r\n";
      if (!end.empty())
        lineLength = 0;
      scan.EndsWithLineEnd = !end.empty();
      scan.JisBytes += jis.size() + crlf.size();
      scan.Utf8Bytes += line.size() + crlf.size();
      if (!out || !ok)
        return;
      if (form == bfJis7bit)
        ok = out->Write(jis.data(), jis.size()) && out->Write(crlf.data(), crlf.size());
      else if (form == bfJisBase64)
        ok = b64.Write(jis.data(), jis.size()) && b64.Write(crlf.data(), crlf.size());
      else
        ok = b64.Write(line.data(), line.size()) && b64.Write(crlf.data(), crlf.size());
    });
    return ok;
  };
  std::string carry;
  ForEachBlock(file, [&](const char* data, std::size_t size) {
    carry.append(data, size);
    std::size_t cut = carry.find_last_of("\r\n");
    if (cut != std::string::npos && carry[cut] == '\r' && cut + 1 == carry.size())
      cut = cut == 0 ? std::string::npos : carry.find_last_of("\r\n", cut - 1);  // its LF may follow
    if (cut != std::string::npos)
      ++cut;
    else if (carry.size() >= kBlock)  // a long line: cut between characters
      for (std::size_t i = 0; i + 2 < carry.size(); i += SjisCharLen(carry, i))
        cut = i + SjisCharLen(carry, i);
    if (cut == std::string::npos || cut == 0)
      return true;
    std::string head = carry.substr(0, cut);
    carry.erase(0, cut);
    return piece(head);
  });
  if (ok && !carry.empty())
    piece(carry);
  if (out && ok) {
    if (form == bfJis7bit && !scan.EndsWithLineEnd)
      ok = out->Write("\r\n", 2);
    else if (form != bfJis7bit)
      ok = b64.Finish();
  }
  if (!ok)
    throw TSinkFailed();
  return scan;
}

std::string ReadFailure(TReadResult r, const std::string& what, const std::string& path)
{
  std::string name = what + " " + Cp932ToUtf8(path);
  switch (r) {
  case rrMissing: return "no such file: " + name;
  case rrNotAFile: return name + " is not a regular file (a folder, a FIFO or a device)";
  default: return "cannot read " + name + ": " + SystemError();
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

std::string RandomText(std::size_t n)
{
  static const char kChars[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  unsigned char raw[64] = {};
  if (!SystemRandom(raw, n)) {
    // Rarely without entropy at boot: time and process make it unique enough.
    unsigned long long seed = static_cast<unsigned long long>(std::time(nullptr)) * 1000003u + ProcessNumber();
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
  long offset = 9 * 3600;
  const std::tm tm = japanTime ? UtcTime(std::time(nullptr) + offset) : LocalTimeNow(offset);
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

// The body in ISO-2022-JP when every line converts and stays within the
// line length limit of 7bit, else in UTF-8 (base64, so no 8bit transport is
// needed). Its part headers, and the body as a piece of the message.
std::string BodyHead(const std::shared_ptr<TOpenFile>& file, TMessagePiece& piece, std::vector<std::string>& notes,
                     std::uint64_t& size)
{
  piece.Kind = TMessagePiece::pkBody;
  piece.File = file;
  TBodyScan scan = ScanBody(*file, bfJis7bit, nullptr);
  size = scan.Jis && !scan.LongLine ? scan.JisBytes + (scan.EndsWithLineEnd ? 0 : 2)
         : scan.Jis                 ? Base64LinesSize(scan.JisBytes)
                                    : Base64LinesSize(scan.Utf8Bytes);
  if (scan.Damaged)
    notes.push_back("warning: the body file holds bytes that are not Shift_JIS; they are sent as U+FFFD");
  if (scan.Jis && !scan.LongLine) {
    notes.push_back("body: ISO-2022-JP, 7bit");
    piece.Body = bfJis7bit;
    return "Content-Type: text/plain; charset=ISO-2022-JP\r\nContent-Transfer-Encoding: 7bit\r\n\r\n";
  }
  if (scan.Jis) {
    notes.push_back("body: ISO-2022-JP, base64 (long lines)");
    piece.Body = bfJisBase64;
    return "Content-Type: text/plain; charset=ISO-2022-JP\r\nContent-Transfer-Encoding: base64\r\n\r\n";
  }
  notes.push_back("body: UTF-8, base64 (holds characters ISO-2022-JP cannot carry)");
  piece.Body = bfUtf8Base64;
  return "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: base64\r\n\r\n";
}

// Whether a file's bytes are ASCII, or else valid UTF-8, read block by block.
struct TCharsetCheck {
  bool Ascii = true, Utf8 = true;
  int need = 0;  // continuation bytes still to come
  void Feed(const char* data, std::size_t size)
  {
    for (std::size_t i = 0; i < size && Utf8; ++i) {
      unsigned char c = static_cast<unsigned char>(data[i]);
      if (c >= 0x80)
        Ascii = false;
      if (need > 0) {
        Utf8 = (c & 0xC0) == 0x80;
        --need;
      } else if (c >= 0x80) {
        need = (c >> 5) == 6 && c >= 0xC2 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        Utf8 = need > 0;
      }
    }
  }
};

// The headers of one attachment: the name both as RFC 2047 name= (many
// Japanese mail readers read only that) and RFC 2231 filename*=, every line
// within 78.
std::string AttachmentHead(const std::string& name, const TOpenFile& file, const std::string& type)
{
  std::string head = "Content-Type: " + type;
  if (head.size() + 1 > 78)
    head = "Content-Type:\r\n " + type;  // the long Office types
  if (type.rfind("text/", 0) == 0) {
    TCharsetCheck check;
    ForEachBlock(file, [&](const char* data, std::size_t size) {
      check.Feed(data, size);
      return check.Utf8;
    });
    if (!check.Ascii)  // files from Windows are mostly Shift_JIS
      head += std::string("; charset=") + (check.Utf8 && check.need == 0 ? "UTF-8" : "Shift_JIS");
  }
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
  return head + "\r\nContent-Transfer-Encoding: base64\r\n" + disposition + "\r\n\r\n";
}

// The file named by a CP932 path (backslashes of a Windows path taken as
// separators), opened; `openedPath` gets the name under which it was found.
std::shared_ptr<TOpenFile> OpenInput(const std::string& cp932Path, const std::string& what, std::string& openedPath)
{
  // The file system sees UTF-8; a name that is already UTF-8 is tried as is.
  std::vector<std::string> candidates;
  for (const std::string& path : {cp932Path, platform::NormalizeSeparators(cp932Path)}) {
    bool damaged = false;
    std::string utf8 = Cp932ToUtf8(path, &damaged);
    if (!damaged)
      candidates.push_back(utf8);
    candidates.push_back(path);
  }
  std::shared_ptr<TOpenFile> file;
  for (const std::string& candidate : candidates) {
    TReadResult r = OpenPath(candidate, file);
    if (r == rrRead) {
      openedPath = candidate;
      return file;
    }
    if (r != rrMissing)  // found, but no file that can be sent
      throw EMailError(ecNoInput, ReadFailure(r, what, cp932Path));
  }
  throw EMailError(ecNoInput, ReadFailure(rrMissing, what, cp932Path));
}

std::string PercentEncoded(const std::string& text)
{
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || std::strchr("-._~", c))
      out += ch;
    else
      out += std::string("%") + kHex[c >> 4] + kHex[c & 15];
  }
  return out;
}

// The headers of the settings for this mail, placeholders filled in.
std::string SettingsHeaders(const THeaderSettings& settings, const std::vector<TMailbox>& to,
                            const std::string& messageId)
{
  std::string out;
  for (const auto& [name, value] : settings.Headers) {
    const std::string where = "the header " + name + " of the settings";
    for (char c : name)
      if (static_cast<unsigned char>(c) <= 32 || static_cast<unsigned char>(c) >= 127 || c == ':')
        throw EMailError(ecConfig, where + ": not a header name");
    if (IsOwnHeader(name))
      throw EMailError(ecConfig, where + ": tarnmail writes it itself");
    for (char c : value)
      if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F)
        throw EMailError(ecConfig, where + " holds a control character (a line break?)");
    std::string filled;
    for (std::size_t i = 0; i < value.size();) {
      std::size_t close = value[i] == '{' ? value.find('}', i) : std::string::npos;
      std::string word = close == std::string::npos ? "" : value.substr(i + 1, close - i - 1);
      if (word.empty() || word.find_first_not_of("abcdefghijklmnopqrstuvwxyz_") != std::string::npos) {
        filled += value[i++];
        continue;
      }
      if (word != "message_id" && to.empty())
        throw EMailError(ecData, where + " names {" + word + "}, but the mail has no To address");
      std::string address = to.empty() ? "" : to.front().Address, lower = address;
      for (char& c : lower)
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
      if (word == "to")
        filled += address;
      else if (word == "to_url")
        filled += PercentEncoded(address);
      else if (word == "message_id")
        filled += messageId;
      else if (word == "token" && settings.TokenSecret.empty())
        throw EMailError(ecConfig, where + " names {token}, but [Token] has no Secret");
      else if (word == "token")
        filled += Base64Url(HmacSha256(settings.TokenSecret, lower));
      else
        throw EMailError(ecConfig, where + ": unknown placeholder {" + word + "}");
      i = close + 1;
    }
    std::string utf8 = Cp932ToUtf8(filled);
    for (char& c : utf8)
      c = c == '\t' ? ' ' : c;
    std::vector<std::string> tokens = TextTokens(name, utf8);
    if (!tokens.empty())
      out += Header(name, tokens);
  }
  return out;
}

} // namespace

TOpenFile::~TOpenFile()
{
  CloseFile(file_);
}

bool IsOwnHeader(const std::string& name)
{
  std::string lower = name;
  for (char& c : lower)
    c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  for (const char* own : {"date", "from", "sender", "reply-to", "to", "cc", "bcc", "subject", "message-id",
                          "mime-version", "return-path"})
    if (lower == own)
      return true;
  return lower.rfind("content-", 0) == 0;
}

bool WriteMessage(const TBuiltMail& mail, TSink& sink)
{
  try {
    for (const TMessagePiece& piece : mail.Pieces) {
      if (piece.Kind == TMessagePiece::pkText) {
        if (!sink.Write(piece.Text.data(), piece.Text.size()))
          return false;
      } else if (piece.Kind == TMessagePiece::pkBody) {
        ScanBody(*piece.File, piece.Body, &sink);
      } else {
        TBase64Lines b64(&sink);
        ForEachBlock(*piece.File, [&](const char* data, std::size_t size) {
          if (!b64.Write(data, size))
            throw TSinkFailed();
          return true;
        });
        if (!b64.Finish())
          return false;
      }
    }
  } catch (const TSinkFailed&) {
    return false;
  }
  return true;
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

TBuiltMail BuildMail(const TMailOptions& o, const THeaderSettings& headerSettings)
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

  TMessagePiece body;
  std::string opened;
  if (o.BodyFromFile)
    body.File = OpenInput(o.BodyFile, "the body file", opened);

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
    std::vector<std::string> words = TextTokens("Subject", subject);
    if (!words.empty())
      head += Header("Subject", words);
    if (!words.empty() && words[0].rfind("=?", 0) == 0)
      mail.Notes.push_back(std::string("subject: ") + (words[0].rfind("=?UTF-8", 0) == 0 ? "UTF-8" : "ISO-2022-JP"));
  }

  // Message-ID in the domain of the From address.
  std::size_t at = from.Address.rfind('@');
  const std::string messageId = "<" + std::to_string(std::time(nullptr)) + "." + std::to_string(ProcessNumber()) + "." +
                                RandomText(12) + "@" + from.Address.substr(at + 1) + ">";
  head += "Message-ID: " + messageId + "\r\n";
  head += SettingsHeaders(headerSettings, to, messageId);
  head += "MIME-Version: 1.0\r\n";

  std::uint64_t bodySize = 0;
  std::string bodyHead = body.File ? BodyHead(body.File, body, mail.Notes, bodySize)
                                   : "Content-Type: text/plain; charset=ISO-2022-JP\r\n"
                                     "Content-Transfer-Encoding: 7bit\r\n\r\n";
  auto text = [&](std::string t) {
    mail.Size += t.size();
    mail.Pieces.push_back({TMessagePiece::pkText, std::move(t), nullptr, bfJis7bit});
  };
  auto addBody = [&] {
    if (!body.File)
      return;
    mail.Size += bodySize;
    mail.Pieces.push_back(body);
  };
  if (o.Attachments.empty()) {
    text(head + bodyHead);
    addBody();
    return mail;
  }
  // The boundary cannot occur in any part: base64 and ISO-2022-JP text hold
  // no "=_" run of this kind.
  const std::string boundary = "=_tarnmail_" + RandomText(24);
  text(head + "Content-Type: multipart/mixed;\r\n boundary=\"" + boundary + "\"\r\n\r\n" +
       "This is a multi-part message in MIME format.\r\n\r\n--" + boundary + "\r\n" + bodyHead);
  addBody();
  for (const std::string& path : o.Attachments) {
    std::shared_ptr<TOpenFile> file = OpenInput(path, "the attachment", opened);
    std::string name = FileNameOf(IsValidUtf8(opened) ? opened : Cp932ToUtf8(opened));
    std::string type = ContentTypeFor(name);
    text("\r\n--" + boundary + "\r\n" + AttachmentHead(name, *file, type));
    mail.Size += Base64LinesSize(file->Size());
    mail.Pieces.push_back({TMessagePiece::pkBase64File, "", file, bfJis7bit});
    mail.Notes.push_back("attachment: " + path + " (" + type + ", " + std::to_string(file->Size()) + " bytes)");
  }
  text("\r\n--" + boundary + "--\r\n");
  return mail;
}
