// Job-list lines and mail definition files.
#include "run/TDelivery.h"

#include "jtext/HenkanJ.h"
#include "jtext/JpWords.h"
#include "jtext/SjisBytes.h"
#include "platform/Files.h"
#include "platform/FreshFile.h"
#include "platform/Paths.h"

namespace {

constexpr std::size_t kHeaderLines = 6;

using platform::FileNameOf;
using platform::FolderOf;

// The extension of a file name, lower-cased (ASCII), with its dot.
std::string LowerExtension(const std::string& path)
{
    const std::string name = FileNameOf(path);
    const std::size_t dot = FindLastChar(name, '.');
    std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
    for (char& c : ext) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return ext;
}

void DropLast(std::string& s)
{
    if (!s.empty())
        s.pop_back();
}

} // namespace

void TDelivery::ReadJobLine(int index)
{
    job_.DefinitionPath.clear();
    job_.SendCode.clear();
    if (index < 0 || static_cast<std::size_t>(index) >= state_.JobList.size())
        return;
    const std::string& line = state_.JobList[static_cast<std::size_t>(index)];
    const std::size_t comma = FindChar(line, ',');
    if (comma == std::string::npos) {
        // No comma: the whole line is the path, taken as it is.
        job_.DefinitionPath = line;
        return;
    }
    job_.DefinitionPath = ApplyRelativePathRule(std::string_view(line).substr(0, comma), programFolder_);
    job_.SendCode = line.substr(comma + 1);
    if (!platform::FileExists(job_.DefinitionPath))
        job_.DefinitionPath.clear();
}

