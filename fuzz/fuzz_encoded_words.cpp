// Encoded words. As a name: any input decodes to valid UTF-8 or is refused,
// and that text encoded again fits (75 characters a word) and reads back to
// the same words. As Shift_JIS: the text encoded by tarnmail, or by
// Tarnwick's /z and then taken by tarnmail as a sender, reads back exactly.
#include "FuzzCheck.h"
#include "MailError.h"
#include "MailText.h"
#include "jtext/HenkanJ.h"
#include "run/MailCommand.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

static std::string Decoded(const std::vector<std::string>& words)
{
  std::string joined, text;
  for (const std::string& w : words) {
    FUZZ_CHECK(w.size() <= 75);
    joined += (joined.empty() ? "" : " ") + w;
  }
  FUZZ_CHECK(DecodeEncodedWords(joined, text));
  return text;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
  const std::string in(reinterpret_cast<const char*>(data), size);
  std::string text;
  if (DecodeEncodedWords(in, text) && IsAscii(in)) {
    FUZZ_CHECK(IsValidUtf8(text));
    const std::vector<std::string> words = EncodeWords(text);
    FUZZ_CHECK(EncodeWords(Decoded(words)) == words);
  }

  bool damaged = false;
  const std::string utf8 = Cp932ToUtf8(in, &damaged);
  if (!damaged)
    FUZZ_CHECK(Decoded(EncodeWords(utf8)) == utf8);

  // /z: "name <address>" in quotes; tarnmail gets it without them.
  for (char c : in)
    if (static_cast<unsigned char>(c) < 0x20 || c == '"' || c == 0x7F)
      return 0;
  const std::string sender = "\"" + in + " <s@example.jp>\"", encoded = EncodeSender(sender, true);
  if (encoded == sender)
    return 0;
  const TMailbox box = ParseMailbox(encoded.substr(1, encoded.size() - 2));
  std::string expected = Cp932ToUtf8(NormalizeKana(in));
  expected.erase(0, std::min(expected.find_first_not_of(' '), expected.size()));
  expected.erase(expected.find_last_not_of(' ') + 1);
  FUZZ_CHECK(box.Address == "s@example.jp" && box.DisplayUtf8 == expected);
  FUZZ_CHECK(Decoded(box.NameTokens) == expected);
  return 0;
}
