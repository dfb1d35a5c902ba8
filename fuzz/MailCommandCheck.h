// The property every mailer command must have: either the mail is refused
// (always when a field holds a NUL), or the command line it starts with splits
// back into exactly the arguments it starts with, and those give each option
// value back as one argument and the address list as its words; in batch mode
// the script runs those same arguments. What the arguments must be is worked
// out here from the mail's fields, apart from the code under test.
#pragma once

#include "FuzzCheck.h"
#include "jtext/SjisBytes.h"
#include "platform/Process.h"
#include "run/MailCommand.h"

#include <string>
#include <string_view>
#include <vector>

namespace fuzzcheck {

inline std::string Unquoted(std::string s)
{
    return s.size() >= 2 && s.front() == '"' && s.back() == '"' ? s.substr(1, s.size() - 2) : s;
}

// The words of /bin/sh text as the shell reads them, for the forms
// MakeBatchScript writes: '...' and \' pieces, blanks between words.
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

// Checks the command of `mail` under `settings`; true when it was not refused.
inline bool CheckMailCommand(const TMail& m, const TCommandSettings& settings)
{
    const TMailerCommand cmd = BuildCommand(m, settings);
    bool nul = settings.Name.find('\0') != std::string::npos;
    for (const std::string* f : {&m.OutcomeLogPath, &m.Host, &m.MailFolder, &m.AddressList, &m.RecipientDisplay,
                                 &m.Sender1, &m.Sender2, &m.Sender3, &m.Subject, &m.AttachmentList, &m.AttachmentNames})
        nul = nul || f->find('\0') != std::string::npos;
    FUZZ_CHECK(!nul || !cmd.Refusal().empty());
    if (!cmd.Refusal().empty())
        return false;

    const platform::TCommandLine start = cmd.ToStart();
    const std::string_view redirect = " > $log.txt";
    FUZZ_CHECK(cmd.Line() == start.Line + std::string(settings.Batch ? redirect : ""));
    const std::vector<std::string>& args = start.Args;
    FUZZ_CHECK(platform::SplitCommandLine(start.Line) == args);

    std::size_t k = 0;
    auto next = [&]() -> const std::string& {
        FUZZ_CHECK(k < args.size());
        return args[k++];
    };
    next();
    if (settings.Batch)
        FUZZ_CHECK(next() == "-d");
    if (!m.Host.empty())
        FUZZ_CHECK(next() == "-h" + Trim(m.Host));
    if (!m.Sender1.empty())
        FUZZ_CHECK(next() == "-f" + Unquoted(Trim(EncodeSender(m.Sender1, settings.EncodeSenderName))));
    if (!m.Sender2.empty())
        FUZZ_CHECK(next() == "-r" + Unquoted(Trim(m.Sender2)));
    if (!m.Sender3.empty())
        FUZZ_CHECK(next() == "-n" + Unquoted(Trim(m.Sender3)));
    if (!m.Subject.empty())
        FUZZ_CHECK(next() == "-s" + Trim(m.Subject)); // the subject whole, whatever it holds
    if (!m.AttachmentList.empty()) {
        std::string paths = Trim(m.AttachmentList);
        std::erase(paths, '"');
        FUZZ_CHECK(next() == "-a" + paths);
    }
    FUZZ_CHECK(next() == "-m");
    FUZZ_CHECK(next() == "-Fbody.txt");
    std::size_t end = args.size();
    if (!settings.Batch && settings.NoTopt == 0) {
        FUZZ_CHECK(end > k && args[end - 1] == "-t");
        --end;
    }
    std::string list;
    for (std::size_t w = k; w < end; ++w) {
        FUZZ_CHECK(args[w].size() <= 1 || args[w][0] != '-');
        list += (w > k ? " " : "") + args[w];
    }
    FUZZ_CHECK(list == Trim(m.AddressList));

    if (settings.Batch) {
        const std::string script = platform::MakeBatchScript(start, "");
        const std::string head = "TZ=JST-9; export TZ\n";
        FUZZ_CHECK(script.starts_with(head) && script.ends_with("\n"));
        const std::vector<std::string> words
            = ShellWords(std::string_view(script).substr(head.size(), script.size() - head.size() - 1));
        if (platform::FindProgram(args[0]).empty()) {
            FUZZ_CHECK(words.size() >= 2 && words.back() == "127");
        } else {
            // exec, the program, the same arguments, standard input from /dev/null.
            FUZZ_CHECK(words.size() == args.size() + 3 && words[0] == "exec");
            for (std::size_t w = 1; w < args.size(); ++w)
                FUZZ_CHECK(words[w + 1] == args[w]);
            FUZZ_CHECK(words[args.size() + 1] == "<" && words[args.size() + 2] == "/dev/null");
        }
    }
    return true;
}

} // namespace fuzzcheck
