// Start-up and activation: the options, the command line and the activation work.
#include "run/TDelivery.h"

#include "jtext/JpWords.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Paths.h"

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
    : programFolder_(std::move(programFolder)), view_(view), clock_(clock), mailer_(mailer)
{
    ResetOptions();
    state_.ResultFilePath = programFolder_ + "$mail_result.csv";
}

void TDelivery::ResetOptions()
{
    state_.SendLimit = 0;
    state_.ProcessName.clear();
    state_.SendUnit = 0;
    state_.MailPause = 0;
    state_.UnitWait = 0;
    state_.BatchMode = state_.InvisibleMode = state_.EncodeSenderName = false;
    state_.AutoResend = state_.KeepOpen = state_.ResendMarker = false;
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
            if (platform::FileExists(path))
                LoadLines(path, state_.JobList);
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
    LoadResultList();
    if (!state_.HadArguments)
        return TActivation::kStayOpen;
    if (!state_.JobListReady) {
        state_.StatusCode = 1;
        return TActivation::kCloseSoon;
    }
    state_.StatusCode = 0;
    platform::DeleteFile(state_.ResultFilePath);
    rows_.Clear();
    view_.ResultRowsReset();
    RunDelivery();
    if (state_.Closing)
        return TActivation::kClosing;
    if (!state_.StopRequest && state_.AutoResend)
        AutoResend();
    if (state_.Closing)
        return TActivation::kClosing;
    return state_.KeepOpen ? TActivation::kStayOpen : TActivation::kCloseSoon;
}
