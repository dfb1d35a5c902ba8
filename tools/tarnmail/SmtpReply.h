// The server's replies as SMTP writes them ("250-first line", ...,
// "250 last line") and what an EHLO reply offers. No connection here: the
// lines come from the caller, which cuts them at CR LF.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One reply of the server: its code (0 when none came or it made no
// sense), its text lines joined, and its lines one by one, without the code.
struct TReply {
  int Code = 0;
  std::string Text;
  std::vector<std::string> Lines;
  std::string Line() const { return std::to_string(Code) + " " + Text; }
};

// Adds one line (without its CR LF) to the reply it continues. False, and
// the reply unchanged, when the line is no reply line ("ddd", "ddd text" or
// "ddd-text" with a code from 200 to 599) or carries another code than the
// lines before it. `done` tells whether the line ends the reply.
bool AddReplyLine(TReply& reply, const std::string& line, bool& done);

// What the server's EHLO offers; the keywords in any case.
struct TOffer {
  bool StartTls = false, Pipelining = false, Size = false;
  std::uint64_t SizeLimit = 0;  // 0: none announced
  std::vector<std::string> Auth;  // mechanisms, upper case
};

TOffer ReadOffer(const TReply& ehlo);
