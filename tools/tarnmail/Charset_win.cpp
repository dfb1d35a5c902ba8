#include "Charset.h"

#include "MailText.h"

#include "platform/CodePage.h"

#include <windows.h>

namespace {

// The charsets of encoded words that Windows converts here, by code page.
UINT CodePageOf(const std::string& charset)
{
  std::string name = charset;
  for (char& c : name)
    c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
  static const struct { const char* name; UINT page; } kPages[] = {
    {"SHIFT_JIS", 932}, {"SHIFT-JIS", 932}, {"CP932", 932}, {"WINDOWS-31J", 932}, {"EUC-JP", 20932},
    {"US-ASCII", 20127}, {"ISO-8859-1", 28591}, {"WINDOWS-1252", 1252}, {"ISO-8859-15", 28605},
  };
  for (const auto& p : kPages)
    if (name == p.name)
      return p.page;
  return 0;
}

} // namespace

bool CharsetToUtf8(const std::string& charset, const std::string& bytes, std::string& utf8)
{
  utf8.clear();
  const UINT page = CodePageOf(charset);
  if (page == 0)
    return false;
  if (bytes.empty())
    return true;
  const int size = static_cast<int>(bytes.size());
  const int wide = MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
  if (wide <= 0)
    return false;
  std::wstring w(static_cast<std::size_t>(wide), L'\0');
  MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, bytes.data(), size, w.data(), wide);
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
  utf8.resize(static_cast<std::size_t>(n));
  WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, utf8.data(), n, nullptr, nullptr);
  return true;
}

// Through CP932: a Shift_JIS pair of the JIS X 0208 rows becomes its JIS
// pair. NEC's row 13 (lead byte 0x87), the IBM rows (0xED on) and half-width
// katakana are not ISO-2022-JP: such a text goes out as UTF-8.
bool Utf8ToIso2022Jp(const std::string& utf8, std::string& out)
{
  out.clear();
  // ESC, SO and SI in the text would read as shifts.
  if (utf8.find_first_of("\x1B\x0E\x0F") != std::string::npos)
    return false;
  const std::string text = ToCp932CodePoints(utf8);
  if (!platform::HasCp932Form(text))
    return false;
  const std::string sjis = platform::Utf8ToCp932(text);
  bool jis = false;
  for (std::size_t i = 0; i < sjis.size(); ++i) {
    unsigned c = static_cast<unsigned char>(sjis[i]);
    if (c < 0x80) {
      if (jis)
        out += "\x1B(B";
      jis = false;
      out += static_cast<char>(c);
      continue;
    }
    const bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xEC);
    if (!lead || c == 0x87 || i + 1 >= sjis.size())
      return false;
    const unsigned d = static_cast<unsigned char>(sjis[++i]);
    if (d < 0x40 || d == 0x7F || d > 0xFC)
      return false;
    if (c >= 0xE0)
      c -= 0x40;
    unsigned j1 = (c - 0x81) * 2 + 0x21, j2;
    if (d >= 0x9F) {
      ++j1;
      j2 = d - 0x9F + 0x21;
    } else {
      j2 = d - 0x40 + 0x21 - (d > 0x7F ? 1 : 0);
    }
    if (!jis)
      out += "\x1B$B";
    jis = true;
    out += static_cast<char>(j1);
    out += static_cast<char>(j2);
  }
  if (jis)
    out += "\x1B(B";
  return true;
}
