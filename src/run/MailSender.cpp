#include "run/MailSender.h"

#include "jtext/JpWords.h"
#include "platform/Files.h"
#include "platform/FreshFile.h"
#include "run/TimeFormat.h"

namespace {
constexpr std::string_view kMailerOutput = "$log.txt";
constexpr std::string_view kBatchFile = "$mail.bat";
constexpr std::string_view kBodyFile = "body.txt";
constexpr std::uint32_t kWaitSliceMs = 100;
constexpr std::uint32_t kBetweenWaitsMs = 250;
// How long a mail in flight may take to finish after a termination signal.
constexpr std::uint32_t kTerminationGraceMs = 20000;

// The mailer's output can be hundreds of megabytes: it is copied in pieces,
// never held whole.
constexpr std::size_t kCopyChunk = 1 << 20;

// Turns every line end (CR LF, CR or LF) into CR LF, piece by piece; a CR LF
// split between two pieces stays one line end.
class TLineEndConverter {
public:
    void Convert(const char* data, std::size_t size, std::string& out)
    {
        std::size_t k = 0;
        while (k < size) {
            const char c = data[k];
            if (c == '\n' && afterCr_) {
                afterCr_ = false; // the CR has ended this line already
                ++k;
                continue;
            }
            if (c == '\r' || c == '\n') {
                out += "\r\n";
                afterCr_ = c == '\r';
                lineOpen_ = false;
                ++k;
                continue;
            }
            std::size_t e = k;
            while (e < size && data[e] != '\r' && data[e] != '\n')
                ++e;
            out.append(data + k, e - k);
            afterCr_ = false;
            lineOpen_ = true;
            k = e;
        }
    }
    // The last line ends with CR LF too.
    void Finish(std::string& out)
    {
        if (lineOpen_)
            out += "\r\n";
        lineOpen_ = afterCr_ = false;
    }

private:
    bool afterCr_ = false;
    bool lineOpen_ = false;
};

} // namespace

bool TMailSender::RemoveBody(const std::string& folder)
{
    // A mailer must never find an earlier mail's body.
    const std::string path = BodyPath(folder);
    platform::DeleteFile(path);
    return !platform::FileExists(path) && !platform::DirectoryExists(path);
}

bool TMailSender::WriteBody(const TMail& mail, const std::string& folder)
{
    const std::string path = BodyPath(folder);
    const std::string body = BodyText(mail);
    // A new file of our own, never one someone else put there (the folder may
    // be shared): it takes the place of whatever stood at the path in one
    // step; one that cannot be created or put there is a failed write.
    return c_.retry.Write([&] { return platform::TryWriteFreshFile(path, body); }) == 0;
}

std::string TMailSender::BodyPath(const std::string& folder) { return folder + std::string(kBodyFile); }

std::optional<TMailOutcome> TMailSender::SendMail(const TMailerCommand& command, const std::string& folder,
                                                  bool definitionTooShort, std::string& unwritten)
{
    const std::string line = command.Line();
    const bool batch = command.Batch();
    auto done = [&](TMailerOutcome mailer) {
        const TMailOutcome outcome{mailer, definitionTooShort};
        c_.trace.Write("Smail Done:" + std::to_string(StatusOf(outcome)));
        return outcome;
    };

    if (!command.Refusal().empty()) {
        // Better no mail than one the mailer reads differently: the mail fails
        // and says why. A NUL byte is shown, never written into the logs.
        c_.trace.Write("Smail Refused:" + command.Refusal());
        if (batch) {
            std::string shown;
            for (const char ch : line)
                shown += ch == '\0' ? std::string("<NUL>") : std::string(1, ch);
            c_.retry.AppendFile(c_.mailLogPath, "#Cmd:\r\n" + shown + "\r\n#Refused:\r\n" + command.Refusal() + "\r\n");
        }
        return TMailOutcome{{TMailerEnd::kRefused, -1}, definitionTooShort};
    }

    // The mailer is started by the full path it was found at, in both modes:
    // the system and the command interpreter search no folder of their own
    // (the work folder above all, which other accounts may write into).
    const std::string program = c_.mailer.FindProgram(command.Program(), folder);
    if (program.empty()) {
        const std::string why = std::string(jp::kMailerNotFound) + command.Program();
        c_.trace.Write("Smail NotFound:" + command.Program());
        c_.retry.AppendFile(c_.mailLogPath, FormatMailLogStamp(c_.clock.Now()) + ": " + why + "\r\n");
        c_.writeStandardError(why);
        return done({TMailerEnd::kNotStarted, -1});
    }
    const platform::TCommandLine start = command.ToStart(program);
    if (!batch) {
        c_.trace.Write("Smail Execute:" + line);
        return done(RunAndWait(start, folder, nullptr));
    }

    // The work folder may be shared with other accounts: the script and the
    // output file are new files of our own, the shell reads the script from
    // our descriptor and the mailer writes into our descriptor, so nothing
    // renamed or linked into the folder meanwhile is ever run or written.
    const std::string logPath = folder + std::string(kMailerOutput);
    const std::string batchPath = folder + std::string(kBatchFile);
    platform::TFreshFile scriptFile, outputFile;
    platform::DeleteFile(logPath);
    const std::string script = platform::MakeMailerScript(start, kMailerOutput, folder);
    platform::DeleteFile(batchPath);
    // A file that survived the removal is replaced by the fresh one; one
    // that cannot be created is a failed write.
    if (c_.retry.Write([&] { return scriptFile.Create(batchPath, script); }) != 0) {
        unwritten = batchPath;
        return std::nullopt;
    }
    if (c_.retry.Write([&] { return outputFile.Create(logPath, ""); }) != 0) {
        unwritten = logPath;
        return std::nullopt;
    }

    c_.trace.Write("Smail Execute:" + batchPath);
    TBatchFiles files{scriptFile, outputFile};
    const TMailerOutcome mailer = RunAndWait(start, folder, &files);
    const TMailOutcome outcome = done(mailer);

    scriptFile.Close();
    platform::DeleteFile(batchPath);
    std::string record = "#Cmd:\r\n" + line + "\r\n";
    if (mailer.End == TMailerEnd::kTimeLimit)
        record = FormatMailLogStamp(c_.clock.Now()) + ": " + TimeLimitNote() + "\r\n" + record;
    // A script that never ran left no output; on Windows the command
    // interpreter may not have made the output file at all.
    if (mailer.End == TMailerEnd::kNotStarted || !outputFile.Rewind())
        c_.retry.AppendFile(c_.mailLogPath, record + "None\r\n");
    else
        AppendMailerOutput(record + "#Res:\r\n", outputFile);
    outputFile.Close();
    platform::DeleteFile(logPath);
    return outcome;
}

