// The run journal: a file beside the result file in which a run notes what it
// has begun, so that a run that died can be continued without sending any
// mail twice. Records are only ever appended; each carries its length and a
// checksum, so a process killed in the middle of an append leaves a readable
// file whose last, torn record is ignored.
//
// A record on disk: "<kind> <payload length> <checksum>\n<payload>\n", the
// checksum being eight hex digits of FNV-1a (32 bits) over the kind and the
// payload, the payload a sequence of fields "<length>:<bytes>".
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

enum class TJournalKind : char {
    kRunBegun = 'H',    // job-list path, job-list digest
    kResendBegun = 'R', // resend marker ("1"/"0"), then the resend's job-list lines
    kMailStarted = 'S', // see TStartedMail
    kRunFinished = 'E', // no fields
};

struct TJournalRecord {
    TJournalKind kind = TJournalKind::kRunFinished;
    std::vector<std::string> fields;
};

std::string EncodeJournalRecord(const TJournalRecord& record);
// The same from views of the fields, built in one allocation (a field can be
// as long as the file it came from).
std::string EncodeJournalRecord(TJournalKind kind, std::initializer_list<std::string_view> fields);
// The records from the start of `data`, up to the first one that is incomplete
// or damaged; `validLength` is the length of that good beginning.
std::vector<TJournalRecord> DecodeJournal(std::string_view data, std::size_t& validLength);

// The values of a mail that its result line shows, as views.
struct TOutcomeValues {
    std::string_view date, time, host, recipients, sender, subject, attachments, sendCode;
    int counter = 0;
};

// A mail whose mailer was about to start: everything its result line needs
// except the outcome, and the job-list line it came from.
struct TStartedMail {
    int index = 0;            // 0-based line of the job list of its run
    int counter = 0;          // its sequence number
    std::string jobLine;
    std::string outcomeLogPath;
    std::string date, time;   // start, as written in result lines
    std::string host, recipients, sender, subject, attachments, sendCode, definitionPath;

    // Its record, from views of the current mail.
    static std::string Encode(int index, const TOutcomeValues& values, std::string_view jobLine,
                              std::string_view outcomeLogPath, std::string_view definitionPath);
    // Takes the record's fields over.
    static bool FromRecord(TJournalRecord&& record, TStartedMail& mail);
    // The end of its result line in the result file: ",<counter>,<send code>,<definition path>".
    std::string ResultLineTail() const;
};

// Finds the started mail that a result-file line belongs to, by the line's
// end (sequence number, send code and definition path), which stays whole even
// when a value inside the line throws its fields out of step.
class TStartedMailIndex {
public:
    explicit TStartedMailIndex(const std::vector<TStartedMail>& mails);
    const TStartedMail* Find(const std::string& resultLine) const;

private:
    std::unordered_map<std::string, std::vector<const TStartedMail*>> byDefinition_;
};

// What a journal says about the run it belongs to.
struct TJournalState {
    bool present = false;      // a run has begun
    std::string jobListPath;
    std::string jobListDigest;
    bool finished = false;     // its last record ends the run
    bool inResend = false;     // a resend had begun
    bool resendMarker = false;
    std::vector<std::string> resendLines;
    std::vector<TStartedMail> started; // the mails started in the latest part (run or resend)
    int highestCounter = 0;
};
// Takes the records' fields over.
TJournalState ReadJournalState(std::vector<TJournalRecord>&& records);

// The digest that identifies a job list by its content.
std::string JobListDigest(const std::vector<std::string>& lines);
