// Job list and mail definition: the input is cut at 0x1E bytes into a job
// list, a definition file, a CC/BCC list ("cc.txt") and an attachment list
// ("list.csv"), written into a temporary program folder; the first byte holds
// flags (bit 0: /z, bit 1: NoTopt). Every job line is read, the definition is
// parsed and the mailer command is built in both modes.
#include "FuzzCheck.h"
#include "FuzzFolder.h"
#include "MailCommandCheck.h"
#include "platform/Files.h"
#include "run/Job.h"
#include "run/MailDefinition.h"
#include "support/RunFakes.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Every file below the folder with its size and time: what a write would change.
std::map<std::string, std::pair<std::uintmax_t, std::filesystem::file_time_type>> Listing(const std::string& folder)
{
    std::map<std::string, std::pair<std::uintmax_t, std::filesystem::file_time_type>> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder))
        files[e.path().string()] = {e.is_regular_file() ? e.file_size() : 0, e.last_write_time()};
    return files;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view in(reinterpret_cast<const char*>(data), size);
    const unsigned flags = in.empty() ? 0 : static_cast<unsigned char>(in[0]);
    in.remove_prefix(in.empty() ? 0 : 1);
    TTempFolder& folder = FuzzFolder();
    const char* const names[] = {"jobs.txt", "mails/def.txt", "cc.txt", "list.csv"};
    for (const char* name : names) {
        const std::size_t cut = name == names[3] ? std::string_view::npos : in.find('\x1e');
        folder.WriteBytes(name, std::string(in.substr(0, cut)));
        in.remove_prefix(cut == std::string_view::npos ? in.size() : cut + 1);
    }
    const std::string base = folder.Cp932Path();
    TVirtualClock clock;
    const bool stop = false;
    TRetryRules retry(clock, stop);

    // A job line: the path as it stands, or the path before the first comma
    // naming an existing file and the send code after it; its resend line
    // reads back as the same job.
    std::vector<std::string> jobs;
    FUZZ_CHECK(retry.LoadLines(base + "jobs.txt", jobs));
    for (int k = -1; k <= static_cast<int>(std::min<std::size_t>(jobs.size(), 16)); ++k) {
        const TJob job = ReadJobLine(jobs, k, base);
        FUZZ_CHECK(job.Index == k);
        if (k < 0 || k == static_cast<int>(jobs.size())) {
            FUZZ_CHECK(job.Skipped() && job.SendCode.empty());
            continue;
        }
        const std::string& line = jobs[static_cast<std::size_t>(k)];
        const std::size_t comma = FindChar(line, ',');
        if (comma == std::string::npos) {
            FUZZ_CHECK(job.DefinitionPath == line && job.SendCode.empty());
            continue;
        }
        FUZZ_CHECK(job.SendCode == line.substr(comma + 1));
        if (!job.Skipped()) {
            FUZZ_CHECK(platform::FileExists(job.DefinitionPath));
            const TJob again = ReadJobLine({job.ResendLine()}, 0, base);
            FUZZ_CHECK(again.DefinitionPath == job.DefinitionPath && again.SendCode == job.SendCode);
        }
    }

    // The definition: read, never written.
    std::vector<std::string> lines;
    FUZZ_CHECK(retry.LoadLines(base + "mails/def.txt", lines));
    const auto before = Listing(folder.Path());
    const TMail mail = ParseMailDefinition(lines, base + "mails/def.txt", base, TBatchReader{retry});
    FUZZ_CHECK(Listing(folder.Path()) == before);
    if (lines.size() < 6) {
        FUZZ_CHECK(mail.TooShort && mail.Host.empty() && mail.AddressList.empty() && mail.Subject.empty()
                   && mail.Body.empty() && mail.OutcomeLogPath.empty());
        return 0;
    }
    FUZZ_CHECK(!mail.TooShort && mail.Body.size() == lines.size() - 6);
    std::string body;
    for (const std::string& b : mail.Body)
        body += b + "\r\n";
    FUZZ_CHECK(BodyText(mail) == body);
    FUZZ_CHECK(mail.MailFolder.empty() || mail.MailFolder.back() == '/');
    for (const std::string& missing : mail.MissingFiles)
        FUZZ_CHECK(!platform::FileExists(missing));
    // Each mail reaches the mailer as written, or is refused.
    TCommandSettings settings{"/bin/true", (flags & 2) ? 1 : 0, false, (flags & 1) != 0};
    for (bool batch : {false, true}) {
        settings.Batch = batch;
        fuzzcheck::CheckMailCommand(mail, settings);
    }
    return 0;
}
