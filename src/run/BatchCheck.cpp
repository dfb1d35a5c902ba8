// Checking a batch (/v) with the run's own reading of job lists and definitions.
#include "run/TDelivery.h"

#include "jtext/JpWords.h"
#include "jtext/MailAddress.h"
#include "jtext/MailJstr.h"
#include "jtext/SjisBytes.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Process.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>

namespace {

// The program's own starting figure for the time a mail takes.
constexpr double kSecondsPerMail = 5;

std::string Lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// Whether the configured mailer is tarnmail: its file name, without quotes
// and without ".exe", whatever the case.
bool IsTarnmail(const std::string& mailerName)
{
    std::string name = Lower(Trim(mailerName));
    name.erase(std::remove(name.begin(), name.end(), '"'), name.end());
    name = platform::FileNameOf(platform::NormalizeSeparators(name));
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0)
        name.resize(name.size() - 4);
    return name == "tarnmail";
}

} // namespace

int TCheckReport::Errors() const
{
    return static_cast<int>(std::count_if(findings.begin(), findings.end(),
                                          [](const TCheckFinding& f) { return f.severity == TCheckSeverity::kError; }));
}

int TCheckReport::Warnings() const { return static_cast<int>(findings.size()) - Errors(); }

int TCheckReport::ExitCode() const { return Errors() > 0 ? 1 : (Warnings() > 0 ? 2 : 0); }

std::string FormatCheckLine(const TCheckFinding& f)
{
    return std::to_string(f.line) + "," + f.definitionPath + "," + f.code + "," +
           std::string(f.severity == TCheckSeverity::kError ? jp::kCheckError : jp::kCheckWarning) + "," + f.text;
}

