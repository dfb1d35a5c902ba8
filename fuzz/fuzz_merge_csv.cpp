// The merge tool's customer list: any bytes the reader accepts, written back
// as CSV, read back as the same table; and the definitions merged from that
// table read back through the run's own parse to the table's values.
#include "CsvTable.h"
#include "FuzzCheck.h"
#include "FuzzFolder.h"
#include "MergeTemplate.h"
#include "jtext/HenkanJ.h"
#include "jtext/SjisBytes.h"
#include "platform/CodePage.h"
#include "run/MailDefinition.h"
#include "support/RunFakes.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Every value quoted, its quotes doubled.
std::string WriteCsv(const TCsvTable& t)
{
    std::string text;
    auto row = [&](const std::vector<std::string>& cells) {
        for (std::size_t k = 0; k < cells.size(); ++k) {
            text += k ? ",\"" : "\"";
            for (char c : cells[k])
                text += c == '"' ? "\"\"" : std::string(1, c);
            text += '"';
        }
        text += "\r\n";
    };
    row(t.Header);
    for (const TCsvRow& r : t.Rows)
        row(r.Cells);
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view in(reinterpret_cast<const char*>(data), size);
    std::string utf8;
    TTextError e;
    TCsvTable table;
    if (!DecodeText(in, utf8, e) || !ParseCsv(utf8, table, e)) {
        FUZZ_CHECK(e.Line >= 1 && !e.En.empty());
        return 0;
    }
    TCsvTable again;
    FUZZ_CHECK(ParseCsv(WriteCsv(table), again, e));
    FUZZ_CHECK(again.Header == table.Header && again.Rows.size() == table.Rows.size());
    for (std::size_t r = 0; r < table.Rows.size(); ++r) {
        FUZZ_CHECK(again.Rows[r].Cells == table.Rows[r].Cells);
        FUZZ_CHECK(table.Rows[r].Line > (r ? table.Rows[r - 1].Line : 1));
    }

    // Recipients, sender, subject and body from the columns in turn.
    const std::vector<std::string>& h = table.Header;
    for (const std::string& name : h) // names a placeholder cannot hold
        if (name.find_first_of("{}\r\n") != std::string::npos)
            return 0;
    auto column = [&](std::size_t k) { return "{" + h[k % h.size()] + "}"; };
    std::vector<TFinding> findings;
    const auto lines = ParseTemplate("log.txt\n\n" + column(0) + "\n" + column(1) + "\n" + column(2) + "\n\n" + column(3),
                                     h, findings);
    FUZZ_CHECK(findings.empty());
    const TBatch batch = MergeBatch(lines, table, -1);
    FUZZ_CHECK(batch.Mails.size() == table.Rows.size());
    if (batch.Errors() > 0)
        return 0;
    const std::string folder = FuzzFolder().Cp932Path();
    TVirtualClock clock;
    const bool stop = false;
    TRetryRules retry(clock, stop);
    for (std::size_t r = 0; r < batch.Mails.size(); ++r) {
        const std::vector<std::string>& cells = table.Rows[r].Cells;
        auto value = [&](std::size_t k) { return cells[k % cells.size()]; };
        const TMail mail = ParseMailDefinition(batch.Mails[r].Lines, folder + "def.txt", folder, TBatchReader{retry});
        FUZZ_CHECK(mail.Subject == NormalizeKana(platform::Utf8ToCp932(value(2))));
        std::vector<std::string> body = SplitAtLineBreaks(value(3));
        for (std::string& line : body)
            line = NormalizeKana(platform::Utf8ToCp932(line));
        FUZZ_CHECK(mail.Body == body);
        const std::string from = platform::Utf8ToCp932(value(1));
        if (from.find_first_of(",\t") == std::string::npos)
            FUZZ_CHECK(mail.Sender1 == from);
        std::string to = ReplaceChar(platform::Utf8ToCp932(value(0)), '\t', ',');
        if (FindText(to, ">#") == std::string::npos) {
            while (!to.empty() && to.back() == ',')
                to.pop_back();
            FUZZ_CHECK(mail.AddressList == to);
        }
    }
    return 0;
}
