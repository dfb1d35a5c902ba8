#include "MailText.h"

#include "Charset.h"
#include "MailError.h"

#include "jtext/MailJstr.h"
#include "jtext/SjisBytes.h"
#include "platform/CodePage.h"


namespace {

std::size_t Utf8Length(unsigned char lead)
{
  if (lead >= 0xF0) return 4;
  if (lead >= 0xE0) return 3;
  if (lead >= 0xC0) return 2;
  return 1;
}

// An encoded word already in a text ("=?charset?B?...?=", Tarnwick's /z).
bool HoldsEncodedWord(const std::string& s)
{
  std::size_t open = s.find("=?");
  return open != std::string::npos && s.find("?=", open + 2) != std::string::npos;
}

// ISO-2022-JP bytes back to CP932: JIS X 0208 pairs (rows 0x21-0x7E, so the
// NEC and IBM rows of Windows too) become their Shift_JIS pairs, ESC ( I
// katakana its half-width bytes; a byte outside the escapes' sets is kept as
// it is (an 8-bit Shift_JIS byte that an encoder copied).
std::string Iso2022JpToCp932(const std::string& jis)
{
  enum { mAscii, mDouble, mKana } mode = mAscii;
  std::string out;
  for (std::size_t i = 0; i < jis.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(jis[i]);
    if (c == 0x1B && i + 2 < jis.size()) {
      std::string esc = jis.substr(i + 1, 2);
      if (esc == "$B" || esc == "$@" || esc == "(B" || esc == "(J" || esc == "(I") {
        mode = esc[0] == '$' ? mDouble : esc == "(I" ? mKana : mAscii;
        i += 2;
        continue;
      }
    }
    unsigned char d = i + 1 < jis.size() ? static_cast<unsigned char>(jis[i + 1]) : 0;
    if (mode == mDouble && c >= 0x21 && c <= 0x7E && d >= 0x21 && d <= 0x7E) {
      out += static_cast<char>(((c + 1) >> 1) + (c <= 0x5E ? 0x70 : 0xB0));
      out += static_cast<char>(d + ((c & 1) ? (d < 0x60 ? 0x1F : 0x20) : 0x7E));
      ++i;
    } else if (mode == mKana && c >= 0x21 && c <= 0x5F) {
      out += static_cast<char>(c + 0x80);
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// The text of one encoded word's bytes in its charset; false when it cannot
// be read.
bool DecodeCharset(const std::string& charset, const std::string& bytes, std::string& utf8)
{
  std::string upper = charset;
  for (char& c : upper)
    c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
  if (upper == "ISO-2022-JP") {
    // A code that is no character (Tarnwick's /z copies a free cell of a
    // JIS row as it is) becomes U+FFFD, as in any other text of the mail:
    // refused, a long name would fail the mail for one character.
    utf8 = Cp932ToUtf8(Iso2022JpToCp932(bytes));
    return true;
  }
  if (upper == "UTF-8") {
    utf8 = bytes;
    return IsValidUtf8(bytes);
  }
  // A name the converter would take another way: empty (the locale's
  // charset), cut at a NUL, with "//" options, or controls it may drop.
  if (charset.empty())
    return false;
  for (char c : charset)
    if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7F || c == '/')
      return false;
  return CharsetToUtf8(charset, bytes, utf8);
}

} // namespace

bool DecodeEncodedWords(const std::string& name, std::string& utf8)
{
  utf8.clear();
  std::size_t pos = 0;
  while (pos < name.size()) {
    std::size_t open = name.find("=?", pos);
    if (open == std::string::npos) {
      utf8 += name.substr(pos);
      break;
    }
    std::string between = name.substr(pos, open - pos);
    if (pos == 0 || between.find_first_not_of(" \t") != std::string::npos)
      utf8 += between;  // white space between two words is not part of the text
    std::size_t q1 = name.find('?', open + 2);
    if (q1 == std::string::npos || q1 + 3 > name.size() || name[q1 + 2] != '?')
      return false;
    if (name[q1 + 1] != 'B' && name[q1 + 1] != 'b')
      return false;
    std::size_t end = name.find("?=", q1 + 3);
    if (end == std::string::npos)
      return false;
    std::string charset = name.substr(open + 2, q1 - open - 2);
    std::string b64 = name.substr(q1 + 3, end - q1 - 3), bytes, text;
    if (!DecodeBase64Text(b64, bytes) || !DecodeCharset(charset, bytes, text))
      return false;
    utf8 += text;
    pos = end + 2;
  }
  return true;
}

namespace {

bool NeedsQuoting(const std::string& name)
{
  for (char c : name)
    if (std::string("()<>[]:;@\\,.\"").find(c) != std::string::npos)
      return true;
  return false;
}

bool ValidAddress(const std::string& a)
{
  std::size_t at = a.rfind('@');
  if (at == std::string::npos || at == 0 || at + 1 == a.size())
    return false;
  for (char c : a) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u <= 32 || u >= 127 || c == '<' || c == '>' || c == ',' || c == '"' || c == '(' || c == ')')
      return false;
  }
  return true;
}

} // namespace

