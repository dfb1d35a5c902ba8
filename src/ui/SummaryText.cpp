#include "ui/SummaryText.h"

#include "jtext/SjisBytes.h"

#include "platform/CodePage.h"

#include <cmath>
#include <cstdio>

QString FormatRestTime(std::int64_t seconds)
{
    const std::int64_t hours = seconds / 3600;
    const std::int64_t minutes = (seconds % 3600) / 60;
    const std::int64_t rest = (seconds % 3600) % 60;
    return QStringLiteral("%1時間%2分%3秒").arg(hours).arg(minutes).arg(rest);
}

QString FormatFixed2(double value)
{
    constexpr int kPrecision = 8;
    char buf[64];
    if (value == 0 || !std::isfinite(value)) {
        std::snprintf(buf, sizeof buf, "%.2f", std::isfinite(value) ? 0.0 : value);
        return QString::fromLatin1(buf);
    }
    const int intDigits = std::max(1, static_cast<int>(std::floor(std::log10(std::fabs(value)))) + 1);
    if (intDigits > kPrecision) {
        std::snprintf(buf, sizeof buf, "%.*E", kPrecision - 1, value);
        return QString::fromLatin1(buf);
    }
    // Round to the significant digits that remain for the fraction, then show two decimals.
    const int decimals = std::min(2, kPrecision - intDigits);
    const double scale = std::pow(10.0, decimals);
    const double rounded = std::round(value * scale) / scale;
    std::snprintf(buf, sizeof buf, "%.2f", rounded);
    return QString::fromLatin1(buf);
}

QString FromCp932(std::string_view text)
{
    return QString::fromStdString(platform::Cp932ToUtf8(text));
}

QString CellPrefix(std::string_view text)
{
    constexpr std::size_t kCellBytes = 1024;
    if (text.size() <= kCellBytes)
        return FromCp932(text);
    return FromCp932(CharPrefix(text, kCellBytes)) + QString::fromUtf8("…");
}
