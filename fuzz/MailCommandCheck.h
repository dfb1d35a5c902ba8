// The property every mailer command must have: either the mail is refused, or
// its command, split by the rules the mailer is started with, gives back each
// option value as one argument and the address list as written; in batch mode
// the script runs those same arguments. Computed here apart from the code
// under test, from the current mail's fields.
#pragma once

#include "FuzzCheck.h"
#include "jtext/SjisBytes.h"
#include "platform/Process.h"
#include "run/TDelivery.h"

#include <string>
#include <string_view>
#include <vector>

namespace fuzzcheck {

inline std::string Unquoted(std::string s)
{
    return s.size() >= 2 && s.front() == '"' && s.back() == '"' ? s.substr(1, s.size() - 2) : s;
}

// The words of one line of /bin/sh text as the shell reads them, for the
// forms MakeBatchScript writes: '...' and \' pieces, blanks between words.
inline std::vector<std::string> ShellWords(std::string_view line)
{
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ')
            ++i;
        if (i == line.size())
            break;
        std::string w;
        while (i < line.size() && line[i] != ' ') {
            if (line[i] == '\'') {
                const std::size_t close = line.find('\'', i + 1);
                FUZZ_CHECK(close != std::string_view::npos);
                w.append(line.substr(i + 1, close - i - 1));
                i = close + 1;
            } else if (line[i] == '\\' && i + 1 < line.size()) {
                w += line[i + 1];
                i += 2;
            } else {
                w += line[i++];
            }
        }
        words.push_back(std::move(w));
    }
    return words;
}

// The exec line of a batch script: everything after the TZ line, the quoted
// parts of which may span lines.
inline std::vector<std::string> ScriptWords(const std::string& script)
{
    const std::string head = "TZ=JST-9; export TZ\n";
    FUZZ_CHECK(script.compare(0, head.size(), head) == 0);
    FUZZ_CHECK(!script.empty() && script.back() == '\n');
    return ShellWords(std::string_view(script).substr(head.size(), script.size() - head.size() - 1));
}

// Checks one mode; returns true when the mail was handed over (not refused).
inline bool CheckMailCommand(TDelivery& delivery, bool batch)
{
    const std::string command = delivery.BuildCommand(batch);
    const std::string refusal = delivery.CommandRefusal(batch, command);
    const TCurrentMail& m = delivery.CurrentMail();
    const TSettings& settings = delivery.Settings();

    bool nul = settings.Name.find('\0') != std::string::npos;
    for (const std::string* f : {&m.Host, &m.AddressList, &m.Sender1, &m.Sender2, &m.Sender3, &m.Subject,
                                 &m.AttachmentList, &m.RecipientDisplay, &m.OutcomeLogPath, &m.MailFolder})
        nul = nul || f->find('\0') != std::string::npos;
    if (nul)
        FUZZ_CHECK(!refusal.empty());
    if (!refusal.empty())
        return false;

    std::string_view line = command;
    const std::string_view redirect = " > $log.txt";
    if (batch) {
        FUZZ_CHECK(line.size() >= redirect.size() && line.substr(line.size() - redirect.size()) == redirect);
        line.remove_suffix(redirect.size());
    }
    const std::vector<std::string> args = platform::SplitCommandLine(line);
    std::size_t k = 0;
    auto next = [&]() -> const std::string& {
        FUZZ_CHECK(k < args.size());
        return args[k++];
    };
    next();
    if (batch)
        FUZZ_CHECK(next() == "-d");
    if (!m.Host.empty())
        FUZZ_CHECK(next() == "-h" + Trim(m.Host));
    if (!m.Sender1.empty())
        FUZZ_CHECK(next() == "-f" + Unquoted(Trim(delivery.EncodeSender(m.Sender1))));
    if (!m.Sender2.empty())
        FUZZ_CHECK(next() == "-r" + Unquoted(Trim(m.Sender2)));
    if (!m.Sender3.empty())
        FUZZ_CHECK(next() == "-n" + Unquoted(Trim(m.Sender3)));
    if (!m.Subject.empty())
        FUZZ_CHECK(next() == "-s" + Trim(m.Subject)); // the subject whole, whatever it holds
    if (!m.AttachmentList.empty())
        FUZZ_CHECK(next().compare(0, 2, "-a") == 0);
    FUZZ_CHECK(next() == "-m");
    FUZZ_CHECK(next() == "-Fbody.txt");
    std::size_t end = args.size();
    if (!batch && settings.NoTopt == 0) {
        FUZZ_CHECK(end > k && args[end - 1] == "-t");
        --end;
    }
    std::string list;
    for (std::size_t w = k; w < end; ++w) {
        FUZZ_CHECK(args[w].empty() || args[w][0] != '-' || args[w].size() == 1);
        list += (w > k ? " " : "") + args[w];
    }
    FUZZ_CHECK(list == Trim(m.AddressList));

    if (batch) {
        const std::string script = platform::MakeBatchScript(line, "");
        const std::vector<std::string> words = ScriptWords(script);
        if (platform::FindProgram(args[0]).empty()) {
            FUZZ_CHECK(words.size() >= 2 && words.back() == "127");
        } else {
            // exec, the program, the same arguments, standard input from /dev/null.
            FUZZ_CHECK(words.size() == args.size() + 3);
            FUZZ_CHECK(words[0] == "exec");
            for (std::size_t w = 1; w < args.size(); ++w)
                FUZZ_CHECK(words[w + 1] == args[w]);
            FUZZ_CHECK(words[args.size() + 1] == "<");
            FUZZ_CHECK(words[args.size() + 2] == "/dev/null");
        }
    }
    return true;
}

} // namespace fuzzcheck
