// TDelivery::ParseCommandLine on arguments cut from the input at NUL bytes.
// A /t or /s value that is not a number ends in EConvertError, as it should.
#include "FuzzCheck.h"
#include "FuzzFolder.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "run/TDelivery.h"
#include "support/RunFakes.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view in(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> args;
    if (!in.empty()) {
        for (;;) {
            const std::size_t cut = in.find('\0');
            args.emplace_back(in.substr(0, cut));
            if (cut == std::string_view::npos || args.size() >= 64)
                break;
            in.remove_prefix(cut + 1);
        }
    }

    TTempFolder& folder = FuzzFolder();
    static const bool prepared = [&] {
        folder.MakeFolder("temp");
        folder.MakeFolder("work");
        folder.WriteBytes("jobs.txt", "mails\\a.txt,A001\r\nmails/b.txt,A002\r\n");
        return true;
    }();
    (void)prepared;

    const std::string base = folder.Cp932Path();
    TVirtualClock clock;
    TRecordingView view(clock);
    TScriptedMailer mailer(clock);
    TDelivery delivery(base, view, clock, mailer);
    view.Attach(delivery);

    bool ready = false;
    try {
        ready = delivery.ParseCommandLine(args);
    } catch (const EConvertError&) {
        return 0;
    }
    const TRunOptions& o = delivery.State().Options;
    FUZZ_CHECK(o.JobListReady == ready);
    FUZZ_CHECK(o.HadArguments == !args.empty());
    FUZZ_CHECK(delivery.StatusCode() == 0);
    // A ready list was read from the file the options name, into a work folder that exists.
    FUZZ_CHECK(!ready || (!delivery.State().JobList.empty() && platform::FileExists(o.JobListPath)));
    FUZZ_CHECK(!o.WorkFolder.empty() && o.WorkFolder.back() == '/');
    if (ready)
        FUZZ_CHECK(platform::DirectoryExists(o.WorkFolder));
    FUZZ_CHECK(o.SendLimit >= 0 && o.SendUnit >= 0);
    FUZZ_CHECK(std::isfinite(o.MailPause) && o.MailPause >= 0);
    FUZZ_CHECK(std::isfinite(o.UnitWait) && o.UnitWait >= 0);
    return 0;
}
