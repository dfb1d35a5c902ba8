// The mailer command and the mailer process.
#include "run/TDelivery.h"

#include "jtext/HenkanJ.h"
#include "jtext/MailJstr.h"
#include "jtext/SjisBytes.h"
#include "platform/Files.h"
#include "platform/FreshFile.h"
#include "platform/Process.h"

#include <string>

namespace {
constexpr std::string_view kRedirect = " > $log.txt";
constexpr std::string_view kMailerOutput = "$log.txt";
constexpr std::string_view kBatchFile = "$mail.bat";
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

// Appends `head` and the mailer's output file, its line ends made CR LF, to the
// mail log as one record. The output is read through our own descriptor, never
// reopened by name (the folder may be shared). The append follows the write
// retry rule, each attempt holding the mail log for the whole record so that
// nothing else lands inside it, and a failed attempt leaves no part of it
// behind. A read error midway keeps what was read.
void AppendMailerOutput(TDelivery& delivery, const std::string& mailLog, const std::string& head,
                        platform::TFreshFile& reader)
{
    std::string in(kCopyChunk, '\0');
    std::string out;
    out.reserve(2 * kCopyChunk + 2);
    auto attempt = [&]() -> bool {
        platform::TAppendWriter writer;
        if (!writer.Open(mailLog) || !writer.Write(head))
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
    delivery.RetryWrite(attempt); // a record that cannot be written is lost, as any log line
}

bool AllBelowP(const std::string& s)
{
    for (unsigned char c : s) {
        if (c >= 0x50)
            return false;
    }
    return true;
}
} // namespace

std::string TDelivery::EncodeSender(const std::string& sender1) const
{
    if (!state_.EncodeSenderName)
        return sender1;
    if (!HasDoubleByte(sender1) && AllBelowP(sender1))
        return sender1;
    if (sender1.size() > 2 && sender1.front() == '"' && sender1.back() == '"') {
        const std::string inner = sender1.substr(1, sender1.size() - 2);
        const std::size_t lt = FindLastChar(inner, '<');
        if (lt == std::string::npos || lt == 0)
            return sender1;
        // Widened first: half-width katakana has no place in ISO-2022-JP, and the
        // encoded word would carry bytes no mail reader can decode.
        return "\"" + EncodeMimeHeader(NormalizeKana(inner.substr(0, lt))) + " " + inner.substr(lt) + "\"";
    }
    return sender1;
}

std::string TDelivery::BuildCommand(bool batch) const
{
    // The long pieces are taken as views and the command is allocated once:
    // a field may be as long as its file.
    const std::string sender1 = mail_.Sender1.empty() ? std::string() : SenderForMailer(TrimView(EncodeSender(mail_.Sender1)));
    const std::string sender2 = SenderForMailer(TrimView(mail_.Sender2)), sender3 = SenderForMailer(TrimView(mail_.Sender3));
    const std::string subject = mail_.Subject.empty() ? std::string() : QuoteSubjectForMailer(TrimView(mail_.Subject));
    const std::string_view host = TrimView(mail_.Host), from = sender1, replyTo = sender2,
                           bounce = sender3, attachments = TrimView(mail_.AttachmentList),
                           addresses = TrimView(mail_.AddressList);
    std::string cmd;
    cmd.reserve(settings_.Name.size() + host.size() + from.size() + replyTo.size() + bounce.size() + subject.size()
                + attachments.size() + addresses.size() + 64);
    auto piece = [&](std::string_view option, std::string_view value) {
        cmd += option;
        cmd += value;
        cmd += ' ';
    };
    piece(settings_.Name, "");
    if (batch)
        piece("-d", "");
    if (!mail_.Host.empty())
        piece("-h", host);
    if (!mail_.Sender1.empty())
        piece("-f", from);
    if (!mail_.Sender2.empty())
        piece("-r", replyTo);
    if (!mail_.Sender3.empty())
        piece("-n", bounce);
    if (!mail_.Subject.empty())
        piece("-s", subject);
    if (!mail_.AttachmentList.empty())
        piece("-a", attachments);
    cmd += "-m -Fbody.txt ";
    if (!mail_.AddressList.empty())
        piece(addresses, "");
    if (batch)
        cmd += kRedirect;
    else if (settings_.NoTopt == 0)
        cmd += "-t";
    return cmd;
}

void TDelivery::SendMail()
{
    const bool batch = state_.BatchMode;
    const std::string command = BuildCommand(batch);

    const std::string refusal = CommandRefusal(batch, command);
    if (!refusal.empty()) {
        // Better no mail than one the mailer reads differently: the mail fails
        // and says why. A NUL byte is shown, never written into the logs.
        state_.StatusCode = -1;
        WriteTrace("Smail Refused:" + refusal);
        if (batch) {
            std::string shown;
            for (const char c : command)
                shown += c == '\0' ? std::string("<NUL>") : std::string(1, c);
            AppendFile(MailLogPath(), "#Cmd:\r\n" + shown + "\r\n#Refused:\r\n" + refusal + "\r\n");
        }
        return;
    }

    if (!platform::SetCurrentDir(state_.WorkFolder)) {
        // The mailer must not run anywhere else: the mail fails.
        state_.StatusCode = -1;
        WriteTrace("Smail Skipped: cannot enter the work folder " + state_.WorkFolder);
        return;
    }

    std::string runLine = command;
    const std::string logPath = WorkFile(kMailerOutput);
    const std::string batchPath = WorkFile(kBatchFile);
    // The work folder may be shared with other accounts: the script and the
    // output file are new files of our own, the shell reads the script from
    // our descriptor and the mailer writes into our descriptor, so nothing
    // renamed or linked into the folder meanwhile is ever run or written.
    platform::TFreshFile scriptFile, outputFile;
    if (batch) {
        platform::DeleteFile(logPath);
        // The script runs the command with its standard output in the output file.
        const std::string script = platform::MakeMailerScript(
            std::string_view(command).substr(0, command.size() - kRedirect.size()), kMailerOutput);
        platform::DeleteFile(batchPath);
        // A file that survived the removal is replaced by the fresh one; one
        // that cannot be created is a failed write.
        if (RetryWrite([&] { return scriptFile.Create(batchPath, script); }) != 0
            || RetryWrite([&] { return outputFile.Create(logPath, ""); }) != 0) {
            ReportWriteFailure();
            return;
        }
        runLine = batchPath;
    }

    WriteTrace("Smail Execute:" + runLine);
    if (batch) {
        batchScript_ = &scriptFile;
        batchOutput_ = &outputFile;
    }
    const int code = RunAndWait(runLine, batch);
    batchScript_ = batchOutput_ = nullptr;
    if (code == -1)
        state_.StatusCode = -1;
    const std::string limitNote = "Smail TimeLimit:" + std::to_string(settings_.TimeLimit) + "s";
    if (timedOut_)
        WriteTrace(limitNote);
    WriteTrace("Smail Done:" + std::to_string(state_.StatusCode));

    if (batch) {
        scriptFile.Close();
        platform::DeleteFile(batchPath);
        std::string record = "#Cmd:\r\n" + command + "\r\n";
        if (timedOut_)
            record = FormatMailLogStamp(clock_.Now()) + ": " + limitNote + "\r\n" + record;
        // A script that never ran left no output; on Windows the command
        // interpreter may not have made the output file at all.
        if (code == -1 || !outputFile.Rewind())
            AppendFile(MailLogPath(), record + "None\r\n");
        else
            AppendMailerOutput(*this, MailLogPath(), record + "#Res:\r\n", outputFile);
        outputFile.Close();
        platform::DeleteFile(logPath);
    }
}

int TDelivery::RunAndWait(const std::string& commandLine, bool batchFile)
{
    timedOut_ = false;
    const bool begun = batchFile && batchScript_ ? mailer_.StartBatch(*batchScript_, *batchOutput_)
                                                 : mailer_.Start(commandLine, batchFile);
    if (!begun)
        return -1;
    const std::uint32_t started = clock_.Tick();
    const std::uint64_t limitMs = static_cast<std::uint64_t>(settings_.TimeLimit) * 1000;
    bool ending = false;
    while (!mailer_.WaitEnded(kWaitSliceMs)) {
        view_.ProcessEvents();
        PollTermination();
        if (!ending && limitMs != 0 && static_cast<std::uint32_t>(clock_.Tick() - started) >= limitMs) {
            timedOut_ = ending = true;
            mailer_.EndSession();
            continue;
        }
        // A termination signal lets the mail finish, within a grace period; a
        // second signal ends it at once.
        if (!ending && state_.TerminationCount > 0
            && (state_.TerminationCount > 1 || static_cast<std::uint32_t>(clock_.Tick() - state_.TerminationTick) >= kTerminationGraceMs)) {
            ending = true;
            mailer_.EndSession();
            continue;
        }
        clock_.Sleep(kBetweenWaitsMs);
    }
    int code = mailer_.ExitCode();
    mailer_.Close();
    if (timedOut_)
        code = kStatusTimeLimit;
    if (code != 0)
        state_.StatusCode = code;
    return code;
}

void TDelivery::TerminationRequested(int signal)
{
    if (state_.TerminationCount++ == 0)
        state_.TerminationTick = clock_.Tick();
    state_.TerminationSignal = signal;
    state_.StopRequest = true;
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
