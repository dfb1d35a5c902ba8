// The command line of tarnmail, as Tarnwick passes it (already split into
// arguments; every text is CP932 bytes).
#pragma once

#include <string>
#include <vector>

struct TMailOptions {
  bool Transcript = false;         // -d
  std::string Host;                // -h, may end in :PORT
  std::string From;                // -f
  std::string ReplyTo;             // -r
  std::string EnvelopeSender;      // -n
  std::string Subject;             // -s
  bool HasSubject = false;
  std::vector<std::string> Attachments;  // -a, split at commas
  bool BodyFromFile = false;       // -m
  std::string BodyFile;            // -F
  std::string AddressList;         // positional arguments, joined
  bool JapanTime = false;          // -t
  std::string ConfigFile;          // -cFILE or --config=FILE: the settings file
  bool Help = false;               // --help
  bool Version = false;            // --version
};

// Parses argv[1..]. Throws EMailError(ecUsage) on an unknown option or a
// missing value.
TMailOptions ParseMailOptions(const std::vector<std::string>& args);

// One recipient of the address list.
enum TRecipientKind { rkTo, rkCc, rkBcc };
struct TRecipient {
  TRecipientKind Kind;
  std::string Text;  // without its prefix, trimmed
};

// Splits the address list at commas; "CC:" and "BCC:" prefixes (any case)
// give the kind, empty entries are dropped.
std::vector<TRecipient> SplitAddressList(const std::string& list);

// Leading and trailing bytes 0 to 32 removed (the program's "trimmed").
std::string TrimText(const std::string& s);
