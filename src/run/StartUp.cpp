// Start-up and activation: the options, the command line, the run, its
// continuation and the end of the process.
#include "run/TDelivery.h"

#include "jtext/JpWords.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "run/TimeFormat.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// A decimal number as the conversion routine reads it: blanks around it, an
// optional sign, digits with an optional fraction, an optional exponent.
bool ParseDecimal(const std::string& text, double& value)
{
    std::size_t i = 0, n = text.size();
    while (i < n && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    std::size_t e = n;
    while (e > i && (text[e - 1] == ' ' || text[e - 1] == '\t'))
        --e;
    const std::string body = text.substr(i, e - i);
    std::size_t p = 0;
    if (p < body.size() && (body[p] == '+' || body[p] == '-'))
        ++p;
    std::size_t digits = 0;
    while (p < body.size() && body[p] >= '0' && body[p] <= '9')
        ++p, ++digits;
    if (p < body.size() && body[p] == '.') {
        ++p;
        while (p < body.size() && body[p] >= '0' && body[p] <= '9')
            ++p, ++digits;
    }
    if (digits == 0)
        return false;
    if (p < body.size() && (body[p] == 'e' || body[p] == 'E')) {
        ++p;
        if (p < body.size() && (body[p] == '+' || body[p] == '-'))
            ++p;
        std::size_t expDigits = 0;
        while (p < body.size() && body[p] >= '0' && body[p] <= '9')
            ++p, ++expDigits;
        if (expDigits == 0)
            return false;
    }
    if (p != body.size())
        return false;
    // A number too large for a double is still a number: strtod makes it
    // infinite, and FloatOption takes the longest wait for it.
    value = std::strtod(body.c_str(), nullptr);
    return !std::isnan(value);
}

// The longest waits the wait timer and the sleep can express: the timer
// counts in milliseconds up to 2^31 - 1 (about 24.8 days). A longer /t or
// /s (1e300, or a number beyond a double) waits that long rather than
// failing: it is a number, and the operator asked for a very long wait.
constexpr double kLongestWaitMs = 2147483647.0;
constexpr double kLongestUnitWaitMinutes = kLongestWaitMs / 60000;
constexpr double kLongestPauseSeconds = kLongestWaitMs / 1000;

double FloatOption(const std::string& value, double longest)
{
    double v = 0;
    if (!ParseDecimal(value, v))
        throw EConvertError("'" + value + std::string(jp::kNotAFloatSuffix));
    // Negative pauses and waits are not used by callers; they count as 0.
    if (v < 0)
        return 0;
    return v > longest ? longest : v;
}

std::int32_t IntegerOption(const std::string& value)
{
    // Not an integer counts as 0; so does a negative value.
    const std::int32_t v = ParseIniInteger(value, 0);
    return v < 0 ? 0 : v;
}

} // namespace

TDelivery::TDelivery(std::string programFolder, IView& view, IClock& clock, IMailerProcess& mailer)
    : programFolder_(std::move(programFolder)), view_(view), clock_(clock),
      trace_(programFolder_ + "TraceMailLog.txt", clock), record_(retry_, clock, view, programFolder_),
      sender_({clock, mailer, retry_, trace_, settings_, state_.Controls, record_.MailLogPath(), [this] { LetEventsThrough(); },
               [this](std::string_view text) { view_.WriteStandardError(text); }}),
      mailer_(mailer)
{
    ResetOptions();
}

void TDelivery::ResetOptions()
{
    state_.Options = TRunOptions{};
    state_.Options.WorkFolder = programFolder_ + "temp/";
    state_.ResendMarker = false;
    state_.JournalPart = 0;
    state_.MailCounter = 0;
    state_.JobList.clear();
    SetStatus(kStatusSent);
}

namespace {

// The option letters, as the table has them (case matters).
constexpr std::string_view kOptionLetters = "PfnKmtsdzirecv";

char OtherCase(char c)
{
    if (c >= 'a' && c <= 'z')
        return static_cast<char>(c - 'a' + 'A');
    if (c >= 'A' && c <= 'Z')
        return static_cast<char>(c - 'A' + 'a');
    return c;
}

// Why an argument that the command line skips is skipped, for the warning.
std::string SkippedArgument(const std::string& arg)
{
    const char letter = arg.size() >= 2 ? arg[1] : '\0';
    const bool known = letter != '\0' && kOptionLetters.find(letter) != std::string_view::npos;
    if (arg[0] == '/') {
        if (letter != '\0' && kOptionLetters.find(OtherCase(letter)) != std::string_view::npos)
            return std::string(jp::kWrongCaseOption) + arg + " (/" + OtherCase(letter) + ")";
        return std::string(jp::kUnknownOption) + arg;
    }
    // "-t" is most likely "/t".
    return std::string(jp::kNotAnOption) + arg + (arg[0] == '-' && known ? std::string(" (/") + letter + ")" : "");
}

} // namespace

