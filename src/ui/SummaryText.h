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