std::string Cp932ToUtf8(const std::string& cp932, bool* damaged)
{
  // The platform keeps a byte that is not CP932 as U+DC80..U+DCFF (UTF-8
  // ED B2 80 .. ED B3 BF); in a mail it can only be U+FFFD.
  std::string in = platform::Cp932ToUtf8(cp932);
  std::string out;
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (static_cast<unsigned char>(in[i]) == 0xED && i + 2 < in.size() &&
        (static_cast<unsigned char>(in[i + 1]) == 0xB2 || static_cast<unsigned char>(in[i + 1]) == 0xB3)) {
      out += "\xEF\xBF\xBD";
      i += 2;
      if (damaged)
        *damaged = true;
    } else {
      out += in[i];
    }
  }
  return out;
}

void RefuseControls(const std::string& text, const std::string& what)
{
  for (char c : text) {
    unsigned char u = static_cast<unsigned char>(c);
    // A line break in a header text would end the header or add one (a Bcc
    // among them); CP932 second bytes are never below 0x40.
    if ((u < 0x20 && c != '\t') || u == 0x7F)
      throw EMailError(ecData, what + " holds a control character (a line break?): refused");
  }
}


std::vector<std::string> SplitWords(const std::string& text)
{
  std::vector<std::string> words;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t sp = text.find(' ', start);
    if (sp == std::string::npos)
      sp = text.size();
    if (sp > start)
      words.push_back(text.substr(start, sp - start));
    start = sp + 1;
  }
  return words;
}

bool IsValidUtf8(const std::string& s)
{
  for (std::size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (!n || (n > 1 && c < 0xC2) || i + n > s.size())
      return false;
    for (std::size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
        return false;
    i += n;
  }
  return true;
}

bool IsAscii(const std::string& s)
{
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80)
      return false;
  return true;
}

std::vector<std::string> EncodeWords(const std::string& utf8)
{
  std::string probe;
  const bool jis = Utf8ToIso2022Jp(utf8, probe);
  const std::string prefix = jis ? "=?ISO-2022-JP?B?" : "=?UTF-8?B?";
  const std::size_t maxBase64 = (kMaxWordLength - prefix.size() - 2) / 4 * 4;

  std::vector<std::string> words;
  std::string chunk, encoded;
  auto flush = [&] {
    if (!chunk.empty())
      words.push_back(prefix + EncodeBase64(encoded) + "?=");
    chunk.clear();
    encoded.clear();
  };
  for (std::size_t i = 0; i < utf8.size();) {
    std::size_t n = Utf8Length(static_cast<unsigned char>(utf8[i]));
    std::string ch = utf8.substr(i, n);
    i += n;
    std::string candidate = chunk + ch, bytes;
    if (jis)
      Utf8ToIso2022Jp(candidate, bytes);
    else
      bytes = candidate;
    if (!chunk.empty() && (bytes.size() + 2) / 3 * 4 > maxBase64) {
      flush();
      candidate = ch;
      if (jis)
        Utf8ToIso2022Jp(candidate, bytes);
      else
        bytes = candidate;
    }
    chunk = candidate;
    encoded = bytes;
  }
  flush();
  return words;
}

