// Text forms of the status display, shared by both windows. Every text is
// CP932, as the run's own texts are; a window converts them for its toolkit.
#pragma once

#include "run/ResultRows.h"
#include "run/RunState.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// "1時間2分5秒": hours, minutes and seconds of a number of seconds, hours not
// wrapped into days.
std::string FormatRestTime(std::int64_t seconds);
// Fixed-point with exactly two decimals and at most eight significant digits
// ("1.50", "0.00"); a value with more than eight integer digits goes into
// scientific form.
std::string FormatFixed2(double value);
// The start of a text for a list cell: at most 1024 bytes, cut between
// characters, "…" marking a text that goes on. Laying out a cell of a
// gigabyte takes a list longer and more memory than anything else in the
// run; the files keep the whole text.
std::string CellPrefix(std::string_view text);

// The seven "内容" cells of the summary list, top to bottom.
using TSummaryCells = std::array<std::string, 7>;
TSummaryCells SummaryCells(const TRunOptions& options, std::string_view subject, int processed, int total, int errors);

// Column `column` (0 to 3) of a result row, as the list shows it.
std::string ResultCell(const TResultRow& row, int column);
// The row colour rule of ListView2: red when the row's mail failed (its
// outcome unknown included).
bool ResultRowIsRed(const TResultRow& row);
