#include "MailBuilder.h"

#include "MailError.h"
#include "MailText.h"
#include "jtext/SjisBytes.h"

#include <gmime/gmime.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

// glib objects released at scope end.
template <typename T>
struct TRef {
  T* p;
  explicit TRef(T* ptr) : p(ptr) {}
  ~TRef() { if (p) g_object_unref(p); }
  TRef(const TRef&) = delete;
  TRef& operator=(const TRef&) = delete;
};

bool ReadPath(const std::string& path, std::string& data)
{
  std::ifstream in(path, std::ios::binary);
  if (!in)
    return false;
  std::ostringstream ss;
  ss << in.rdbuf();
  if (in.bad())
    return false;
  data = ss.str();
  return true;
}

std::string ToCrLf(const std::string& text)
{
  std::string out;
  out.reserve(text.size() + text.size() / 32);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n')
        ++i;
    } else if (text[i] == '\n') {
      out += "\r\n";
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string WindowsSeparatorsToSlashes(const std::string& cp932)
{
  std::string s = cp932;
  // A 0x5C that is the second byte of a character is not a separator.
  for (std::size_t i = 0; i < s.size(); i += SjisCharLen(cp932, i)) {
    if (s[i] == '\\')
      s[i] = '/';
  }
  return s;
}

std::string FileNameOf(const std::string& path)
{
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void SetRawHeader(GMimeObject* object, const char* name, const std::vector<std::string>& tokens)
{
  std::string value;
  for (const std::string& t : tokens)
    value += (value.empty() ? "" : " ") + t;
  GMimeHeaderList* headers = g_mime_object_get_header_list(object);
  g_mime_header_list_set(headers, name, value.c_str(), nullptr);
  GMimeHeader* header = g_mime_header_list_get_header(headers, name);
  g_mime_header_set_raw_value(header, FoldTokens(name, tokens).c_str());
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

GMimePart* MakePart(const char* type, const char* subtype, const std::string& content,
                    GMimeContentEncoding encoding)
{
  GMimePart* part = g_mime_part_new_with_type(type, subtype);
  TRef<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(content.data(), content.size()));
  TRef<GMimeDataWrapper> wrapper(g_mime_data_wrapper_new_with_stream(stream.p, GMIME_CONTENT_ENCODING_DEFAULT));
  g_mime_part_set_content(part, wrapper.p);
  g_mime_part_set_content_encoding(part, encoding);
  return part;
}

// The body in ISO-2022-JP when every line converts and stays within the
// line length limit of 7bit, else in UTF-8 (base64, so no 8bit transport
// is needed).
GMimePart* MakeBodyPart(const std::string& bodyUtf8, std::vector<std::string>& notes)
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
  GMimePart* part;
  if (jis) {
    part = MakePart("text", "plain", encoded, longLine ? GMIME_CONTENT_ENCODING_BASE64 : GMIME_CONTENT_ENCODING_7BIT);
    g_mime_object_set_content_type_parameter(GMIME_OBJECT(part), "charset", "ISO-2022-JP");
    notes.push_back(std::string("body: ISO-2022-JP, ") + (longLine ? "base64 (long lines)" : "7bit"));
  } else {
    part = MakePart("text", "plain", lf, GMIME_CONTENT_ENCODING_BASE64);
    g_mime_object_set_content_type_parameter(GMIME_OBJECT(part), "charset", "UTF-8");
    notes.push_back("body: UTF-8, base64 (holds characters ISO-2022-JP cannot carry)");
  }
  return part;
}

GDateTime* MailDate(bool japanTime)
{
  if (!japanTime)
    return g_date_time_new_now_local();
  GTimeZone* jst = g_time_zone_new_offset(9 * 3600);
  GDateTime* now = g_date_time_new_now(jst);
  g_time_zone_unref(jst);
  return now;
}

} // namespace

