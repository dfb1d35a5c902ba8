// Japanese text for mail: CP932 input to UTF-8, ISO-2022-JP where it can
// carry the text (UTF-8 otherwise), RFC 2047 encoded words and addresses.
#pragma once

#include <string>
#include <vector>

// CP932 bytes to UTF-8. A byte that is not valid CP932 becomes U+FFFD and
// sets *damaged.
std::string Cp932ToUtf8(const std::string& cp932, bool* damaged = nullptr);

// UTF-8 to ISO-2022-JP, ending in ASCII. The CP932 forms of wave dash,
// minus and the like are sent as their JIS X 0208 forms. False when the
// text holds a character ISO-2022-JP cannot carry.
bool Utf8ToIso2022Jp(const std::string& utf8, std::string& out);

bool IsAscii(const std::string& s);
bool IsValidUtf8(const std::string& s);

// The words of a text cut at spaces, empty ones dropped.
std::vector<std::string> SplitWords(const std::string& text);

// Throws EMailError(ecData) when the text holds a control character other
// than a tab; `what` names the text in the message.
void RefuseControls(const std::string& text, const std::string& what);

// Encoded words for a UTF-8 text, each at most kMaxWordLength characters
// (RFC 2047 allows 75),
// in ISO-2022-JP when possible and UTF-8 otherwise. Spaces of the text are
// kept inside the words.
constexpr std::size_t kMaxWordLength = 64;  // leaves room for "Reply-To: " in 76
std::vector<std::string> EncodeWords(const std::string& utf8);

// The longest header line RFC 5322 allows, CR LF not counted.
constexpr std::size_t kMaxLineLength = 998;

// Tokens for an unstructured header (a subject, a header of the settings):
// an ASCII text as written, blanks and their runs kept; a text that is not
// ASCII, or that holds a word too long for one line, in encoded words.
std::vector<std::string> TextTokens(const std::string& headerName, const std::string& utf8);

// The UTF-8 text of a name made of B encoded words (ISO-2022-JP with the
// Windows rows, UTF-8, or any charset iconv reads). False when a word cannot
// be read; in ISO-2022-JP a code that is no character becomes U+FFFD.
bool DecodeEncodedWords(const std::string& name, std::string& utf8);

// Raw header value (starting with a space, ending in "\n") from tokens
// joined by spaces, folded before a line passes 76 characters.
std::string FoldTokens(const std::string& headerName, const std::vector<std::string>& tokens);

// A mailbox taken from a CP932 text such as "a@b", "Name <a@b>" or an
// address with an encoded-word display name.
struct TMailbox {
  std::vector<std::string> NameTokens;  // ready for the header, may be empty
  std::string Address;                  // the bare address (local@domain), ASCII
  std::string DisplayUtf8;              // for the transcript
};

// Throws EMailError(ecUsage) when no valid address is found.
TMailbox ParseMailbox(const std::string& cp932);

// The mailbox as header tokens: name tokens then "<address>", or the bare
// address.
std::vector<std::string> MailboxTokens(const TMailbox& box);
