// Result lines, the result list and the result file read back.
#include "run/TDelivery.h"

#include "jtext/JpWords.h"
#include "jtext/SjisBytes.h"
#include "platform/Files.h"

namespace {
// The fields of a result line, from 1.
enum : std::size_t { kFieldStatus = 4, kFieldRecipients = 7, kFieldSubject = 9, kFieldSendCode = 12, kFieldDefinition = 13 };

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
    // One allocation: a field may be as long as its file.
    line.reserve(256 + mail_.Host.size() + mail_.RecipientDisplay.size() + mail_.Sender1.size() + mail_.Subject.size()
                 + mail_.AttachmentNames.size() + job_.SendCode.size() + (definitionPath ? definitionPath->size() : 0));
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
        rows_.InsertTop(TResultRow{job_.SendCode, std::string(CharPrefix(mail_.Subject, kResultRowCellBytes)),
                                   std::string(CharPrefix(mail_.RecipientDisplay, kResultRowCellBytes)), status,
                                   *definitionPath + "," + job_.SendCode});
        view_.ResultRowInserted();
    }
    line += "\r\n";
    AppendFile(path, line); // a line that cannot be written is lost silently
}

void TDelivery::LoadResultList()
{
    rows_.Clear();
    if (platform::FileExists(state_.ResultFilePath)) {
        std::vector<std::string> lines;
        LoadLines(state_.ResultFilePath, lines);
        rows_.Reserve(lines.size());
        std::vector<std::string> fields;
        for (const std::string& line : lines) {
            // A damaged line with fewer fields shows what it has; it must not stop
            // later unattended runs.
            SplitResultLine(line, fields);
            const std::string& sendCode = FieldOrEmpty(fields, kFieldSendCode);
            rows_.InsertTop(TResultRow{sendCode, std::string(CharPrefix(FieldOrEmpty(fields, kFieldSubject), kResultRowCellBytes)),
                                       std::string(CharPrefix(FieldOrEmpty(fields, kFieldRecipients), kResultRowCellBytes)),
                                       FieldOrEmpty(fields, kFieldStatus), FieldOrEmpty(fields, kFieldDefinition) + "," + sendCode});
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
