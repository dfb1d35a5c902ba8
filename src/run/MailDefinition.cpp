#include "run/MailDefinition.h"

#include "jtext/HenkanJ.h"
#include "jtext/SjisBytes.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "run/Job.h"

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

TMail ParseMailDefinition(std::vector<std::string> lines, const std::string& definitionPath,
                          const std::string& programFolder, const TBatchReader& files)
{
    TMail mail;
    if (lines.size() < kHeaderLines) {
        mail.TooShort = true;
        return mail;
    }

    // Line 1: the outcome log, relative to the definition file's folder.
    mail.OutcomeLogPath = ApplyRelativePathRule(lines[0], FolderOf(platform::NormalizeSeparators(definitionPath)));

    // Line 2: host, or host and per-mail folder.
    const std::string& line2 = lines[1];
    if (FindChar(line2, ',') != std::string::npos) {
        mail.Host = GetField(line2, ',', 1);
        // A comma with nothing after it gives no per-mail folder.
        const std::string folder = GetField(line2, ',', 2);
        if (!folder.empty()) {
            mail.MailFolder = ApplyRelativePathRule(folder, programFolder);
            if (mail.MailFolder.back() != platform::kPathSeparator)
                mail.MailFolder += platform::kPathSeparator;
            // "host,\" would put the body file (and the batch files) into the
            // root of the file system: such a folder counts as no per-mail
            // folder, and the mail goes through the work folder.
            if (platform::IsFileSystemRoot(mail.MailFolder))
                mail.MailFolder.clear();
        }
    } else {
        mail.Host = line2;
    }

    // Line 3: recipients, with CC and BCC files.
    {
        std::vector<std::string> to;
        // CC and BCC files stay whole texts walked line by line: a list of
        // their lines would cost several times the file.
        std::string cc, bcc;
        auto loadList = [&](const std::string& path, std::string& text) {
            if (!platform::FileExists(path)) {
                mail.MissingFiles.push_back(path);
                return;
            }
            // One that cannot be used fails the mail: it must not go without its CC or BCC.
            const TFileProblem problem = files.Text(path, text);
            if (problem && mail.Unusable.empty())
                mail.Unusable = problem.text;
        };
        ForEachField(ReplaceChar(lines[2], ',', '\t'), '\t', [&](const std::string& token) {
            if (token.find('@') != std::string::npos) { // searched by bytes
                to.push_back(token);
            } else if (FindText(token, ">#cc ") != std::string::npos) {
                loadList(ApplyRelativePathRule(Trim(std::string_view(token).substr(std::min<std::size_t>(5, token.size()))), programFolder), cc);
            } else if (FindText(token, ">#bcc ") != std::string::npos) {
                loadList(ApplyRelativePathRule(Trim(std::string_view(token).substr(std::min<std::size_t>(6, token.size()))), programFolder), bcc);
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
                mail.AddressList += listPrefix;
                mail.AddressList += entry;
                mail.AddressList += ',';
                mail.RecipientDisplay += displayPrefix;
                mail.RecipientDisplay += entry;
                mail.RecipientDisplay += '\t';
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
                    mail.AddressList.reserve(listSize);
                    mail.RecipientDisplay.reserve(displaySize);
                    sizing = false;
                }
            }
            DropLast(mail.AddressList);
            DropLast(mail.RecipientDisplay);
        }
    }

    // Line 4: sender fields.
    {
        const std::string line4 = ReplaceChar(lines[3], ',', '\t');
        const std::size_t tab1 = FindChar(line4, '\t');
        if (tab1 == std::string::npos) {
            mail.Sender1 = line4;
        } else {
            mail.Sender1 = line4.substr(0, tab1);
            const std::string rest = line4.substr(tab1 + 1);
            const std::size_t tab2 = FindChar(rest, '\t');
            if (tab2 == std::string::npos) {
                mail.Sender2 = rest;
            } else {
                mail.Sender2 = rest.substr(0, tab2);
                mail.Sender3 = rest.substr(tab2 + 1);
            }
        }
    }

    // Line 5: subject.
    mail.Subject = NormalizeKana(lines[4]);
    mail.Subject.shrink_to_fit(); // widening reserved twice the line

    // Line 6: attachments, or "*" and an attachment list file.
    {
        std::string text;
        const std::string& line6 = lines[5];
        if (!line6.empty() && line6[0] == '*') {
            const std::string path = ApplyRelativePathRule(std::string_view(line6).substr(1), programFolder);
            if (LowerExtension(path) == ".csv" && platform::FileExists(path)) {
                std::vector<std::string> list;
                const TFileProblem problem = files.Lines(path, list);
                if (problem && mail.Unusable.empty())
                    mail.Unusable = problem.text;
                for (std::size_t k = 0; k + 1 < list.size(); ++k) {
                    if (!Trim(list[k]).empty()) {
                        text += list[k];
                        text += ',';
                    }
                }
                if (!list.empty() && !Trim(list.back()).empty())
                    text += list.back();
            } else {
                text = path;
            }
        } else {
            text = line6;
        }
        ForEachField(ReplaceChar(text, ',', '\t'), '\t', [&](const std::string& field) {
            const std::string path = ApplyRelativePathRule(field, programFolder);
            mail.AttachmentList += '"';
            mail.AttachmentList += path;
            mail.AttachmentList += "\",";
            mail.AttachmentNames += FileNameOf(path);
            mail.AttachmentNames += '\t';
        });
        DropLast(mail.AttachmentList);
        DropLast(mail.AttachmentNames);
    }

    // Body: the lines after the header, widened.
    lines.erase(lines.begin(), lines.begin() + kHeaderLines);
    for (std::string& line : lines)
        line = NormalizeKana(line);
    mail.Body = std::move(lines);
    return mail;
}

std::string BodyText(const TMail& mail)
{
    std::size_t size = 0;
    for (const std::string& line : mail.Body)
        size += line.size() + 2;
    std::string body;
    body.reserve(size);
    for (const std::string& line : mail.Body) {
        body += line;
        body += "\r\n";
    }
    return body;
}
