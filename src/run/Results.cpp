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

namespace {
// Fields 1 to 12 of a result line: the mail's values, its outcome, and the time
// the line is composed. One allocation: a value may be as long as its file.
std::string ComposeOutcomeLine(const TOutcomeValues& v, std::string_view composedAt, std::int32_t status,
                               std::string_view word, bool resend, std::size_t extra)
{
    const std::string number = std::to_string(v.counter);
    std::string line;
    line.reserve(64 + v.date.size() + v.time.size() + composedAt.size() + word.size() + v.host.size() + v.recipients.size()
                 + v.sender.size() + v.subject.size() + v.attachments.size() + number.size() + v.sendCode.size() + extra);
    for (const std::string_view field : {v.date, v.time, composedAt}) {
        line += field;
        line += ',';
    }
    line += std::to_string(status);
    line += ',';
    line += word;
    if (resend)
        line += jp::kResendSuffix;
    line += ',';
    for (const std::string_view field : {v.host, v.recipients, v.sender, v.subject, v.attachments}) {
        line += field;
        line += ',';
    }
    line += number;
    line += ',';
    line += v.sendCode;
    return line;
}

// A cell of the result list keeps a bounded start of its value; the files keep it whole.
std::string Cell(std::string_view value) { return std::string(CharPrefix(value, kResultRowCellBytes)); }
} // namespace

void TDelivery::RecordResult(const std::string& path, int number, const std::string* definitionPath)
{
    const std::int32_t status = state_.StatusCode;
    const std::string date = FormatResultDate(mailStart_), time = FormatResultTime(mailStart_);
    const TOutcomeValues values{date, time, mail_.Host, mail_.RecipientDisplay, mail_.Sender1, mail_.Subject,
                                mail_.AttachmentNames, job_.SendCode, number};
    std::string line = ComposeOutcomeLine(values, FormatResultTime(clock_.Now()), status,
                                          status == 0 ? jp::kSent : jp::kSendFailure, state_.ResendMarker,
                                          definitionPath ? definitionPath->size() + 3 : 2);
    if (definitionPath) {
        line += ',';
        line += *definitionPath;
        rows_.InsertTop(TResultRow{job_.SendCode, Cell(mail_.Subject), Cell(mail_.RecipientDisplay), std::to_string(status),
                                   RowJobLine()});
        view_.ResultRowInserted();
    }
    line += "\r\n";
    record_.Append(path, line); // a line that cannot be written is kept and reported
}

void TDelivery::RecordUnknown(const TStartedMail& m)
{
    state_.StatusCode = kStatusOutcomeUnknown;
    const TOutcomeValues values{m.date, m.time, m.host, m.recipients, m.sender, m.subject, m.attachments, m.sendCode, m.counter};
    std::string line = ComposeOutcomeLine(values, FormatResultTime(clock_.Now()), kStatusOutcomeUnknown, jp::kOutcomeUnknown,
                                          state_.ResendMarker, m.definitionPath.size() + 3);
    line += "\r\n";
    record_.Append(m.outcomeLogPath, line);
    line.resize(line.size() - 2);
    line += ',';
    line += m.definitionPath;
    line += "\r\n";
    record_.Append(state_.ResultFilePath, line);
    TResultRow row{m.sendCode, Cell(m.subject), Cell(m.recipients), std::to_string(kStatusOutcomeUnknown), m.jobLine};
    row.OutcomeUnknown = true;
    rows_.InsertTop(std::move(row));
    view_.ResultRowInserted();
}

void TDelivery::LoadResultList(bool withJournal)
{
    std::vector<std::string> lines;
    if (platform::FileExists(state_.ResultFilePath))
        LoadLines(state_.ResultFilePath, lines);
    // The journal knows each mail's own job-list line; a line read back from
    // the result file can be out of step (a value that begins with a quote).
    const TJournalState journal = withJournal && !lines.empty() ? record_.ReadJournal() : TJournalState{};
    FillResultRows(lines, TStartedMailIndex(journal.started));
}

void TDelivery::FillResultRows(const std::vector<std::string>& lines, const TStartedMailIndex& journal)
{
    rows_.Clear();
    rows_.Reserve(lines.size());
    std::vector<std::string> fields;
    for (const std::string& line : lines) {
        // A damaged line with fewer fields shows what it has; it must not stop
        // later unattended runs.
        SplitResultLine(line, fields);
        const std::string& sendCode = FieldOrEmpty(fields, kFieldSendCode);
        const TStartedMail* own = journal.Find(line);
        TResultRow row{sendCode, Cell(FieldOrEmpty(fields, kFieldSubject)), Cell(FieldOrEmpty(fields, kFieldRecipients)),
                       FieldOrEmpty(fields, kFieldStatus),
                       own ? own->jobLine : FieldOrEmpty(fields, kFieldDefinition) + "," + sendCode};
        row.OutcomeUnknown = FieldOrEmpty(fields, kFieldStatusWord).starts_with(jp::kOutcomeUnknown);
        rows_.InsertTop(std::move(row));
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
