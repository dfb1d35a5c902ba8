// A customer list: comma-separated values as RFC 4180 writes them (quoted
// values, doubled quotes, line breaks inside quotes), the first row naming
// the columns.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct TCsvRow {
    int Line = 0; // the line of the file the row starts on, from 1
    std::vector<std::string> Cells;
};

struct TCsvTable {
    std::vector<std::string> Header;
    std::vector<TCsvRow> Rows;
};

// Where a text cannot be read, and why (Japanese and English).
struct TTextError {
    int Line = 0;
    std::string Ja, En;
};

// The table of a CSV text (UTF-8). Line breaks inside quoted values are kept
// as they stand; empty lines between rows are passed over. False, with the
// first fault, for: a quote left open, text after a closing quote, a quote
// inside an unquoted value, a row whose cells differ in number from the
// header's, and a header that names a column twice or not at all.
bool ParseCsv(std::string_view text, TCsvTable& table, TTextError& error);

// The bytes of a CSV file or a template as UTF-8: a byte-order mark is
// dropped; Shift_JIS (by the program's one rule for telling them apart) is
// converted. False, with the line, for bytes that are neither.
bool DecodeText(std::string_view bytes, std::string& utf8, TTextError& error);