std::string TMailSender::TimeLimitNote() const
{
    return "Smail TimeLimit:" + std::to_string(c_.settings.TimeLimit) + "s";
}

// Appends `head` and the mailer's output file, its line ends made CR LF, to the
// mail log as one record. The output is read through our own descriptor, never
// reopened by name (the folder may be shared). The append follows the write
// retry rule, each attempt holding the mail log for the whole record so that
// nothing else lands inside it, and a failed attempt leaves no part of it
// behind. A read error midway keeps what was read.
void TMailSender::AppendMailerOutput(const std::string& head, platform::TFreshFile& reader)
{
    std::string in(kCopyChunk, '\0');
    std::string out;
    out.reserve(2 * kCopyChunk + 2);
    auto attempt = [&]() -> bool {
        platform::TAppendWriter writer;
        if (!writer.Open(c_.mailLogPath) || !writer.Write(head))
            return false;
        if (reader.Rewind()) {
            TLineEndConverter converter;
            for (;;) {
                const long long n = reader.Read(in.data(), in.size());
                out.clear();
                if (n <= 0)
                    converter.Finish(out);
                else
                    converter.Convert(in.data(), static_cast<std::size_t>(n), out);
                if (!writer.Write(out))
                    return false;
                if (n <= 0)
                    break;
            }
        }
        return writer.Close();
    };
    c_.retry.Write(attempt); // a record that cannot be written is lost, as any log line
}

TMailerOutcome TMailSender::RunAndWait(const platform::TCommandLine& command, const std::string& folder, TBatchFiles* batch)
{
    const bool begun = batch ? c_.mailer.StartBatch(batch->script, batch->output, folder) : c_.mailer.Start(command, folder);
    if (!begun)
        return {TMailerEnd::kNotStarted, -1};
    const std::uint32_t started = c_.clock.Tick();
    const std::uint64_t limitMs = static_cast<std::uint64_t>(c_.settings.TimeLimit) * 1000;
    TMailerEnd end = TMailerEnd::kExited;
    while (!c_.mailer.WaitEnded(kWaitSliceMs)) {
        c_.letEventsThrough();
        if (end != TMailerEnd::kExited) {
            c_.clock.Sleep(kBetweenWaitsMs);
            continue;
        }
        if (limitMs != 0 && static_cast<std::uint32_t>(c_.clock.Tick() - started) >= limitMs) {
            end = TMailerEnd::kTimeLimit;
            c_.mailer.EndSession();
            continue;
        }
        // A termination signal lets the mail finish, within a grace period; a
        // second signal ends it at once.
        const TRunControls& k = c_.controls;
        if (k.TerminationCount > 1
            || (k.TerminationCount == 1 && static_cast<std::uint32_t>(c_.clock.Tick() - k.TerminationTick) >= kTerminationGraceMs)) {
            end = TMailerEnd::kEndedByUs;
            c_.mailer.EndSession();
            continue;
        }
        c_.clock.Sleep(kBetweenWaitsMs);
    }
    const int code = c_.mailer.ExitCode();
    c_.mailer.Close();
    if (end == TMailerEnd::kTimeLimit) {
        c_.trace.Write(TimeLimitNote());
        return {end, kStatusTimeLimit};
    }
    return {end, code};
}