void TDelivery::ParseMailDefinition()
{
    mail_ = TCurrentMail{};
    std::vector<std::string>& lines = state_.DefinitionLines;
    if (lines.size() < kHeaderLines) {
        state_.StatusCode = -1;
        // The mailer still runs for this mail: it must not find an earlier
        // mail's body. One that survives its removal is a failed body write.
        const std::string stale = state_.WorkFolder + "body.txt";
        platform::DeleteFile(stale);
        if (platform::FileExists(stale) || platform::DirectoryExists(stale))
            ReportWriteFailure();
        return;
    }

    // Line 1: the outcome log, relative to the definition file's folder.
    mail_.OutcomeLogPath = ApplyRelativePathRule(lines[0], FolderOf(platform::NormalizeSeparators(job_.DefinitionPath)));

    // Line 2: host, or host and per-mail folder.
    const std::string& line2 = lines[1];
    if (FindChar(line2, ',') != std::string::npos) {
        mail_.Host = GetField(line2, ',', 1);
        // A comma with nothing after it gives no per-mail folder.
        const std::string folder = GetField(line2, ',', 2);
        if (!folder.empty()) {
            mail_.MailFolder = ApplyRelativePathRule(folder, programFolder_);
            if (mail_.MailFolder.back() != platform::kPathSeparator)
                mail_.MailFolder += platform::kPathSeparator;
            // "host,\" would put the body file (and the batch files) into the
            // root of the file system: such a folder counts as no per-mail
            // folder, and the mail goes through the work folder.
            if (platform::IsFileSystemRoot(mail_.MailFolder))
                mail_.MailFolder.clear();
        }
    } else {
        mail_.Host = line2;
    }

    // Line 3: recipients, with CC and BCC files.
    {
        std::vector<std::string> to;
        // CC and BCC files stay whole texts walked line by line: a list of
        // their lines would cost several times the file.
        std::string cc, bcc;
        auto loadList = [&](const std::string& path, std::string& text) {
            if (!platform::FileExists(path)) {
                if (missingFiles_) // a check of the batch says what a run passes over silently
                    missingFiles_->push_back(path);
                return;
            }
            std::string loaded;
            if (RetryLoad([&] { return platform::TryLoadFile(path, loaded); }))
                text = std::move(loaded); // one that cannot be read leaves the earlier lines
        };
        ForEachField(ReplaceChar(lines[2], ',', '\t'), '\t', [&](const std::string& token) {
            if (token.find('@') != std::string::npos) { // searched by bytes
                to.push_back(token);
            } else if (FindText(token, ">#cc ") != std::string::npos) {
                loadList(ApplyRelativePathRule(Trim(std::string_view(token).substr(std::min<std::size_t>(5, token.size()))), programFolder_), cc);
            } else if (FindText(token, ">#bcc ") != std::string::npos) {
                loadList(ApplyRelativePathRule(Trim(std::string_view(token).substr(std::min<std::size_t>(6, token.size()))), programFolder_), bcc);
            }
        });
        if (!to.empty()) {
            // TO entries go bare into the address list; the display names every kind.
            std::size_t listSize = 0, displaySize = 0;
            bool sizing = true;
            auto add = [&](std::string_view listPrefix, std::string_view displayPrefix, std::string_view entry) {
                if (sizing) {
                    listSize += listPrefix.size() + entry.size() + 1;
                    displaySize += displayPrefix.size() + entry.size() + 1;
                    return;
                }
                mail_.AddressList += listPrefix;
                mail_.AddressList += entry;
                mail_.AddressList += ',';
                mail_.RecipientDisplay += displayPrefix;
                mail_.RecipientDisplay += entry;
                mail_.RecipientDisplay += '\t';
            };
            auto listed = [](std::string_view line) { return !line.empty() && line[0] != '#'; };
            // Two passes, the first only adding up sizes: each list is
            // allocated once, at its size.
            for (int pass = 0; pass < 2; ++pass) {
                for (const std::string& t : to)
                    add("", "TO:", t);
                platform::ForEachLine(cc, [&](std::string_view c, std::string_view) {
                    if (listed(c))
                        add("CC:", "CC:", c);
                });
                platform::ForEachLine(bcc, [&](std::string_view b, std::string_view) {
                    if (listed(b))
                        add("BCC:", "BCC:", b);
                });
                if (sizing) {
                    mail_.AddressList.reserve(listSize);
                    mail_.RecipientDisplay.reserve(displaySize);
                    sizing = false;
                }
            }
            DropLast(mail_.AddressList);
            DropLast(mail_.RecipientDisplay);
        }
    }

    // Line 4: sender fields.
    {
        const std::string line4 = ReplaceChar(lines[3], ',', '\t');
        const std::size_t tab1 = FindChar(line4, '\t');
        if (tab1 == std::string::npos) {
            mail_.Sender1 = line4;
        } else {
            mail_.Sender1 = line4.substr(0, tab1);
            const std::string rest = line4.substr(tab1 + 1);
            const std::size_t tab2 = FindChar(rest, '\t');
            if (tab2 == std::string::npos) {
                mail_.Sender2 = rest;
            } else {
                mail_.Sender2 = rest.substr(0, tab2);
                mail_.Sender3 = rest.substr(tab2 + 1);
            }
        }
    }

    // Line 5: subject.
    mail_.Subject = NormalizeKana(lines[4]);
    mail_.Subject.shrink_to_fit(); // widening reserved twice the line

    // Line 6: attachments, or "*" and an attachment list file.
    {
        std::string text;
        const std::string& line6 = lines[5];
        if (!line6.empty() && line6[0] == '*') {
            const std::string path = ApplyRelativePathRule(std::string_view(line6).substr(1), programFolder_);
            if (LowerExtension(path) == ".csv" && platform::FileExists(path)) {
                std::vector<std::string> list;
                if (LoadLines(path, list)) {
                    for (std::size_t k = 0; k + 1 < list.size(); ++k) {
                        if (!Trim(list[k]).empty()) {
                            text += list[k];
                            text += ',';
                        }
                    }
                    if (!list.empty() && !Trim(list.back()).empty())
                        text += list.back();
                }
            } else {
                text = path;
            }
        } else {
            text = line6;
        }
        ForEachField(ReplaceChar(text, ',', '\t'), '\t', [&](const std::string& field) {
            const std::string path = ApplyRelativePathRule(field, programFolder_);
            mail_.AttachmentList += '"';
            mail_.AttachmentList += path;
            mail_.AttachmentList += "\",";
            mail_.AttachmentNames += FileNameOf(path);
            mail_.AttachmentNames += '\t';
        });
        DropLast(mail_.AttachmentList);
        DropLast(mail_.AttachmentNames);
    }

    // Body: the lines after the header, normalised in place.
    lines.erase(lines.begin(), lines.begin() + kHeaderLines);
    std::size_t bodySize = 0;
    for (std::string& line : lines) {
        line = NormalizeKana(line);
        bodySize += line.size() + 2;
    }

    // The body file; a check of the batch writes nothing.
    if (state_.VerifyOnly)
        return;
    const std::string bodyPath = (mail_.MailFolder.empty() ? state_.WorkFolder : mail_.MailFolder) + "body.txt";
    platform::DeleteFile(bodyPath);
    std::string body;
    body.reserve(bodySize);
    for (const std::string& line : lines) {
        body += line;
        body += "\r\n";
    }
    // A new file of our own, never one someone else put there (the folder may
    // be shared): a file that survived the removal is replaced; one that
    // cannot be created is a failed write.
    if (RetryWrite([&] { return platform::TryWriteFreshFile(bodyPath, body); }) != 0)
        ReportWriteFailure();
}

void TDelivery::ReportWriteFailure()
{
    state_.StatusCode = 1;
    AppendFile(MailLogPath(), FormatMailLogStamp(clock_.Now()) + ": System WriteError");
    std::string text(jp::kWriteFailureLine1);
    text += "\r\n";
    text += jp::kWriteFailureLine2;
    view_.ShowWarning(jp::kWarningCaption, text);
    state_.Closing = true;
    view_.CloseWindow();
}
