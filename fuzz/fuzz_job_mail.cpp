// Job list and mail definition: the input is cut at 0x1E bytes into a job
// list, a definition file, a CC/BCC list ("cc.txt") and an attachment list
// ("list.csv"), written into a temporary program folder. Then the command line
// reads the job list, every job line is read, the definition is parsed and the
// mailer command is built, on fake time, window and mailer.
#include "FuzzCheck.h"
#include "FuzzFolder.h"
#include "MailCommandCheck.h"
#include "platform/Files.h"
#include "platform/Process.h"
#include "run/TDelivery.h"
#include "support/RunFakes.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr char kPartSeparator = '\x1e';
constexpr std::size_t kMaxJobLines = 16;

std::vector<std::string_view> Parts(std::string_view in, std::size_t max)
{
    std::vector<std::string_view> parts;
    while (parts.size() + 1 < max) {
        const std::size_t cut = in.find(kPartSeparator);
        if (cut == std::string_view::npos)
            break;
        parts.push_back(in.substr(0, cut));
        in.remove_prefix(cut + 1);
    }
    parts.push_back(in);
    parts.resize(max);
    return parts;
}

// The second line names a per-mail folder the body file is written into. Keep
// it inside the temporary folder: no separators, no dots.
std::string Confine(std::string_view definition)
{
    std::vector<std::string> lines = platform::SplitLines(definition);
    if (lines.size() >= 2) {
        for (char& c : lines[1])
            if (c == '/' || c == '\\' || c == '.')
                c = '_';
    }
    std::string out;
    for (const std::string& line : lines)
        out += line + "\r\n";
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view in(reinterpret_cast<const char*>(data), size);
    unsigned flags = 0;
    if (!in.empty()) {
        flags = static_cast<unsigned char>(in[0]);
        in.remove_prefix(1);
    }
    const std::vector<std::string_view> parts = Parts(in, 4);

    TTempFolder& folder = FuzzFolder();
    folder.MakeFolder("temp");
    folder.WriteBytes("jobs.txt", std::string(parts[0]));
    folder.WriteBytes("mails/def.txt", Confine(parts[1]));
    folder.WriteBytes("cc.txt", std::string(parts[2]));
    folder.WriteBytes("list.csv", std::string(parts[3]));

    const std::string base = folder.Cp932Path();
    TVirtualClock clock;
    TRecordingView view(clock);
    TScriptedMailer mailer(clock);
    TDelivery delivery(base, view, clock, mailer);
    view.Attach(delivery);

    std::vector<std::string> args{"/P", "jobs.txt", "/f", base + "temp"};
    if (flags & 1)
        args.push_back("/z");
    const bool ready = delivery.ParseCommandLine(args);
    const std::vector<std::string>& jobs = delivery.State().JobList;
    FUZZ_CHECK(ready == !jobs.empty());

    for (std::size_t k = 0; k < jobs.size() && k < kMaxJobLines; ++k) {
        delivery.ReadJobLine(static_cast<int>(k));
        const TCurrentJob& job = delivery.CurrentJob();
        if (!job.SendCode.empty())
            FUZZ_CHECK(jobs[k].find(',') != std::string::npos);
    }
    delivery.ReadJobLine(-1);
    delivery.ReadJobLine(static_cast<int>(jobs.size()));
    FUZZ_CHECK(delivery.CurrentJob().DefinitionPath.empty());
    if (!jobs.empty())
        delivery.ReadJobLine(static_cast<int>(flags >> 1) % static_cast<int>(jobs.size()));

    std::vector<std::string>& lines = delivery.State().DefinitionLines;
    FUZZ_CHECK(delivery.LoadLines(base + "mails/def.txt", lines));
    const std::size_t lineCount = lines.size();
    delivery.ParseMailDefinition();
    // A NUL byte must not cut a file name short ("5\0/body.txt" is not "5"):
    // such a body file cannot be written.
    if (lineCount >= 6 && delivery.CurrentMail().MailFolder.find('\0') != std::string::npos)
        FUZZ_CHECK(delivery.State().Closing);
    if (lineCount < 6) {
        FUZZ_CHECK(delivery.State().StatusCode == -1);
    } else if (!delivery.State().Closing) {
        FUZZ_CHECK(lines.size() == lineCount - 6);
        const TCurrentMail& mail = delivery.CurrentMail();
        FUZZ_CHECK(mail.MailFolder.empty() || mail.MailFolder.back() == '/');
        // Each mail reaches the mailer as written, or is refused.
        for (bool batch : {false, true})
            fuzzcheck::CheckMailCommand(delivery, batch);
    }
    // A failed body write appends to the program's mail log: keep it from growing.
    platform::DeleteFile(delivery.MailLogPath());
    return 0;
}