TCheckReport CheckBatch(const TRunState& state, const TSettings& settings, const std::string& programFolder,
                        const TBatchReader& files)
{
    TCheckReport report;
    const TRunOptions& o = state.Options;
    // Arguments a run would skip: the batch may not go out as the caller meant.
    for (const std::string& why : o.SkippedArguments)
        report.findings.push_back({0, {}, "E13", TCheckSeverity::kError, why});
    // tarnmail fails a mail whose attachment is missing; other mailers may not.
    const bool tarnmail = IsTarnmail(settings.Name);
    const int lines = static_cast<int>(state.JobList.size());
    const int n = (o.SendLimit != 0 && lines > o.SendLimit) ? o.SendLimit : lines;

    // The schedule, as the run's pacing computes it.
    TCheckSchedule& s = report.schedule;
    s.mails = n;
    const int m = o.SendUnit;
    const double t = o.UnitWait;
    if (m != 0 && t != 0) {
        const int whole = n / m, rest = n % m;
        s.units = whole + (rest != 0 ? 1 : 0);
        s.unitWaits = rest != 0 ? whole : std::max(0, whole - 1);
        s.mailPauses = o.MailPause != 0 ? whole * (m - 1) + std::max(0, rest - 1) : 0;
    } else {
        s.units = n;
        s.unitWaits = t != 0 ? std::max(0, n - 1) : 0;
    }
    s.waitSeconds = s.unitWaits * t * 60 + s.mailPauses * o.MailPause;

    // Which recipient got which subject first, for the repeats.
    std::unordered_map<std::string, int> firstLine;
    for (int i = 0; i < n; ++i) {
        const int line = i + 1;
        const TJob job = ReadJobLine(state.JobList, i, programFolder);
        auto add = [&](const char* code, TCheckSeverity severity, std::string text) {
            report.findings.push_back({line, job.DefinitionPath, code, severity, std::move(text)});
        };
        if (job.Skipped()) {
            add("E01", TCheckSeverity::kError, std::string(jp::kCheckSkipped) + ": " + state.JobList[static_cast<std::size_t>(i)]);
            continue;
        }
        std::vector<std::string> definition;
        const TFileProblem problem = files.Lines(job.DefinitionPath, definition);
        if (problem && !problem.unreadable) {
            add("E12", TCheckSeverity::kError, problem.text);
            continue;
        }
        if (problem || definition.size() < 6) {
            add("E02", TCheckSeverity::kError, std::string(jp::kCheckTooShort));
            continue;
        }
        const std::string line3 = definition[2];
        const TMail mail = ParseMailDefinition(std::move(definition), job.DefinitionPath, programFolder, files);

        if (!mail.Unusable.empty())
            add("E12", TCheckSeverity::kError, mail.Unusable);
        if (mail.AddressList.empty())
            add("E03", TCheckSeverity::kError, std::string(jp::kCheckNoTo));
        for (const std::string& path : mail.MissingFiles)
            add("W04", TCheckSeverity::kWarning, std::string(jp::kCheckFileMissing) + path);
        ForEachField(mail.AttachmentList, ',', [&](const std::string& quoted) {
            const std::string path = quoted.size() >= 2 ? quoted.substr(1, quoted.size() - 2) : quoted;
            if (platform::FileExists(path))
                return;
            if (tarnmail)
                add("E14", TCheckSeverity::kError, std::string(jp::kCheckAttachmentFails) + path);
            else
                add("W04", TCheckSeverity::kWarning, std::string(jp::kCheckAttachmentMissing) + path);
        });

        // Recipients: the entries of line 3 that the run drops, and every address it sends to.
        ForEachField(ReplaceChar(line3, ',', '\t'), '\t', [&](const std::string& token) {
            if (token.find('@') == std::string::npos && FindText(token, ">#cc ") == std::string::npos &&
                FindText(token, ">#bcc ") == std::string::npos)
                add("W05", TCheckSeverity::kWarning, std::string(jp::kCheckBadAddress) + token);
        });
        ForEachField(mail.RecipientDisplay, '\t', [&](const std::string& shown) {
            const std::size_t colon = shown.find(':');
            const std::string entry = colon == std::string::npos ? shown : shown.substr(colon + 1);
            if (!UsableAddress(entry)) {
                add("W05", TCheckSeverity::kWarning, std::string(jp::kCheckBadAddress) + entry);
                return;
            }
            const auto [it, fresh] = firstLine.try_emplace(Lower(entry) + '\x1F' + mail.Subject, line);
            if (!fresh)
                add("W08", TCheckSeverity::kWarning,
                    std::string(jp::kCheckDuplicate) + std::to_string(it->second) + std::string(jp::kCheckDuplicateTail) + entry);
        });

        // What the mailer's command cannot carry: the run's own refusal, and
        // a command the system cannot start.
        const TMailerCommand command =
            BuildCommand(mail, {settings.Name, settings.NoTopt, o.BatchMode, o.EncodeSenderName});
        const std::string commandLine = command.Line();
        const bool tooLong = !platform::CommandLineFits(command.ToStart()) || commandLine.size() > platform::MaxCommandLineBytes();
        if (tooLong)
            add("E11", TCheckSeverity::kError, std::string(jp::kCheckTooLong) + std::to_string(commandLine.size()) + " bytes");
        else if (!command.Refusal().empty())
            add("E06", TCheckSeverity::kError, std::string(jp::kCheckRefused) + command.Refusal());

        // What ISO-2022-JP cannot carry.
        std::string bodyText;
        for (const std::string& l : mail.Body)
            bodyText += l;
        const std::pair<std::string_view, std::string> texts[] = {
            {jp::kFieldSubject, Iso2022JpStrangers(mail.Subject)},
            {jp::kFieldSender, Iso2022JpStrangers(mail.Sender1)},
            {jp::kFieldBody, Iso2022JpStrangers(bodyText)}};
        for (const auto& [name, strangers] : texts) {
            if (!strangers.empty())
                add("W07", TCheckSeverity::kWarning, std::string(jp::kCheckStrangers) + std::string(name) + ": " + strangers);
        }

        // Folders the run writes into.
        if (!mail.OutcomeLogPath.empty() && !platform::DirectoryExists(platform::FolderOf(mail.OutcomeLogPath)))
            add("E09", TCheckSeverity::kError, std::string(jp::kCheckNoLogFolder) + platform::FolderOf(mail.OutcomeLogPath));
        if (!mail.MailFolder.empty() && !platform::DirectoryExists(mail.MailFolder))
            add("E10", TCheckSeverity::kError, std::string(jp::kCheckNoMailFolder) + mail.MailFolder);
    }
    return report;
}

TDelivery::TActivation TDelivery::VerifyBatch()
{
    const TCheckReport report = CheckBatch(state_, settings_, programFolder_, Files());

    std::string file;
    for (const TCheckFinding& f : report.findings)
        file += FormatCheckLine(f) + "\r\n";
    // The report replaces the last one; nothing else is written.
    if (retry_.WriteNewFile(CheckReportPath(), file) != 0)
        view_.ReportUnattended(CheckReportPath() + std::string(jp::kCannotWriteSuffix));

    // The findings in the result list, the first on top.
    rows_.Clear();
    for (auto it = report.findings.rbegin(); it != report.findings.rend(); ++it) {
        TResultRow row;
        row.SendCode = std::to_string(it->line);
        row.Subject = it->text;
        row.Recipients = it->definitionPath;
        row.Status = it->severity == TCheckSeverity::kError ? 1 : 2;
        row.Finding = it->code;
        rows_.InsertTop(std::move(row));
    }
    view_.ResultRowsReset();

    const TCheckSchedule& s = report.schedule;
    char summary[512];
    std::snprintf(summary, sizeof summary, std::string(jp::kCheckSummary).c_str(), s.mails, report.Errors(), report.Warnings(), s.units, s.unitWaits, s.mailPauses, s.waitSeconds,
                  s.EstimateSeconds(kSecondsPerMail), kSecondsPerMail);
    view_.SetLabelState(summary);
    view_.ReportUnattended(summary);
    SetStatus(report.ExitCode());
    return AfterRun();
}
