// The mailer command built from arbitrary mail fields. The input is cut at
// 0x1E bytes into the lines of a mail definition (host line, recipients,
// senders, subject, attachments) and the mailer command; the first byte holds
// flags (bit 0: /z, bit 1: NoTopt, bit 2: take the mailer command from the
// input). For both modes the command (and the batch script) must give back
// what the fields mean, or the mail must be refused.
#include "FuzzCheck.h"
#include "FuzzFolder.h"
#include "MailCommandCheck.h"
#include "run/TDelivery.h"
#include "support/RunFakes.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view in(reinterpret_cast<const char*>(data), size);
    unsigned flags = 0;
    if (!in.empty()) {
        flags = static_cast<unsigned char>(in[0]);
        in.remove_prefix(1);
    }
    std::vector<std::string> fields;
    while (fields.size() < 5) {
        const std::size_t cut = in.find('\x1e');
        fields.emplace_back(in.substr(0, cut));
        in = cut == std::string_view::npos ? std::string_view() : in.substr(cut + 1);
    }
    const std::string mailer(in);

    TTempFolder& folder = FuzzFolder();
    static const bool prepared = [&] {
        folder.MakeFolder("temp");
        return true;
    }();
    (void)prepared;

    const std::string base = folder.Cp932Path();
    TVirtualClock clock;
    TRecordingView view(clock);
    TScriptedMailer scripted(clock);
    TDelivery delivery(base, view, clock, scripted);
    view.Attach(delivery);
    delivery.ParseCommandLine({"/f", base + "temp"});
    delivery.State().EncodeSenderName = (flags & 1) != 0;
    delivery.Settings().NoTopt = (flags & 2) ? 1 : 0;
    // A mailer that exists, so that the batch script runs it.
    delivery.Settings().Name = (flags & 4) ? mailer : std::string("/bin/true");

    // The host line keeps no per-mail folder: the body file stays in temp/.
    std::string& host = fields[0];
    for (char& c : host)
        if (c == ',')
            c = '.';
    delivery.State().DefinitionLines = {"log.txt", host, fields[1], fields[2], fields[3], fields[4]};
    delivery.ParseMailDefinition();
    if (delivery.State().Closing)
        return 0;
    for (bool batch : {false, true})
        fuzzcheck::CheckMailCommand(delivery, batch);
    return 0;
}
