#include "MergeTemplate.h"

#include "jtext/HenkanJ.h"
#include "jtext/MailAddress.h"
#include "jtext/SjisBytes.h"
#include "jtext/TextKind.h"
#include "platform/CodePage.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <unordered_map>

namespace {

constexpr std::size_t kHeaderLines = 6;
constexpr std::size_t kRecipientsLine = 2, kSendersLine = 3;

// The first character of a UTF-8 text without a Shift_JIS form, as
// "X (U+XXXX)", or empty when every one has one.
std::string CharacterWithoutCp932(std::string_view utf8)
{
    if (platform::HasCp932Form(utf8))
        return {};
    for (std::size_t i = 0; i < utf8.size();) {
        const std::size_t len = std::max<std::size_t>(1, Utf8SequenceLength(utf8, i));
        const std::string_view ch = utf8.substr(i, len);
        if (!platform::HasCp932Form(ch)) {
            unsigned cp = static_cast<unsigned char>(ch[0]) & (len == 1 ? 0x7F : 0xFF >> (len + 1));
            for (std::size_t k = 1; k < len; ++k)
                cp = cp << 6 | (static_cast<unsigned char>(ch[k]) & 0x3F);
            char code[16];
            std::snprintf(code, sizeof code, " (U+%04X)", cp);
            return std::string(ch) + code;
        }
        i += len;
    }
    return {};
}

bool HasControl(std::string_view s, bool lineBreaksToo)
{
    return std::any_of(s.begin(), s.end(), [&](char c) {
        return (static_cast<unsigned char>(c) < 0x20 && c != '\t' && (lineBreaksToo || (c != '\r' && c != '\n'))) ||
               c == '\x7F';
    });
}

std::string Lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// A sender as the mailer gets it: one pair of enclosing quotes goes with
// the command line's grouping.
std::string_view Unquoted(std::string_view s)
{
    return s.size() >= 2 && s.front() == '"' && s.back() == '"' ? s.substr(1, s.size() - 2) : s;
}

// Sender 1, 2 and 3 of line 4, cut as the run cuts them (sender 3 keeps
// any further tabs).
std::vector<std::string> SenderFields(const std::string& line)
{
    const std::string s = ReplaceChar(line, ',', '\t');
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (int k = 0; k < 2; ++k) {
        const std::size_t tab = FindChar(s, '\t', start);
        fields.push_back(s.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
    fields.push_back(s.substr(start));
    return fields;
}

std::string Numbered(std::size_t n, std::size_t width)
{
    std::string digits = std::to_string(n);
    return std::string(width > digits.size() ? width - digits.size() : 0, '0') + digits;
}

} // namespace

std::vector<std::string> SplitAtLineBreaks(const std::string& text)
{
    std::vector<std::string> lines(1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            lines.emplace_back();
        } else {
            lines.back() += text[i];
        }
    }
    return lines;
}

int TBatch::Errors() const
{
    return static_cast<int>(std::count_if(Findings.begin(), Findings.end(),
                                          [](const TFinding& f) { return f.Severity == TSeverity::Error; }));
}

std::vector<TTemplateLine> ParseTemplate(std::string_view utf8, const std::vector<std::string>& header,
                                         std::vector<TFinding>& findings)
{
    std::vector<TTemplateLine> lines;
    int number = 0;
    for (const std::string& text : SplitAtLineBreaks(std::string(utf8))) {
        ++number;
        TTemplateLine line(1);
        auto literal = [&](std::string_view s) {
            if (line.back().Column >= 0)
                line.emplace_back();
            line.back().Text += s;
        };
        for (std::size_t i = 0; i < text.size(); ++i) {
            const std::size_t close = text.find('}', i);
            if (text.compare(i, 2, "{{") == 0 || text.compare(i, 2, "}}") == 0) {
                literal(text.substr(i++, 1));
            } else if (text[i] == '{' && close != std::string::npos) {
                const std::string name = text.substr(i + 1, close - i - 1);
                const auto column = std::find(header.begin(), header.end(), name);
                if (column == header.end())
                    findings.push_back({TSeverity::Error, true, number, "CSVにない列の名前です", "no column of that name in the CSV", "{" + name + "}"});
                line.push_back({"", static_cast<int>(column - header.begin())});
                i = close;
            } else {
                literal(text.substr(i, 1));
            }
        }
        for (const TPiece& piece : line)
            if (const std::string ch = CharacterWithoutCp932(piece.Text); !ch.empty())
                findings.push_back({TSeverity::Error, true, number, "Shift_JISにない文字です", "a character Shift_JIS cannot hold", ch});
        lines.push_back(std::move(line));
    }
    // A final line break ends the last line; it starts no empty body line.
    if (lines.size() > 1 && lines.back().size() == 1 && lines.back()[0].Text.empty())
        lines.pop_back();
    if (lines.size() < kHeaderLines)
        findings.push_back({TSeverity::Error, true, static_cast<int>(lines.size()), "テンプレートが6行に足りません",
                            "the template has fewer than the six header lines", ""});
    return lines;
}

TBatch MergeBatch(const std::vector<TTemplateLine>& lines, const TCsvTable& table, int codeColumn)
{
    TBatch batch;
    std::set<int> used;
    for (const TTemplateLine& line : lines)
        for (const TPiece& piece : line)
            if (piece.Column >= 0)
                used.insert(piece.Column);
    if (codeColumn >= 0)
        used.insert(codeColumn);
    used.erase(static_cast<int>(table.Header.size())); // names that are no column, found already
    const std::size_t width = std::max<std::size_t>(3, std::to_string(table.Rows.size()).size());
    std::unordered_map<std::string, int> firstLine; // recipient address -> CSV line

    for (std::size_t r = 0; r < table.Rows.size(); ++r) {
        const TCsvRow& row = table.Rows[r];
        auto finding = [&](TSeverity severity, const char* ja, const char* en, std::string detail) {
            batch.Findings.push_back({severity, false, row.Line, ja, en, std::move(detail)});
        };
        auto value = [&](int column) -> const std::string& {
            static const std::string none;
            return column >= 0 && column < static_cast<int>(row.Cells.size()) ? row.Cells[column] : none;
        };
        const std::size_t before = batch.Findings.size();
        for (const int column : used) {
            const std::string& v = value(column);
            const std::string where = table.Header[column] + ": ";
            if (const std::string ch = CharacterWithoutCp932(v); !ch.empty())
                finding(TSeverity::Error, "Shift_JISにない文字があります", "a character Shift_JIS cannot hold", where + ch);
            if (v.find('\0') != std::string::npos)
                finding(TSeverity::Error, "NUL文字があります", "a NUL character", where);
        }

        TDefinition mail;
        mail.Line = row.Line;
        mail.FileName = std::string(1, 'm') + Numbered(r + 1, width) + ".txt";
        const std::string code = codeColumn >= 0 ? value(codeColumn) : Numbered(r + 1, width);
        if (HasControl(code, true))
            finding(TSeverity::Error, "送信コードに改行か制御文字があります", "a line break or control character in the send code",
                    table.Header[codeColumn]);
        mail.SendCode = platform::Utf8ToCp932(code);
        for (std::size_t k = 0; k < lines.size(); ++k) {
            std::string text;
            for (const TPiece& piece : lines[k]) {
                const std::string& part = piece.Column >= 0 ? value(piece.Column) : piece.Text;
                if (piece.Column >= 0 && k < kHeaderLines && HasControl(part, true))
                    finding(TSeverity::Error, "ヘッダー行に改行か制御文字があります", "a line break or control character in a header line",
                            table.Header[piece.Column] + " (" + std::to_string(k + 1) + "行目 / line " + std::to_string(k + 1) + ")");
                else if (piece.Column >= 0 && HasControl(part, false))
                    finding(TSeverity::Error, "制御文字があります", "a control character", table.Header[piece.Column]);
                text += part;
            }
            for (const std::string& l : SplitAtLineBreaks(text))
                mail.Lines.push_back(platform::Utf8ToCp932(l));
        }
        if (batch.Findings.size() > before || mail.Lines.size() < kHeaderLines) {
            batch.Mails.push_back(std::move(mail));
            continue;
        }

        // Recipients as the run reads them: commas and tabs separate, an empty
        // entry ends the list.
        const std::string recipients = ReplaceChar(mail.Lines[kRecipientsLine], ',', '\t');
        bool to = false, ended = false;
        for (std::size_t start = 0; start <= recipients.size();) {
            const std::size_t cut = std::min(FindChar(recipients, '\t', start), recipients.size());
            const std::string entry = recipients.substr(start, cut - start);
            const std::string shown = platform::Cp932ToUtf8(entry);
            start = cut + 1;
            if (entry.empty()) {
                ended = true;
                continue;
            }
            if (ended) {
                finding(TSeverity::Error, "空の宛先の後の宛先は送られません", "an empty entry: the entries after it are not sent", shown);
                break;
            }
            // The run's order: an "@" makes a recipient, then the CC and BCC markers.
            if (entry.find('@') == std::string::npos &&
                (FindText(entry, ">#cc ") != std::string::npos || FindText(entry, ">#bcc ") != std::string::npos))
                continue;
            if (!UsableAddress(entry)) {
                finding(TSeverity::Error, "宛先の形式が正しくありません", "a malformed recipient address", shown);
                continue;
            }
            to = true;
            const auto [it, fresh] = firstLine.try_emplace(Lower(AddressOf(entry)), row.Line);
            if (!fresh)
                finding(TSeverity::Warning, "同じ宛先への2通目です", "a second mail to the same recipient",
                        shown + " (" + std::to_string(it->second) + "行目 / line " + std::to_string(it->second) + ")");
        }
        if (!to && batch.Findings.size() == before)
            finding(TSeverity::Error, "宛先がありません", "no recipient address", "");
        for (const std::string& sender : SenderFields(mail.Lines[kSendersLine]))
            if (!sender.empty() && !UsableAddress(Unquoted(sender)))
                finding(TSeverity::Error, "差出人のアドレスの形式が正しくありません", "a malformed sender address",
                        platform::Cp932ToUtf8(sender));
        batch.Mails.push_back(std::move(mail));
    }
    return batch;
}

std::string DefinitionText(const TDefinition& mail)
{
    std::string text;
    for (const std::string& line : mail.Lines)
        text += line + "\r\n";
    return text;
}

std::string JobListText(const TBatch& batch, std::string_view folder)
{
    std::string text;
    for (const TDefinition& mail : batch.Mails)
        text += std::string(folder) + "\\" + mail.FileName + "," + mail.SendCode + "\r\n";
    return text;
}

std::string PreviewText(const TDefinition& mail)
{
    auto utf8 = [](std::string_view s) { return platform::Cp932ToUtf8(s); };
    const std::vector<std::string>& l = mail.Lines;
    std::string to, copies;
    ForEachField(ReplaceChar(l[kRecipientsLine], ',', '\t'), '\t', [&](const std::string& entry) {
        // The run's order: an "@" makes a recipient, then the CC and BCC markers.
        const bool cc = FindText(entry, ">#cc ") != std::string::npos;
        if (entry.find('@') != std::string::npos)
            to += (to.empty() ? "" : ", ") + utf8(entry);
        else if (cc || FindText(entry, ">#bcc ") != std::string::npos)
            copies += (cc ? "Cc: (" : "Bcc: (") + utf8(Trim(entry.substr(std::min<std::size_t>(entry.size(), cc ? 5 : 6)))) +
                      " の宛先 / the addresses in that file)\n";
    });
    const std::vector<std::string> senders = SenderFields(l[kSendersLine]);
    const char* const names[] = {"From: ", "Reply-To: ", "Envelope-From: "};
    std::string text;
    for (std::size_t k = 0; k < senders.size(); ++k)
        if (!senders[k].empty())
            text += names[k] + utf8(Unquoted(senders[k])) + "\n";
    text += "To: " + to + "\n" + copies;
    text += "Subject: " + utf8(NormalizeKana(l[4])) + "\n";
    if (!l[5].empty())
        text += "Attachments: " + utf8(l[5]) + "\n";
    text += "Host: " + utf8(l[1]) + "\nOutcome log: " + utf8(l[0]) + "\n\n";
    for (std::size_t k = kHeaderLines; k < l.size(); ++k)
        text += utf8(NormalizeKana(l[k])) + "\n";
    return text;
}
