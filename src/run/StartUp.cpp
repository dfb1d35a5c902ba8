// Start-up and activation: the options, the command line and the activation work.
#include "run/TDelivery.h"

#include "jtext/JpWords.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Paths.h"

#include "jtext/SjisBytes.h"

#include <algorithm>
#include <cmath>
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
    : programFolder_(std::move(programFolder)), view_(view), clock_(clock), mailer_(mailer),
      record_(retry_, clock, view, programFolder_)
{
    ResetOptions();
    state_.ResultFilePath = record_.ResultFilePath();
}

void TDelivery::ResetOptions()
{
    state_.SendLimit = 0;
    state_.ProcessName.clear();
    state_.SendUnit = 0;
    state_.MailPause = 0;
    state_.UnitWait = 0;
    state_.BatchMode = state_.InvisibleMode = state_.EncodeSenderName = false;
    state_.AutoResend = state_.KeepOpen = state_.ResendMarker = state_.Continue = state_.VerifyOnly = false;
    state_.MailCounter = 0;
    state_.WorkFolder = programFolder_ + "temp/";
    state_.StatusCode = 0;
    state_.JobList.clear();
    state_.DefinitionLines.clear();
}

bool TDelivery::ParseCommandLine(const std::vector<std::string>& args)
{
    state_.HadArguments = !args.empty();
    state_.JobListReady = false;
    if (args.empty())
        return false;

    bool emptyFolder = false;
    for (std::size_t k = 0; k < args.size(); ++k) {
        const std::string& arg = args[k];
        if (arg.empty())
            break; // an empty argument ends the examination
        if (arg[0] != '/' || arg.size() < 2)
            continue;
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
            const std::string path = ApplyRelativePathRule(value(), programFolder_);
            if (platform::FileExists(path) && LoadLines(path, state_.JobList))
                state_.JobListPath = path;
            break;
        }
        case 'f': {
            const std::string given = value();
            // An empty value names no folder (it would become the root).
            emptyFolder = given.empty();
            std::string folder = ApplyRelativePathRule(given, programFolder_);
            if (folder.empty() || folder.back() != platform::kPathSeparator)
                folder += platform::kPathSeparator;
            state_.WorkFolder = folder;
            break;
        }
        case 'n': state_.ProcessName = value(); break;
        case 'K': state_.SendLimit = IntegerOption(value()); break;
        case 'm': state_.SendUnit = IntegerOption(value()); break;
        case 't': state_.UnitWait = FloatOption(value(), kLongestUnitWaitMinutes); break;
        case 's': state_.MailPause = FloatOption(value(), kLongestPauseSeconds); break;
        case 'd': state_.BatchMode = true; break;
        case 'z': state_.EncodeSenderName = true; break;
        case 'i': state_.InvisibleMode = true; break;
        case 'r': state_.AutoResend = true; break;
        case 'e': state_.KeepOpen = true; break;
        case 'c': state_.Continue = true; break;
        case 'v': state_.VerifyOnly = true; break;
        default: break; // letters not in the table (also /p, /k, /M) are skipped
        }
    }

    bool ready = !state_.JobList.empty();
    if (emptyFolder || !platform::DirectoryExists(state_.WorkFolder)) {
        state_.WorkFolder = programFolder_ + "temp/";
        ready = false;
    }
    state_.JobListReady = ready;
    return ready;
}

TDelivery::TActivation TDelivery::Activate()
{
    view_.ClearSummary();
    // A check reads the batch and writes its report alone: not even the result list's files are read.
    if (state_.VerifyOnly && state_.HadArguments) {
        if (!state_.JobListReady) {
            state_.StatusCode = 1;
            return TActivation::kCloseSoon;
        }
        return VerifyBatch();
    }
    // A run that starts at once discards the list: the journal's lines are not needed for it.
    const bool freshRun = state_.HadArguments && state_.JobListReady && !state_.Continue;
    LoadResultList(!freshRun);
    if (!state_.HadArguments)
        return TActivation::kStayOpen;
    if (!state_.JobListReady) {
        state_.StatusCode = 1;
        return TActivation::kCloseSoon;
    }
    if (state_.Continue)
        return ContinueRun();
    state_.StatusCode = 0;
    rows_.Clear();
    view_.ResultRowsReset();
    if (!record_.BeginRun(state_.JobListPath, state_.JobList)) {
        ReportWriteFailure();
        return TActivation::kClosing;
    }
    RunDelivery();
    FinishRun(true);
    if (state_.Closing)
        return TActivation::kClosing;
    return state_.KeepOpen ? TActivation::kStayOpen : TActivation::kCloseSoon;
}

// After the run: the automatic resend, then the journal notes that nothing is
// left to continue. A stopped run stays open for a continuation.
void TDelivery::FinishRun(bool mayResend)
{
    if (state_.Closing || state_.StopRequest)
        return;
    if (mayResend && state_.AutoResend)
        AutoResend();
    if (!state_.Closing && !state_.StopRequest)
        record_.RunFinished();
}

TDelivery::TActivation TDelivery::ContinueRun()
{
    state_.StatusCode = 0;
    auto c = std::make_unique<TContinuation>();
    c->journal = record_.ReadJournal();
    const TJournalState& j = c->journal;
    if (!j.present || j.finished)
        return state_.KeepOpen ? TActivation::kStayOpen : TActivation::kCloseSoon; // nothing to continue
    if (j.jobListPath != state_.JobListPath || j.jobListDigest != JobListDigest(state_.JobList)) {
        // Guessing which mails of another list were sent could send them twice.
        state_.StatusCode = 1;
        view_.ShowWarning(jp::kWarningCaption, std::string(jp::kOtherJobList) + state_.JobListPath);
        return TActivation::kCloseSoon;
    }

    record_.RepairResultFile();
    std::vector<std::string> lines;
    if (platform::FileExists(state_.ResultFilePath))
        LoadLines(state_.ResultFilePath, lines);
    const TStartedMailIndex index(j.started);
    FillResultRows(lines, index);
    if (j.inResend) {
        state_.JobList = j.resendLines;
        state_.ResendMarker = j.resendMarker;
    }
    // A mail has an outcome when the result file holds its line; a mail that
    // was started and has none may have been sent: its outcome is unknown.
    std::vector<bool> recorded(j.started.size(), false);
    for (const std::string& line : lines) {
        if (const TStartedMail* m = index.Find(line))
            recorded[static_cast<std::size_t>(m - j.started.data())] = true;
    }
    c->done.assign(state_.JobList.size(), false);
    c->unknown.assign(state_.JobList.size(), nullptr);
    for (std::size_t k = 0; k < j.started.size(); ++k) {
        const auto i = static_cast<std::size_t>(j.started[k].index);
        if (i >= c->done.size())
            continue;
        c->done[i] = recorded[k];
        c->unknown[i] = recorded[k] ? nullptr : &j.started[k];
    }
    state_.MailCounter = std::max(state_.MailCounter, j.highestCounter);
    const bool wasResend = j.inResend;
    continuation_ = std::move(c);
    RunDelivery();
    continuation_.reset();
    // The resend follows a continued first run as it follows any run.
    FinishRun(!wasResend);
    if (state_.Closing)
        return TActivation::kClosing;
    return state_.KeepOpen ? TActivation::kStayOpen : TActivation::kCloseSoon;
}
