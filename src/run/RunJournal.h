// The run journal: the file beside the result file that is the truth about a
// run. A run notes itself before it does anything else, each mail before its
// mailer starts and again once its outcome is known, and the run's end; a run
// that died is continued (/c) from the journal alone, without sending any
// mail twice.
//
// A record on disk: 0x1E, "<kind> <length> <checksum>\n", the payload and
// "\n". The payload is a sequence of fields "<length>:<bytes>", escaped so
// that it never holds 0x1E (0x1D becomes 0x1D 0x02, 0x1E becomes 0x1D 0x01);
// the length counts the escaped payload and the checksum is eight hex digits
// of FNV-1a (32 bits) over the kind and the escaped payload. So every record
// can be found again from its own start: damage costs only the records it
// touches, never the ones after them.
#pragma once

#include "run/ResultLine.h"

#include <cstddef>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

enum class TJournalKind : char {
    kRunBegun = 'H',    // job-list path, job-list digest
    kResendBegun = 'R', // part number, resend marker ("1"/"0"), then the resend's job-list lines
    kMailStarted = 'S', // part, index, the values of its result line, outcome log path
    kMailDone = 'D',    // part, index, counter, status, end time, "1" when its outcome is unknown
    kRunFinished = 'E', // part
};

struct TJournalRecord {
    TJournalKind kind = TJournalKind::kRunFinished;
    std::vector<std::string> fields;
};

std::string EncodeJournalRecord(TJournalKind kind, std::initializer_list<std::string_view> fields);
std::string EncodeJournalRecord(const TJournalRecord& record);

// What a journal's bytes hold, in their order: the readable records, and
// between them the damaged stretches (each counted as one lost record). The
// zeros laid out ahead of the next record end the journal.
struct TJournalItem {
    bool damaged = false;
    TJournalRecord record;
};
struct TDecodedJournal {
    std::vector<TJournalItem> items;
    std::size_t end = 0; // where the next record goes: behind the last readable one or damage
};
TDecodedJournal DecodeJournal(std::string_view data);

// The records of one mail.
std::string EncodeMailStarted(int part, int index, const TResultLine& values, std::string_view outcomeLogPath);
std::string EncodeMailDone(int part, int index, const TResultLine& outcome);

// What the journal says about one mail of the latest part.
struct TJournalMail {
    bool started = false;      // its start record is readable
    bool done = false;         // its done record is readable
    TResultLine line;          // its result line as far as known (the start's values, the done record's outcome)
    std::string outcomeLogPath;
};

// What a journal says about the run it belongs to.
struct TJournalState {
    bool present = false;       // a readable run record
    bool damaged = false;       // some record could not be read
    bool partUnknown = false;   // mails of a resend whose own record cannot be read
    std::string jobListPath;
    std::string jobListDigest;
    bool finished = false;      // the latest part has ended
    int part = 0;               // 0: the run; 1 and on: the resends
    bool resendMarker = false;
    std::vector<std::string> resendLines;
    std::map<int, TJournalMail> mails; // of the latest part, by job-list index
    // Ranges of indices (first, last) without a readable record whose start
    // record damage may have taken.
    std::vector<std::pair<int, int>> maybeStarted;
    int highestCounter = 0;

    bool MaybeStarted(int index) const;

    // A run began and its latest part has not ended.
    bool Unfinished() const { return present && !finished; }
};
TJournalState ReadJournalState(const TDecodedJournal& journal);

// The digest that identifies a job list by its content.
std::string JobListDigest(const std::vector<std::string>& lines);
