#include "display/DisplayText.h"

#include "display/WindowWords.h"
#include "jtext/SjisBytes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

std::string FormatRestTime(std::int64_t seconds)
{
    const std::int64_t hours = seconds / 3600;
    const std::int64_t minutes = (seconds % 3600) / 60;
    const std::int64_t rest = (seconds % 3600) % 60;
    std::string text = std::to_string(hours);
    text += jp::kHours;
    text += std::to_string(minutes);
    text += jp::kMinutes;
    text += std::to_string(rest);
    text += jp::kSeconds;
    return text;
}

std::string FormatFixed2(double value)
{
    constexpr int kPrecision = 8;
    char buf[64];
    if (value == 0 || !std::isfinite(value)) {
        std::snprintf(buf, sizeof buf, "%.2f", std::isfinite(value) ? 0.0 : value);
        return buf;
    }
    const int intDigits = std::max(1, static_cast<int>(std::floor(std::log10(std::fabs(value)))) + 1);
    if (intDigits > kPrecision) {
        std::snprintf(buf, sizeof buf, "%.*E", kPrecision - 1, value);
        return buf;
    }
    // Round to the significant digits that remain for the fraction, then show two decimals.
    const int decimals = std::min(2, kPrecision - intDigits);
    const double scale = std::pow(10.0, decimals);
    const double rounded = std::round(value * scale) / scale;
    std::snprintf(buf, sizeof buf, "%.2f", rounded);
    return buf;
}

std::string CellPrefix(std::string_view text)
{
    constexpr std::size_t kCellBytes = 1024;
    if (text.size() <= kCellBytes)
        return std::string(text);
    std::string cell(CharPrefix(text, kCellBytes));
    cell += jp::kEllipsis;
    return cell;
}

TSummaryCells SummaryCells(const TRunOptions& state, std::string_view subject, int processed, int total, int errors)
{
    const std::string mails(jp::kMails);
    return {
        state.ProcessName,
        CellPrefix(subject),
        std::to_string(processed) + std::string(jp::kMailsOf) + std::to_string(total) + mails,
        std::to_string(state.SendUnit) + mails,
        FormatFixed2(state.UnitWait) + std::string(jp::kMinutes),
        FormatFixed2(state.MailPause) + std::string(jp::kSeconds),
        std::to_string(errors) + mails,
    };
}

std::string ResultCell(const TResultRow& row, int column)
{
    switch (column) {
    case 0: return CellPrefix(row.SendCode);
    case 1: return CellPrefix(row.Subject);
    case 2: return CellPrefix(row.Recipients);
    case 3: return row.Finding.empty() ? std::to_string(row.Status) : CellPrefix(row.Finding);
    default: return {};
    }
}

bool ResultRowIsRed(const TResultRow& row)
{
    return row.Failed();
}