bool TDelivery::ParseCommandLine(const std::vector<std::string>& args)
{
    TRunOptions& o = state_.Options;
    o.HadArguments = !args.empty();
    o.JobListReady = false;
    if (args.empty())
        return false;

    bool emptyFolder = false;
    bool jobListGiven = false;
    std::string jobListProblem;
    for (std::size_t k = 0; k < args.size(); ++k) {
        const std::string& arg = args[k];
        if (arg.empty())
            break; // an empty argument ends the examination
        if (arg[0] != '/' || arg.size() < 2 || kOptionLetters.find(arg[1]) == std::string_view::npos) {
            // Skipped, as the table says; but said, so that a mistyped option
            // does not leave a batch unpaced in silence.
            o.SkippedArguments.push_back(SkippedArgument(arg));
            continue;
        }
        const char letter = arg[1];
        auto value = [&]() -> std::string {
            // The next argument is the value, whatever it is.
            if (k + 1 < args.size())
                return args[++k];
            ++k;
            return {};
        };
        switch (letter) {
        case 'P': {
            jobListGiven = true;
            const std::string path = ApplyRelativePathRule(value(), programFolder_);
            if (!platform::FileExists(path)) {
                jobListProblem = std::string(jp::kNoJobList) + path;
                break;
            }
            std::vector<std::string> lines;
            const TFileProblem problem = Files().Lines(path, lines);
            if (problem) {
                jobListProblem = problem.text;
                break;
            }
            // A later /P whose file can be read replaces the list.
            state_.JobList = std::move(lines);
            o.JobListPath = path;
            jobListProblem = state_.JobList.empty() ? std::string(jp::kEmptyJobList) + path : std::string();
            break;
        }
        case 'f': {
            const std::string given = value();
            // An empty value names no folder (it would become the root).
            emptyFolder = given.empty();
            std::string folder = ApplyRelativePathRule(given, programFolder_);
            if (folder.empty() || folder.back() != platform::kPathSeparator)
                folder += platform::kPathSeparator;
            o.WorkFolder = folder;
            break;
        }
        case 'n': o.ProcessName = value(); break;
        case 'K': o.SendLimit = IntegerOption(value()); break;
        case 'm': o.SendUnit = IntegerOption(value()); break;
        case 't': o.UnitWait = FloatOption(value(), kLongestUnitWaitMinutes); break;
        case 's': o.MailPause = FloatOption(value(), kLongestPauseSeconds); break;
        case 'd': o.BatchMode = true; break;
        case 'z': o.EncodeSenderName = true; break;
        case 'i': o.InvisibleMode = true; break;
        case 'r': o.AutoResend = true; break;
        case 'e': o.KeepOpen = true; break;
        case 'c': o.Continue = true; break;
        case 'v': o.VerifyOnly = true; break;
        default: break;
        }
    }

    bool ready = !state_.JobList.empty();
    // The job list's problem stands unless an earlier /P gave a list.
    o.NotReadyReason = ready ? std::string() : !jobListGiven ? std::string(jp::kNoJobListOption) : jobListProblem;
    const bool folderExists = !emptyFolder && platform::DirectoryExists(o.WorkFolder);
    if (!folderExists) {
        o.NotReadyReason = std::string(jp::kNoWorkFolder) + (emptyFolder ? std::string() : o.WorkFolder);
        o.WorkFolder = programFolder_ + "temp/";
        ready = false;
    }
    // /r without a job list resends the failures of the last result file.
    o.ResendOnly = o.AutoResend && !jobListGiven && !o.Continue && !o.VerifyOnly && folderExists;
    o.JobListReady = ready;
    return ready;
}

TDelivery::TActivation TDelivery::Activate()
{
    const TRunOptions& o = state_.Options;
    view_.ClearSummary();
    // A check reads the batch and writes its report alone: not even the result list's files are read.
    if (o.VerifyOnly && o.HadArguments) {
        if (!o.JobListReady) {
            view_.WriteStandardError(o.NotReadyReason);
            SetStatus(kStatusFailure);
            return TActivation::kCloseSoon;
        }
        return VerifyBatch();
    }
    // Arguments the command line skipped are said, and the run goes on.
    for (const std::string& why : o.SkippedArguments) {
        view_.WriteStandardError(why);
        record_.NoteInMailLog(why);
    }
    if (o.ResendOnly)
        return ResendLastResults();
    // A run that starts at once discards the list.
    if (!o.HadArguments || !o.JobListReady)
        LoadResultList();
    if (!o.HadArguments)
        return TActivation::kStayOpen;
    if (!o.JobListReady) {
        view_.WriteStandardError(o.NotReadyReason);
        SetStatus(kStatusFailure);
        return TActivation::kCloseSoon;
    }
    return o.Continue ? ContinueRun() : FreshRun();
}

