// A template and a customer list become mail definitions, one per row, with
// the checks made before anything is written.
#pragma once

#include "CsvTable.h"

#include <string>
#include <string_view>
#include <vector>

enum class TSeverity { Error, Warning };

struct TFinding {
    TSeverity Severity = TSeverity::Error;
    bool InTemplate = false; // Line is the template's, else the CSV's
    int Line = 0;
    std::string Ja, En; // what is wrong
    std::string Detail; // the column, value or character concerned (UTF-8)
};

// A piece of a template line: literal text, or the value of a column.
struct TPiece {
    std::string Text; // UTF-8
    int Column = -1;  // >= 0: the value of that column instead
};
using TTemplateLine = std::vector<TPiece>;

// The template's lines (a UTF-8 text laid out as a definition: six header
// lines, then the body). "{name}" stands for the value of the column of that
// name, "{{" and "}}" for a brace; a "{" with no "}" after it on its line is
// literal. A name that is no column, fewer than six lines and a literal
// character without a Shift_JIS form are findings.
std::vector<TTemplateLine> ParseTemplate(std::string_view utf8, const std::vector<std::string>& header,
                                         std::vector<TFinding>& findings);

struct TDefinition {
    int Line = 0;           // the CSV line of the row
    std::string FileName;   // m001.txt, m002.txt, ...
    std::string SendCode;   // Shift_JIS
    std::vector<std::string> Lines; // Shift_JIS: the six header lines, then the body
};

struct TBatch {
    std::vector<TDefinition> Mails;
    std::vector<TFinding> Findings;
    int Errors() const;
};

// One definition per row. codeColumn: the column of the send codes, or -1 to
// number the mails. Every row is checked: a value with a character Shift_JIS
// cannot hold, a line break or control character in a header line, a NUL, an
// empty or malformed recipient or sender address are errors; a recipient who
// gets a mail from an earlier row too is a warning.
TBatch MergeBatch(const std::vector<TTemplateLine>& lines, const TCsvTable& table, int codeColumn);

// A text cut at its line breaks (CR LF, CR or LF): a value over several body lines.
std::vector<std::string> SplitAtLineBreaks(const std::string& text);

// The definition file: every line followed by CR LF.
std::string DefinitionText(const TDefinition& mail);
// The job list: "<folder>\<file name>,<send code>" and CR LF for every mail.
std::string JobListText(const TBatch& batch, std::string_view folder);

// The mail as its recipient reads it (UTF-8): the mailer's headers from the
// definition, subject and body widened as the run widens them.
std::string PreviewText(const TDefinition& mail);
