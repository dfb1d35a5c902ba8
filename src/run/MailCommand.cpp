// Whether the mailer command reaches the mailer as meant: split by the rules
// the mailer is started with, it must give each option value as one argument
// and the address list as written. A mail whose command cannot do that is
// never handed to the mailer.
#include "run/TDelivery.h"

#include "jtext/SjisBytes.h"
#include "platform/Process.h"

#include <algorithm>

namespace {

// A value in one pair of double quotes is meant without them: the quotes only
// group its words into one argument (the quoted sender of the /z encoding).
std::string WithoutGroupingQuotes(std::string s)
{
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"')
        return s.substr(1, s.size() - 2);
    return s;
}

std::string Join(const std::vector<std::string>& words, std::size_t from, std::size_t to)
{
    std::string out;
    for (std::size_t k = from; k < to; ++k) {
        if (k > from)
            out += ' ';
        out += words[k];
    }
    return out;
}

std::size_t CountChar(std::string_view s, char ch)
{
    std::size_t n = 0;
    for (std::size_t i = FindChar(s, ch); i != std::string_view::npos; i = FindChar(s, ch, i + 1))
        ++n;
    return n;
}

} // namespace

std::string QuoteSubjectForMailer(std::string_view subject)
{
    // As the Microsoft C runtime reads a quoted argument: a quote inside is
    // written \" with the backslashes in front of it doubled, and backslashes
    // that end the text are doubled before the closing quote. Only real
    // backslash characters count: the second byte 0x5C of a double-byte
    // character (表) is not one.
    std::string out;
    out.reserve(subject.size() + 16);
    out += '"';
    std::size_t backslashes = 0;
    for (std::size_t i = 0; i < subject.size();) {
        const std::size_t len = SjisCharLen(subject, i);
        if (len == 1 && subject[i] == '\\') {
            ++backslashes;
        } else if (len == 1 && subject[i] == '"') {
            out.append(2 * backslashes + 1, '\\');
            out += '"';
            backslashes = 0;
        } else {
            out.append(backslashes, '\\');
            out.append(subject.substr(i, len));
            backslashes = 0;
        }
        i += len;
    }
    out.append(2 * backslashes, '\\');
    out += '"';
    return out;
}

std::string SenderForMailer(std::string_view value)
{
    const bool grouped = value.size() >= 2 && value.front() == '"' && value.back() == '"'
        && FindChar(value.substr(1, value.size() - 2), '"') == std::string_view::npos;
    const bool cut = FindChar(value, ' ') != std::string_view::npos || FindChar(value, '\t') != std::string_view::npos
        || FindChar(value, '"') != std::string_view::npos;
    return grouped || !cut ? std::string(value) : QuoteSubjectForMailer(value);
}

std::string TDelivery::CommandRefusal(bool batch, std::string_view command) const
{
    const TCurrentMail& m = mail_;
    for (const std::string* field : {&settings_.Name, &m.OutcomeLogPath, &m.Host, &m.MailFolder, &m.AddressList,
                                     &m.RecipientDisplay, &m.Sender1, &m.Sender2, &m.Sender3, &m.Subject,
                                     &m.AttachmentList, &m.AttachmentNames}) {
        if (field->find('\0') != std::string::npos)
            return "a field of the mail holds a NUL byte";
    }

    // Longer than any program can be given: refused before it is split.
    if (command.size() > platform::MaxCommandLineBytes())
        return "the command is longer than a program can be given";

    // What the pieces mean, in their order; the address list is checked apart.
    std::vector<std::string> meant;
    const std::vector<std::string> program = platform::SplitCommandLine(settings_.Name);
    if (program.size() != 1)
        return "the mailer command is not one program name";
    meant.push_back(program[0]);
    if (batch)
        meant.push_back("-d");
    if (!m.Host.empty())
        meant.push_back("-h" + Trim(m.Host));
    if (!m.Sender1.empty())
        meant.push_back("-f" + WithoutGroupingQuotes(Trim(EncodeSender(m.Sender1))));
    if (!m.Sender2.empty())
        meant.push_back("-r" + WithoutGroupingQuotes(Trim(m.Sender2)));
    if (!m.Sender3.empty())
        meant.push_back("-n" + WithoutGroupingQuotes(Trim(m.Sender3)));
    if (!m.Subject.empty())
        meant.push_back("-s" + Trim(m.Subject));
    if (!m.AttachmentList.empty()) {
        // Each path in its own pair of quotes: a path holding a quote has no
        // form the mailer could read back.
        const std::string list = Trim(m.AttachmentList);
        const std::size_t paths = CountChar(m.AttachmentNames, '\t') + 1;
        if (CountChar(list, '"') != 2 * paths)
            return "an attachment path holds a double quote";
        std::string value = list;
        value.erase(std::remove(value.begin(), value.end(), '"'), value.end());
        meant.push_back("-a" + value);
    }
    meant.push_back("-m");
    meant.push_back("-Fbody.txt");
    const bool endsInT = !batch && settings_.NoTopt == 0;

    // In batch mode the redirection is the script's, not an argument.
    std::string_view line = command;
    constexpr std::string_view kRedirect = " > $log.txt";
    if (batch && line.size() >= kRedirect.size() && line.substr(line.size() - kRedirect.size()) == kRedirect)
        line.remove_suffix(kRedirect.size());
    if (batch) {
        const std::string refusal = platform::BatchLineRefusal(line);
        if (!refusal.empty())
            return refusal;
    }
    const std::vector<std::string> args = platform::SplitCommandLine(line);

    if (args.size() < meant.size() + (endsInT ? 1 : 0))
        return "the command splits into fewer arguments than it has pieces";
    for (std::size_t k = 0; k < meant.size(); ++k) {
        if (args[k] != meant[k])
            return "argument " + std::to_string(k) + " would not reach the mailer as written";
    }
    std::size_t end = args.size();
    if (endsInT) {
        if (args.back() != "-t")
            return "the last argument would not be -t";
        --end;
    }
    // The address list arrives as its words; joined by one space they must
    // give it back, and no word may pass for an option.
    if (Join(args, meant.size(), end) != Trim(m.AddressList))
        return "the address list would not reach the mailer as written";
    for (std::size_t k = meant.size(); k < end; ++k) {
        if (args[k].size() > 1 && args[k][0] == '-')
            return "a word of the address list would pass for an option";
    }
    return {};
}
