// The mailer command built from arbitrary mail fields. The input is cut at
// 0x1E bytes into host, address list, senders 1 to 3, subject, attachment
// list, attachment names and the mailer command; the first byte holds flags
// (bit 0: /z, bit 1: NoTopt, bit 2: take the mailer command from the input).
// In both modes the command (and the batch script) must give back what the
// fields mean, or the mail must be refused.
#include "MailCommandCheck.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view in(reinterpret_cast<const char*>(data), size);
    const unsigned flags = in.empty() ? 0 : static_cast<unsigned char>(in[0]);
    in.remove_prefix(in.empty() ? 0 : 1);
    TMail m;
    std::string mailer;
    for (std::string* f : {&m.Host, &m.AddressList, &m.Sender1, &m.Sender2, &m.Sender3, &m.Subject, &m.AttachmentList,
                           &m.AttachmentNames, &mailer}) {
        const std::size_t cut = f == &mailer ? std::string_view::npos : in.find('\x1e');
        *f = in.substr(0, cut);
        in.remove_prefix(cut == std::string_view::npos ? in.size() : cut + 1);
    }
    // By default a mailer that exists, so that the batch script runs it.
    TCommandSettings settings{(flags & 4) ? mailer : std::string("/bin/true"), (flags & 2) ? 1 : 0, false, (flags & 1) != 0};
    for (bool batch : {false, true}) {
        settings.Batch = batch;
        fuzzcheck::CheckMailCommand(m, settings);
    }
    return 0;
}
