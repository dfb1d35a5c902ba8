#include "Charset.h"

namespace {

struct TCodePointPair {
  const char* cp932;
  const char* jis;
};

const TCodePointPair kPairs[] = {
  {"\xEF\xBD\x9E", "\xE3\x80\x9C"},  // FULLWIDTH TILDE -> WAVE DASH
  {"\xE2\x88\xA5", "\xE2\x80\x96"},  // PARALLEL TO -> DOUBLE VERTICAL LINE
  {"\xEF\xBC\x8D", "\xE2\x88\x92"},  // FULLWIDTH HYPHEN-MINUS -> MINUS SIGN
  {"\xEF\xBF\xA0", "\xC2\xA2"},      // FULLWIDTH CENT SIGN
  {"\xEF\xBF\xA1", "\xC2\xA3"},      // FULLWIDTH POUND SIGN
  {"\xEF\xBF\xA2", "\xC2\xAC"},      // FULLWIDTH NOT SIGN
};

std::string ReplaceAll(std::string s, bool toJis)
{
  for (const TCodePointPair& m : kPairs) {
    const std::string from = toJis ? m.cp932 : m.jis, to = toJis ? m.jis : m.cp932;
    for (std::size_t p = s.find(from); p != std::string::npos; p = s.find(from, p + to.size()))
      s.replace(p, from.size(), to);
  }
  return s;
}

} // namespace

std::string ToJisCodePoints(const std::string& utf8) { return ReplaceAll(utf8, true); }
std::string ToCp932CodePoints(const std::string& utf8) { return ReplaceAll(utf8, false); }