std::vector<std::string> TextTokens(const std::string& headerName, const std::string& utf8)
{
  if (IsAscii(utf8) && utf8.find("=?") == std::string::npos) {
    // Cut at every blank; a run of blanks stays with the word after it, so
    // that joining the tokens with one blank gives the text back.
    std::vector<std::string> tokens;
    std::string pending;
    std::size_t start = 0;
    bool fits = true;
    while (start <= utf8.size()) {
      std::size_t sp = std::min(utf8.find(' ', start), utf8.size());
      std::string part = utf8.substr(start, sp - start);
      start = sp + 1;
      if (part.empty() && start <= utf8.size()) {
        pending += ' ';
        continue;
      }
      if (!part.empty())
        tokens.push_back(pending + part);
      else if (!tokens.empty())
        tokens.back() += ' ' + pending;  // trailing blanks: never a line of blanks alone
      pending.clear();
      if (!tokens.empty() && headerName.size() + 2 + tokens.back().size() > kMaxLineLength)
        fits = false;
    }
    if (fits)
      return tokens;
  }
  // A word longer than a header line may be is encoded, and so folded.
  return EncodeWords(utf8);
}

std::string FoldTokens(const std::string& headerName, const std::vector<std::string>& tokens)
{
  std::string raw;
  std::size_t lineLength = headerName.size() + 1;  // "Name:"
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    if (i > 0 && lineLength + 1 + tokens[i].size() > 76) {
      raw += "\n";
      lineLength = 0;
    }
    raw += " " + tokens[i];
    lineLength += 1 + tokens[i].size();
  }
  return raw + "\n";
}

TMailbox ParseMailbox(const std::string& cp932)
{
  std::string text = cp932;
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= 32)
    text.pop_back();
  std::size_t b = 0;
  while (b < text.size() && static_cast<unsigned char>(text[b]) <= 32)
    ++b;
  text.erase(0, b);
  RefuseControls(text, "the address entry \"" + Cp932ToUtf8(text) + "\"");

  TMailbox box;
  std::string name;
  std::size_t open = FindLastChar(text, '<');
  if (!text.empty() && text.back() == '>' && open != std::string::npos) {
    box.Address = text.substr(open + 1, text.size() - open - 2);
    name = text.substr(0, open);
  } else {
    box.Address = text;
  }
  while (!box.Address.empty() && box.Address.front() == ' ')
    box.Address.erase(0, 1);
  while (!box.Address.empty() && box.Address.back() == ' ')
    box.Address.pop_back();
  if (!ValidAddress(box.Address))
    throw EMailError(ecData, "not a mail address: " + Cp932ToUtf8(cp932));

  // Quotes around the name are the sender's, not part of it.
  while (!name.empty() && static_cast<unsigned char>(name.back()) <= 32)
    name.pop_back();
  while (!name.empty() && static_cast<unsigned char>(name.front()) <= 32)
    name.erase(0, 1);
  if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
    name = name.substr(1, name.size() - 2);

  for (char& c : name)
    if (c == '\t')
      c = ' ';
  box.DisplayUtf8 = Cp932ToUtf8(name);
  std::string decoded;
  if (name.empty()) {
  } else if (IsAscii(name) && HoldsEncodedWord(name)) {
    // Tarnwick's /z gives one word however long, in ISO-2022-JP with the
    // Windows rows or in UTF-8: read back and encoded again by the rules of
    // every other name, so that each word fits RFC 2047 and any reader can
    // decode it. A word that cannot be read is kept when it fits.
    if (DecodeEncodedWords(name, decoded)) {
      // /z keeps the blank before "<" inside the word: not part of the name.
      decoded.erase(0, std::min(decoded.find_first_not_of(' '), decoded.size()));
      decoded.erase(decoded.find_last_not_of(' ') + 1);
      box.DisplayUtf8 = decoded;
      box.NameTokens = EncodeWords(decoded);
    } else {
      box.NameTokens = SplitWords(name);
      for (const std::string& w : box.NameTokens)
        if (w.size() > 75)
          throw EMailError(ecData, "an encoded word longer than 75 characters that cannot be read: " + name);
    }
  } else if (IsAscii(name)) {
    if (NeedsQuoting(name)) {
      std::string q = "\"";
      for (char c : name) {
        if (c == '"' || c == '\\')
          q += '\\';
        q += c;
      }
      box.NameTokens.push_back(q + "\"");
    } else {
      box.NameTokens = SplitWords(name);
    }
  } else {
    box.NameTokens = EncodeWords(box.DisplayUtf8);
  }
  return box;
}

std::vector<std::string> MailboxTokens(const TMailbox& box)
{
  if (box.NameTokens.empty())
    return {box.Address};
  std::vector<std::string> t = box.NameTokens;
  t.push_back("<" + box.Address + ">");
  return t;
}