TDelivery::TActivation TDelivery::AfterRun() const
{
    if (state_.Controls.Closing)
        return TActivation::kClosing;
    return state_.Options.KeepOpen ? TActivation::kStayOpen : TActivation::kCloseSoon;
}

TDelivery::TActivation TDelivery::Refuse(std::string_view why, const std::string& path)
{
    // When the program cannot tell what happened before, it sends nothing and
    // says why rather than guess.
    SetStatus(kStatusFailure);
    const std::string text = std::string(why) + path;
    record_.NoteInMailLog(text);
    view_.ShowWarning(jp::kWarningCaption, text);
    return TActivation::kCloseSoon;
}

TDelivery::TActivation TDelivery::FreshRun()
{
    const TRunOptions& o = state_.Options;
    TJournalFile file = TJournalFile::kMissing;
    const TJournalState last = record_.ReadJournal(file);
    if (file == TJournalFile::kUnreadable || (file == TJournalFile::kRead && !last.present))
        return Refuse(jp::kJournalUnreadableNoStart, record_.JournalPath());
    // Starting afresh would send the part already sent a second time.
    if (last.Unfinished() && last.jobListPath == o.JobListPath && last.jobListDigest == JobListDigest(state_.JobList))
        return Refuse(jp::kUnfinishedRun, o.JobListPath);

    SetStatus(kStatusSent);
    rows_.Clear();
    view_.ResultRowsReset();
    state_.JournalPart = 0;
    if (!record_.BeginRun(o.JobListPath, state_.JobList)) {
        ReportWriteFailure(record_.JournalPath());
        return TActivation::kClosing;
    }
    const TRunTally tally = RunDelivery();
    ReportSummary(tally);
    FinishRun(true, tally);
    return AfterRun();
}

void TDelivery::ReportSummary(const TRunTally& t)
{
    if (state_.Controls.Closing)
        return;
    char head[256];
    std::snprintf(head, sizeof head, std::string(jp::kRunSummary).c_str(), t.sent, t.failed, t.unknown, t.skipped, t.resent);
    Note(head + ResultFilePath());
}

void TRunTally::Add(const TRunTally& later)
{
    if (firstFailure == 0)
        firstFailure = later.firstFailure;
    sent += later.sent;
    failed += later.failed;
    unknown += later.unknown;
    skipped += later.skipped;
    resent += later.resent;
}

// After the run: the automatic resend, then the journal notes that nothing is
// left to continue. A stopped run stays open for a continuation.
void TDelivery::FinishRun(bool mayResend, const TRunTally& run)
{
    const TRunControls& k = state_.Controls;
    std::optional<TRunTally> resend;
    if (!k.Closing && !k.StopRequest && mayResend && state_.Options.AutoResend)
        resend = AutoResend();
    if (!k.Closing && !k.StopRequest)
        record_.RunFinished(state_.JournalPart);
    record_.CloseJournal();
    if (settings_.WorstExitCode == 0 || k.Closing)
        return;
    // The first failure that still stands: the resend's, else one of the
    // run's that the resend did not take (an unknown outcome, a definition
    // gone, a code held back). A mail the resend sent counts as sent.
    std::int32_t worst = run.firstFailure;
    if (resend)
        worst = resend->firstFailure != 0 ? resend->firstFailure : run.failed + run.unknown > resend->Mails() ? run.firstFailure : 0;
    SetStatus(worst);
}

void TDelivery::ReportWriteFailure(const std::string& path)
{
    SetStatus(kStatusFailure);
    // The box keeps its words; the mail log and standard error name the file and why.
    const std::string why = path + ": " + platform::LastFileError();
    retry_.AppendFile(MailLogPath(), FormatMailLogStamp(clock_.Now()) + ": System WriteError " + why + "\r\n");
    view_.WriteStandardError(std::string(jp::kWriteFailed) + why);
    std::string text(jp::kWriteFailureLine1);
    text += "\r\n";
    text += jp::kWriteFailureLine2;
    view_.ShowWarning(jp::kWarningCaption, text);
    state_.Controls.Closing = true;
    view_.CloseWindow();
}

void TDelivery::TerminationRequested(int signal)
{
    TRunControls& k = state_.Controls;
    if (k.TerminationCount++ == 0)
        k.TerminationTick = clock_.Tick();
    k.TerminationSignal = signal;
    k.StopRequest = true;
}

void TDelivery::PollTermination()
{
    if (!termination_)
        return;
    while (const int signal = termination_->TakeRequest())
        TerminationRequested(signal);
}

int TDelivery::FinishProcess(int statusCode)
{
    // No mailer outlives the program.
    mailer_.EndSession();
    mailer_.Close();
    record_.RetryPending();
    if (!record_.HasPending())
        return statusCode;
    record_.ReportUnwritten();
    return 1;
}
