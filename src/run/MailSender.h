// The mailer step of one mail: its body file, the batch files of batch mode,
// the mailer run and its wait, and what the trace log and the mail log hear
// of it. It returns the mailer's outcome and keeps nothing between mails.
#pragma once

#include "run/MailCommand.h"
#include "run/Outcome.h"
#include "run/RetryRules.h"
#include "run/RunEnvironment.h"
#include "run/RunState.h"
#include "run/TraceLog.h"
#include "settings/Rw_ini.h"

#include <functional>
#include <optional>
#include <string>

class TMailSender {
public:
    struct TContext {
        IClock& clock;
        IMailerProcess& mailer;
        TRetryRules& retry;
        TTraceLog& trace;
        const TSettings& settings;
        const TRunControls& controls;
        std::string mailLogPath;
        // Lets pending window events and termination requests through.
        std::function<void()> letEventsThrough;
        // A word on standard error for whoever started the program.
        std::function<void(std::string_view)> writeStandardError;
    };
    explicit TMailSender(TContext context) : c_(std::move(context)) {}

    // Writes "body.txt" into `folder`, a new file of our own. False when it
    // cannot be written.
    bool WriteBody(const TMail& mail, const std::string& folder);
    // Removes the body file of an earlier mail; false when one survives.
    bool RemoveBody(const std::string& folder);
    // Runs the mailer for `command` in `folder`: the mail's outcome. Nothing
    // when a batch file cannot be written (the mailer is not run then); its
    // path is then in `unwritten`.
    std::optional<TMailOutcome> SendMail(const TMailerCommand& command, const std::string& folder,
                                         bool definitionTooShort, std::string& unwritten);
    // Where the body file of a mail sent from `folder` goes.
    static std::string BodyPath(const std::string& folder);

private:
    // The batch script and the mailer output file of a batch mail.
    struct TBatchFiles {
        platform::TFreshFile& script;
        platform::TFreshFile& output;
    };
    TMailerOutcome RunAndWait(const platform::TCommandLine& command, const std::string& folder, TBatchFiles* batch);
    void AppendMailerOutput(const std::string& head, platform::TFreshFile& output);
    std::string TimeLimitNote() const;

    TContext c_;
};
