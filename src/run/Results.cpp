// Result lines, the result list and the result file read back.
#include "run/TDelivery.h"

#include "jtext/JpWords.h"
#include "jtext/SjisBytes.h"
#include "platform/Files.h"

namespace {
// The fields of a result line, from 1.
enum : std::size_t { kFieldStatus = 4, kFieldStatusWord = 5, kFieldRecipients = 7, kFieldSubject = 9, kFieldSendCode = 12, kFieldDefinition = 13 };

const std::string& FieldOrEmpty(const std::vector<std::string>& fields, std::size_t n)
{
    static const std::string empty;
    return n <= fields.size() ? fields[n - 1] : empty;
}
} // namespace

void TDelivery::RecordResult(const std::string& path, int number, const std::string* definitionPath)
{
    const std::string status = std::to_string(state_.StatusCode);
    std::string line;
    line.reserve(256);
    line += FormatResultDate(mailStart_);
    line += ',';
    line += FormatResultTime(mailStart_);
    line += ',';
    line += FormatResultTime(clock_.Now());
    line += ',';
    line += status;
    line += ',';
    line += state_.StatusCode == 0 ? jp::kSent : jp::kSendFailure;
    if (state_.ResendMarker)
        line += jp::kResendSuffix;
    line += ',';
    for (const std::string* field : {&mail_.Host, &mail_.RecipientDisplay, &mail_.Sender1, &mail_.Subject, &mail_.AttachmentNames}) {
        line += *field;
        line += ',';
    }
    line += std::to_string(number);
    line += ',';
    line += job_.SendCode;
    if (definitionPath) {
        line += ',';
        line += *definitionPath;
        rows_.InsertTop(TResultRow{job_.SendCode, mail_.Subject, mail_.RecipientDisplay, status, RowJobLine()});
        view_.ResultRowInserted();
    }
    line += "\r\n";
    record_.Append(path, line); // a line that cannot be written is kept and reported
}

void TDelivery::RecordUnknown(const TStartedMail& m)
{
    state_.StatusCode = kStatusOutcomeUnknown;
    const std::string status = std::to_string(kStatusOutcomeUnknown);
    std::string line = m.date + "," + m.time + "," + FormatResultTime(clock_.Now()) + "," + status + ",";
    line += jp::kOutcomeUnknown;
    if (state_.ResendMarker)
        line += jp::kResendSuffix;
    line += ",";
    for (const std::string* field : {&m.host, &m.recipients, &m.sender, &m.subject, &m.attachments}) {
        line += *field;
        line += ',';
    }
    line += std::to_string(m.counter) + "," + m.sendCode;
    record_.Append(m.outcomeLogPath, line + "\r\n");
    record_.Append(state_.ResultFilePath, line + "," + m.definitionPath + "\r\n");
    TResultRow row{m.sendCode, m.subject, m.recipients, status, m.jobLine};
    row.OutcomeUnknown = true;
    rows_.InsertTop(std::move(row));
    view_.ResultRowInserted();
}

void TDelivery::LoadResultList(bool withJournal)
{
    rows_.Clear();
    if (platform::FileExists(state_.ResultFilePath)) {
        std::vector<std::string> lines;
        LoadLines(state_.ResultFilePath, lines);

        // The journal knows each mail's own job-list line; a line read back from
        // the result file can be out of step (a value that begins with a quote).
        const TJournalState journal = withJournal ? record_.ReadJournal() : TJournalState{};
        const TStartedMailIndex index(journal.started);
        rows_.Reserve(lines.size());
        std::vector<std::string> fields;
        for (const std::string& line : lines) {
            // A damaged line with fewer fields shows what it has; it must not stop
            // later unattended runs.
            SplitResultLine(line, fields);
            const std::string& sendCode = FieldOrEmpty(fields, kFieldSendCode);
            const TStartedMail* own = index.Find(line);
            TResultRow row{sendCode, FieldOrEmpty(fields, kFieldSubject), FieldOrEmpty(fields, kFieldRecipients),
                           FieldOrEmpty(fields, kFieldStatus),
                           own ? own->jobLine : FieldOrEmpty(fields, kFieldDefinition) + "," + sendCode};
            row.OutcomeUnknown = FieldOrEmpty(fields, kFieldStatusWord).starts_with(jp::kOutcomeUnknown);
            rows_.InsertTop(std::move(row));
        }
    }
    view_.ResultRowsReset();
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
            fields.push_back(std::move(field));
            if (p < n)
                ++p; // over the comma
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
