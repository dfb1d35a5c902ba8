// The mailer command of one mail, as its pieces. Each piece is written as
// the mailer reads it (the command line of the Windows start, $mail.bat and
// the logs) and says which arguments it means (the POSIX start); a piece that
// would not reach the mailer as those arguments refuses the mail.
#pragma once

#include "platform/Process.h"
#include "run/MailDefinition.h"

#include <string>
#include <string_view>
#include <vector>

// What the command takes from the settings and the command line.
struct TCommandSettings {
    std::string Name;           // the mailer command
    int NoTopt = 0;
    bool Batch = false;         // /d
    bool EncodeSenderName = false; // /z
};

class TMailerCommand {
public:
    struct TPiece {
        std::string Text;              // as it stands in the command line
        std::vector<std::string> Args; // what the mailer gets from it
    };

    // The command as the trace and the mail log show it: pieces 1 to 10 each
    // followed by a space, then " > $log.txt" in batch mode or "-t".
    std::string Line() const;
    // What starts the mailer: the command line without the batch redirection,
    // and the arguments.
    platform::TCommandLine ToStart() const;
    // The same with the program as `program` names it (the full path it was
    // found at), in quotes: so the system and the command interpreter start
    // that very file, whatever blanks or signs its path holds.
    platform::TCommandLine ToStart(const std::string& program) const;
    // The program name as the command gives it to the system.
    const std::string& Program() const { return pieces_.front().Args.front(); }
    // Why the mail must not reach the mailer; empty when it may.
    const std::string& Refusal() const { return refusal_; }
    bool Batch() const { return batch_; }

private:
    friend TMailerCommand BuildCommand(const TMail& mail, const TCommandSettings& settings);
    std::vector<TPiece> pieces_;
    bool batch_ = false;
    bool endsInT_ = false;
    std::string refusal_;
};

TMailerCommand BuildCommand(const TMail& mail, const TCommandSettings& settings);

// The text after "-f": with /z, the quoted display name of sender 1 as one
// ISO-2022-JP encoded word; otherwise sender 1 unchanged.
std::string EncodeSender(const std::string& sender1, bool encodeSenderName);

// A value in double quotes, its quotes and the backslashes before them
// escaped as the Microsoft C runtime reads them (the subject piece).
std::string QuoteSubjectForMailer(std::string_view subject);
// A sender value (-f, -r, -n) as it goes into the command: as written, or,
// when blanks or quotes would cut it into several arguments, quoted whole like
// the subject. A value already in one pair of grouping quotes (the /z form)
// stays as it is.
std::string SenderForMailer(std::string_view value);
