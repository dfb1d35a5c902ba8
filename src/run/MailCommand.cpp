#include "run/MailCommand.h"

#include "jtext/HenkanJ.h"
#include "jtext/MailJstr.h"
#include "jtext/SjisBytes.h"
#include "platform/CodePage.h"

#include <algorithm>

namespace {

constexpr std::string_view kRedirect = " > $log.txt";

// A value in one pair of double quotes is meant without them: the quotes only
// group its words into one argument (the quoted sender of the /z encoding).
std::string WithoutGroupingQuotes(std::string s)
{
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"')
        return s.substr(1, s.size() - 2);
    return s;
}

std::size_t CountChar(std::string_view s, char ch)
{
    std::size_t n = 0;
    for (std::size_t i = FindChar(s, ch); i != std::string_view::npos; i = FindChar(s, ch, i + 1))
        ++n;
    return n;
}

bool AllBelowP(const std::string& s)
{
    for (unsigned char c : s) {
        if (c >= 0x50)
            return false;
    }
    return true;
}

// The arguments a piece after the program name splits into.
std::vector<std::string> SplitPiece(std::string_view text)
{
    std::vector<std::string> args = platform::SplitCommandLine("p " + std::string(text));
    args.erase(args.begin());
    return args;
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

namespace {

// "=?UTF-8?B?" + Base64 of the text in UTF-8 + "?="; a byte that forms no
// character becomes U+FFFD.
std::string Utf8EncodedWord(const std::string& sjis)
{
    std::string utf8 = platform::Cp932ToUtf8(sjis);
    // The platform keeps such a byte as U+DC80..U+DCFF (ED B2 80 .. ED B3 BF).
    for (std::size_t p = utf8.find('\xED'); p != std::string::npos; p = utf8.find('\xED', p + 1))
        if (p + 2 < utf8.size() && (utf8[p + 1] == '\xB2' || utf8[p + 1] == '\xB3'))
            utf8.replace(p, 3, "\xEF\xBF\xBD");
    return "=?UTF-8?B?" + EncodeBase64(utf8) + "?=";
}

} // namespace

std::string EncodeSender(const std::string& sender1, bool encodeSenderName)
{
    if (!encodeSenderName)
        return sender1;
    if (!HasDoubleByte(sender1) && AllBelowP(sender1))
        return sender1;
    if (sender1.size() > 2 && sender1.front() == '"' && sender1.back() == '"') {
        const std::string inner = sender1.substr(1, sender1.size() - 2);
        const std::size_t lt = FindLastChar(inner, '<');
        if (lt == std::string::npos || lt == 0)
            return sender1;
        // Widened first: half-width katakana has no place in ISO-2022-JP. A name
        // that still holds a character outside JIS X 0208 (①, ㈱, 髙: the NEC and
        // IBM rows) goes out in UTF-8, which every reader decodes, instead of an
        // ISO-2022-JP word that would carry row codes or raw bytes no reader can.
        const std::string name = NormalizeKana(inner.substr(0, lt));
        const std::string word = Iso2022JpStrangers(name).empty() ? EncodeMimeHeader(name) : Utf8EncodedWord(name);
        return "\"" + word + " " + inner.substr(lt) + "\"";
    }
    return sender1;
}

TMailerCommand BuildCommand(const TMail& m, const TCommandSettings& settings)
{
    TMailerCommand cmd;
    cmd.batch_ = settings.Batch;
    cmd.endsInT_ = !settings.Batch && settings.NoTopt == 0;
    std::string& refusal = cmd.refusal_;
    auto refuse = [&](std::string why) {
        if (refusal.empty()) // the first reason is the one told
            refusal = std::move(why);
    };
    // A piece that means one argument, which its text must split back into.
    auto option = [&](std::string text, std::string meant) {
        if (SplitPiece(text) != std::vector<std::string>{meant})
            refuse("argument " + std::to_string(cmd.pieces_.size()) + " would not reach the mailer as written");
        cmd.pieces_.push_back({std::move(text), {std::move(meant)}});
    };

    for (const std::string* field : {&settings.Name, &m.OutcomeLogPath, &m.Host, &m.MailFolder, &m.AddressList,
                                     &m.RecipientDisplay, &m.Sender1, &m.Sender2, &m.Sender3, &m.Subject,
                                     &m.AttachmentList, &m.AttachmentNames}) {
        if (field->find('\0') != std::string::npos)
            refuse("a field of the mail holds a NUL byte");
    }

    std::vector<std::string> program = platform::SplitCommandLine(settings.Name);
    std::string programText = settings.Name;
    // A name without quotes is one path, blanks and all
    // (C:\Program Files\Tarnwick\smail.exe): written in quotes.
    if (program.size() > 1 && settings.Name.find('"') == std::string::npos) {
        program = {Trim(settings.Name)};
        programText = QuoteSubjectForMailer(program.front());
    }
    // Quotes in a program name only group, but one left open would take in
    // every piece after it.
    if (program.size() != 1 || CountChar(settings.Name, '"') % 2 != 0)
        refuse("the mailer command is not one program name");
    cmd.pieces_.push_back({programText, program.empty() ? std::vector<std::string>{""} : program});
    if (settings.Batch)
        option("-d", "-d");
    if (!m.Host.empty())
        option("-h" + Trim(m.Host), "-h" + Trim(m.Host));
    if (!m.Sender1.empty()) {
        const std::string from = Trim(EncodeSender(m.Sender1, settings.EncodeSenderName));
        option("-f" + SenderForMailer(from), "-f" + WithoutGroupingQuotes(from));
    }
    if (!m.Sender2.empty())
        option("-r" + SenderForMailer(Trim(m.Sender2)), "-r" + WithoutGroupingQuotes(Trim(m.Sender2)));
    if (!m.Sender3.empty())
        option("-n" + SenderForMailer(Trim(m.Sender3)), "-n" + WithoutGroupingQuotes(Trim(m.Sender3)));
    if (!m.Subject.empty())
        option("-s" + QuoteSubjectForMailer(Trim(m.Subject)), "-s" + Trim(m.Subject));
    if (!m.AttachmentList.empty()) {
        // Each path in its own pair of quotes: a path holding a quote has no
        // form the mailer could read back.
        const std::string list = Trim(m.AttachmentList);
        if (CountChar(list, '"') != 2 * (CountChar(m.AttachmentNames, '\t') + 1))
            refuse("an attachment path holds a double quote");
        std::string value = list;
        value.erase(std::remove(value.begin(), value.end(), '"'), value.end());
        option("-a" + list, "-a" + value);
    }
    cmd.pieces_.push_back({"-m -Fbody.txt", {"-m", "-Fbody.txt"}});
    if (!m.AddressList.empty()) {
        // The address list goes in as written and arrives as its words:
        // joined by one space they must give it back, and no word may pass
        // for an option.
        const std::string list = Trim(m.AddressList);
        std::vector<std::string> words = SplitPiece(list);
        std::string joined;
        for (const std::string& w : words) {
            joined += (joined.empty() ? "" : " ") + w;
            if (w.size() > 1 && w[0] == '-')
                refuse("a word of the address list would pass for an option");
        }
        if (joined != list)
            refuse("the address list would not reach the mailer as written");
        cmd.pieces_.push_back({list, std::move(words)});
    }

    const std::string line = cmd.Line();
    if (line.size() > platform::MaxCommandLineBytes())
        refuse("the command is longer than a program can be given");
    else if (settings.Batch)
        refuse(platform::BatchLineRefusal(cmd.ToStart().Line));
    return cmd;
}

std::string TMailerCommand::Line() const
{
    std::size_t size = kRedirect.size() + 2;
    for (const TPiece& p : pieces_)
        size += p.Text.size() + 1;
    std::string line;
    line.reserve(size);
    for (const TPiece& p : pieces_) {
        line += p.Text;
        line += ' ';
    }
    if (batch_)
        line += kRedirect;
    else if (endsInT_)
        line += "-t";
    return line;
}

platform::TCommandLine TMailerCommand::ToStart(const std::string& program) const
{
    TMailerCommand resolved = *this;
    resolved.pieces_.front() = {QuoteSubjectForMailer(program), {program}};
    return resolved.ToStart();
}

platform::TCommandLine TMailerCommand::ToStart() const
{
    platform::TCommandLine start;
    start.Line = Line();
    if (batch_)
        start.Line.resize(start.Line.size() - kRedirect.size());
    for (const TPiece& p : pieces_)
        start.Args.insert(start.Args.end(), p.Args.begin(), p.Args.end());
    if (endsInT_)
        start.Args.push_back("-t");
    return start;
}
