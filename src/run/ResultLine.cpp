#include "run/ResultLine.h"

#include "jtext/JpWords.h"
#include "jtext/SjisBytes.h"
#include "run/Outcome.h"

#include <charconv>

namespace {

constexpr std::size_t kFields = 13;

bool NeedsQuotes(std::string_view value)
{
    return (!value.empty() && value.front() == '"') || FindChar(value, ',') != std::string_view::npos;
}

void AppendField(std::string& line, std::string_view value)
{
    if (!NeedsQuotes(value)) {
        line += value;
        return;
    }
    line += '"';
    for (const char c : value) {
        if (c == '"')
            line += '"';
        line += c;
    }
    line += '"';
}

bool ToInt32(std::string_view text, std::int32_t& value)
{
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    return r.ec == std::errc() && r.ptr == text.data() + text.size() && !text.empty();
}

// A cell keeps a bounded start of its value.
std::string Cell(std::string_view value) { return std::string(CharPrefix(value, kResultRowCellBytes)); }

} // namespace

std::string ComposeResultLine(const TResultLine& r, bool withDefinitionPath)
{
    const std::string status = std::to_string(r.Status), counter = std::to_string(r.Counter);
    std::string word(r.Unknown ? jp::kOutcomeUnknown : (IsFailed(r.Status) ? jp::kSendFailure : jp::kSent));
    if (r.Resend)
        word += jp::kResendSuffix;
    const std::string_view fields[kFields] = {r.Date,    r.Time,    r.EndTime, status,        word,
                                              r.Host,    r.Recipients, r.Sender, r.Subject, r.Attachments,
                                              counter,   r.SendCode, r.DefinitionPath};
    const std::size_t count = withDefinitionPath ? kFields : kFields - 1;
    std::size_t size = count;
    for (std::size_t k = 0; k < count; ++k)
        size += fields[k].size() + 2;
    // One allocation: a value may be as long as its file.
    std::string line;
    line.reserve(size);
    for (std::size_t k = 0; k < count; ++k) {
        if (k > 0)
            line += ',';
        AppendField(line, fields[k]);
    }
    return line;
}

TResultLine ParseResultLine(std::string_view text)
{
    std::vector<std::string> f;
    SplitResultLine(text, f);
    if (f.size() > kFields) {
        // Extra commas of an unquoted value: the subject takes them.
        const std::size_t extra = f.size() - kFields;
        for (std::size_t k = 1; k <= extra; ++k)
            f[8] += "," + f[8 + k];
        f.erase(f.begin() + 9, f.begin() + 9 + static_cast<std::ptrdiff_t>(extra));
    }
    f.resize(kFields);
    TResultLine r;
    r.Date = std::move(f[0]);
    r.Time = std::move(f[1]);
    r.EndTime = std::move(f[2]);
    const bool numeric = ToInt32(f[3], r.Status);
    if (!numeric)
        r.Status = kStatusOutcomeUnknown;
    r.Unknown = !numeric || std::string_view(f[4]).starts_with(jp::kOutcomeUnknown);
    r.Resend = std::string_view(f[4]).ends_with(jp::kResendSuffix);
    r.Host = std::move(f[5]);
    r.Recipients = std::move(f[6]);
    r.Sender = std::move(f[7]);
    r.Subject = std::move(f[8]);
    r.Attachments = std::move(f[9]);
    if (!ToInt32(f[10], r.Counter))
        r.Counter = 0;
    r.SendCode = std::move(f[11]);
    r.DefinitionPath = std::move(f[12]);
    return r;
}

int SplitResultLine(std::string_view line, std::vector<std::string>& fields)
{
    fields.clear();
    std::size_t p = 0;
    const std::size_t n = line.size();
    for (;;) {
        if (p < n && line[p] == '"') {
            std::string field;
            ++p;
            while (p < n) {
                if (line[p] == '"') {
                    if (p + 1 < n && line[p + 1] == '"') {
                        field += '"';
                        p += 2;
                        continue;
                    }
                    ++p; // behind the closing quote
                    break;
                }
                field += line[p++];
            }
            // Whatever stands between the closing quote and the comma belongs to the field.
            const std::size_t comma = FindChar(line, ',', p);
            field += line.substr(p, comma == std::string_view::npos ? std::string_view::npos : comma - p);
            fields.push_back(std::move(field));
            if (comma == std::string_view::npos)
                break;
            p = comma + 1;
            continue;
        }
        const std::size_t comma = FindChar(line, ',', p);
        if (comma == std::string_view::npos) {
            fields.emplace_back(line.substr(p));
            break;
        }
        fields.emplace_back(line.substr(p, comma - p));
        p = comma + 1;
    }
    return static_cast<int>(fields.size());
}

TResultRow RowOf(TResultLine line)
{
    TResultRow row;
    row.JobLine = line.DefinitionPath + "," + line.SendCode;
    row.SendCode = std::move(line.SendCode);
    row.Subject = line.Subject.size() > kResultRowCellBytes ? Cell(line.Subject) : std::move(line.Subject);
    row.Recipients = line.Recipients.size() > kResultRowCellBytes ? Cell(line.Recipients) : std::move(line.Recipients);
    row.Status = line.Status;
    row.Unknown = line.Unknown;
    return row;
}