bool ReadWholeFile(const std::string& cp932Path, std::string& data, std::string* openedPath)
{
  // The file system sees UTF-8; a name that is already UTF-8 is tried as is.
  // A path written on Windows may still carry backslashes.
  std::vector<std::string> candidates;
  for (const std::string& path : {cp932Path, WindowsSeparatorsToSlashes(cp932Path)}) {
    bool damaged = false;
    std::string utf8 = Cp932ToUtf8(path, &damaged);
    if (!damaged)
      candidates.push_back(utf8);
    candidates.push_back(path);
  }
  for (const std::string& candidate : candidates) {
    if (ReadPath(candidate, data)) {
      if (openedPath)
        *openedPath = candidate;
      return true;
    }
  }
  return false;
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
    throw EMailError(ecUsage, "no sender: -f is needed");
  TMailbox from = ParseMailbox(o.From);
  mail.EnvelopeFrom = o.EnvelopeSender.empty() ? from.Address : ParseMailbox(o.EnvelopeSender).Address;

  std::vector<TMailbox> to, cc;
  for (const TRecipient& r : SplitAddressList(o.AddressList)) {
    TMailbox box = ParseMailbox(r.Text);
    mail.EnvelopeTo.push_back(box.Address);
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
    if (!ReadWholeFile(o.BodyFile, raw))
      throw EMailError(ecUnreadable, "cannot read the body file " + o.BodyFile);
    bool damaged = false;
    bodyUtf8 = Cp932ToUtf8(raw, &damaged);
    if (damaged)
      mail.Notes.push_back("warning: the body file holds bytes that are not Shift_JIS; they are sent as U+FFFD");
  }

  TRef<GMimeMessage> message(g_mime_message_new(TRUE));
  GMimeObject* top = GMIME_OBJECT(message.p);

  GDateTime* date = MailDate(o.JapanTime);
  g_mime_message_set_date(message.p, date);
  g_date_time_unref(date);

  SetRawHeader(top, "From", MailboxTokens(from));
  if (!TrimText(o.ReplyTo).empty())
    SetRawHeader(top, "Reply-To", MailboxTokens(ParseMailbox(o.ReplyTo)));
  if (!to.empty())
    SetRawHeader(top, "To", AddressListTokens(to));
  else if (cc.empty())
    SetRawHeader(top, "To", {"undisclosed-recipients:;"});
  if (!cc.empty())
    SetRawHeader(top, "Cc", AddressListTokens(cc));

  if (o.HasSubject && !o.Subject.empty()) {
    bool damaged = false;
    std::string subject = Cp932ToUtf8(o.Subject, &damaged);
    if (damaged)
      mail.Notes.push_back("warning: the subject holds bytes that are not Shift_JIS");
    std::string probe;
    if (IsAscii(subject) && subject.find("=?") == std::string::npos) {
      g_mime_message_set_subject(message.p, subject.c_str(), nullptr);
    } else {
      std::vector<std::string> words = EncodeWords(subject);
      SetRawHeader(top, "Subject", words);
      mail.Notes.push_back(std::string("subject: ") + (words[0].rfind("=?UTF-8", 0) == 0 ? "UTF-8" : "ISO-2022-JP"));
    }
  }

  std::size_t at = mail.EnvelopeFrom.rfind('@');
  gchar* id = g_mime_utils_generate_message_id(mail.EnvelopeFrom.substr(at + 1).c_str());
  g_mime_message_set_message_id(message.p, id);
  g_free(id);

  GMimePart* body = MakeBodyPart(bodyUtf8, mail.Notes);
  if (o.Attachments.empty()) {
    g_mime_message_set_mime_part(message.p, GMIME_OBJECT(body));
    g_object_unref(body);
  } else {
    TRef<GMimeMultipart> mixed(g_mime_multipart_new_with_subtype("mixed"));
    g_mime_multipart_add(mixed.p, GMIME_OBJECT(body));
    g_object_unref(body);
    for (const std::string& path : o.Attachments) {
      std::string data;
      std::string opened;
      if (!ReadWholeFile(path, data, &opened))
        throw EMailError(ecUnreadable, "cannot read the attachment " + path);
      std::string name = FileNameOf(g_utf8_validate(opened.data(), opened.size(), nullptr) ? opened : Cp932ToUtf8(opened));
      std::string type = ContentTypeFor(name);
      std::size_t slash = type.find('/');
      GMimePart* part = MakePart(type.substr(0, slash).c_str(), type.substr(slash + 1).c_str(), data,
                                 GMIME_CONTENT_ENCODING_BASE64);
      g_mime_part_set_filename(part, name.c_str());
      if (type.rfind("text/", 0) == 0 && !IsAscii(data))  // files from Windows are mostly Shift_JIS
        g_mime_object_set_content_type_parameter(GMIME_OBJECT(part), "charset",
                                                 g_utf8_validate(data.data(), data.size(), nullptr) ? "UTF-8" : "Shift_JIS");
      g_mime_multipart_add(mixed.p, GMIME_OBJECT(part));
      g_object_unref(part);
      mail.Notes.push_back("attachment: " + path + " (" + type + ", " + std::to_string(data.size()) + " bytes)");
    }
    g_mime_message_set_mime_part(message.p, GMIME_OBJECT(mixed.p));
  }

  GMimeFormatOptions* format = g_mime_format_options_new();
  g_mime_format_options_set_newline_format(format, GMIME_NEWLINE_FORMAT_DOS);
  g_mime_format_options_set_param_encoding_method(format, GMIME_PARAM_ENCODING_METHOD_RFC2231);
  TRef<GMimeStream> out(g_mime_stream_mem_new());
  g_mime_object_write_to_stream(top, format, out.p);
  g_mime_format_options_free(format);
  GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out.p));
  mail.Message.assign(reinterpret_cast<const char*>(bytes->data), bytes->len);
  return mail;
}
