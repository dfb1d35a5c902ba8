// The server's replies. The input is cut at CR LF into lines. Fed as they
// are, the lines make a reply only if each has the code of the first and
// writing the reply back gives the same lines; otherwise they are refused.
// Then the same texts behind one code of the input's choosing must make
// that reply, and the EHLO keywords among them must be read.
#include "FuzzCheck.h"
#include "SmtpReply.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
  const std::string in(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> lines;
  for (std::size_t p = 0; p <= in.size();) {
    const std::size_t eol = std::min(in.find("\r\n", p), in.size());
    lines.push_back(in.substr(p, eol - p));
    p = eol + 2;
  }
  TReply reply;
  bool done = false;
  std::size_t n = 0;
  while (n < lines.size() && !done) {
    const TReply before = reply;
    if (!AddReplyLine(reply, lines[n], done)) {
      FUZZ_CHECK(reply.Lines == before.Lines && reply.Code == before.Code);
      break;
    }
    ++n;
    const std::string back = std::to_string(reply.Code) + (done ? " " : "-") + reply.Lines.back();
    FUZZ_CHECK(reply.Code >= 200 && reply.Code <= 599 && reply.Lines.size() == n);
    FUZZ_CHECK(lines[n - 1] == back || (done && lines[n - 1] + " " == back));
  }

  // Composed: "ddd-text" lines, then "ddd text".
  const int code = 200 + static_cast<int>(size % 400);
  TReply composed;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const bool last = i + 1 == lines.size();
    FUZZ_CHECK(AddReplyLine(composed, std::to_string(code) + (last ? " " : "-") + lines[i], done) && done == last);
  }
  FUZZ_CHECK(composed.Code == code && composed.Lines == lines);
  // The keywords, in any case; the last SIZE counts.
  bool pipelining = false, sizeSeen = false;
  std::string limit;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    std::string upper = lines[i];
    for (char& c : upper)
      c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
    pipelining = pipelining || upper == "PIPELINING";
    if (upper.rfind("SIZE", 0) == 0 && (upper.size() == 4 || upper[4] == ' ' || upper[4] == '='))
      sizeSeen = true, limit = upper.substr(std::min<std::size_t>(5, upper.size()));
  }
  const TOffer offer = ReadOffer(composed);
  FUZZ_CHECK(offer.Pipelining >= pipelining && offer.Size == sizeSeen);
  if (limit.size() < 19 && limit.find_first_not_of("0123456789") == std::string::npos)
    FUZZ_CHECK(offer.SizeLimit == (limit.empty() ? 0 : std::stoull(limit)));
  return 0;
}
