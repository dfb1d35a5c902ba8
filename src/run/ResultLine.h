// The result line: what the result file, the outcome logs, the result list,
// the journal's mending and the resend know of one mail's outcome. Composed
// and read back here only.
//
// A line holds 13 comma-separated fields: start date, start time, end time,
// status code, status word, host, recipients, sender, subject, attachment
// names, sequence number, send code and definition path (the outcome logs
// leave the last one out). A value holding a comma, or beginning with a
// double quote, is written in double quotes with its quotes doubled, so the
// line always reads back as the fields it was made of.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct TResultLine {
    std::string Date, Time;   // start, "yyyy/m/d" and "h:n:s"
    std::string EndTime;      // "h:n:s"
    std::int32_t Status = 0;
    // The outcome is not known: the mailer was started by a run that died
    // before recording it, or the line read back has no status code.
    bool Unknown = false;
    bool Resend = false;      // written during the automatic resend
    std::string Host, Recipients, Sender, Subject, Attachments;
    std::int32_t Counter = 0; // sequence number
    std::string SendCode;
    std::string DefinitionPath;
};

// The line without its CR LF: the result file's with the definition path,
// an outcome log's without it.
std::string ComposeResultLine(const TResultLine& line, bool withDefinitionPath);
// A line read back. A line with fewer fields gives what it has; one with
// more (written unquoted by an earlier version) keeps its last fields in
// place and its extra commas in the subject.
TResultLine ParseResultLine(std::string_view line);

// Splits a result-file line into fields (quoted fields allowed); returns the count.
int SplitResultLine(std::string_view line, std::vector<std::string>& fields);

// The one rule for a failed mail: the red row, the counts and the resend.
inline bool IsFailed(std::int32_t status) { return status != 0; }

// A row of the result list keeps a bounded start of a long cell (the files
// keep the whole text): enough for the list to know the text goes on.
inline constexpr std::size_t kResultRowCellBytes = 4096;

struct TResultRow {
    std::string SendCode;    // caption column
    std::string Subject;
    std::string Recipients;  // recipient display
    std::int32_t Status = 0;
    bool Unknown = false;    // its mail may have gone out: never resent by the program
    // The job-list line that sends this row's mail again: definition path, a
    // comma, send code.
    std::string JobLine;
    // A check's finding shows its code in the status column instead.
    std::string Finding;

    bool Failed() const { return IsFailed(Status); }
    // A failed mail whose outcome is known: the resend takes it.
    bool Resendable() const { return Failed() && !Unknown; }
};

TResultRow RowOf(TResultLine line);
