// Text forms of the status display.
#pragma once

#include <QString>

#include <cstdint>

// "1時間2分5秒": hours, minutes and seconds of a number of seconds, hours not
// wrapped into days.
QString FormatRestTime(std::int64_t seconds);
// Fixed-point with exactly two decimals and at most eight significant digits
// ("1.50", "0.00"); a value with more than eight integer digits goes into
// scientific form.
QString FormatFixed2(double value);
// A CP932 text for display.
QString FromCp932(std::string_view text);
// The start of a CP932 text for a list cell: at most 1024 bytes, cut between
// characters, "…" marking a text that goes on. Laying out a cell of a
// gigabyte takes the view longer and more memory than anything else in the
// run; the files keep the whole text.
QString CellPrefix(std::string_view text);
