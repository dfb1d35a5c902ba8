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

std::string Quoted(const std::string& cell)
{
    std::string q = "\"";
    for (char c : cell)
        q += c == '"' ? "\"\"" : std::string(1, c);
    return q + "\"";
}

std::string WriteCsv(const TCsvTable& t)
{
    auto row = [](const std::vector<std::string>& cells) {
        std::string line;
        for (std::size_t k = 0; k < cells.size(); ++k)
            line += (k ? "," : "") + Quoted(cells[k]);
        return line + "\r\n";
    };
    std::string text = row(t.Header);
    for (const TCsvRow& r : t.Rows)
        text += row(r.Cells);
    return text;
}

// The lines of a value as the body gets them.
std::vector<std::string> BodyLines(const std::string& utf8)
{
    std::vector<std::string> lines(1);
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        if (utf8[i] != '\r' && utf8[i] != '\n') {
            lines.back() += utf8[i];
            continue;
        }
        i += utf8[i] == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n';
        lines.emplace_back();
    }
    for (std::string& l : lines)
        l = NormalizeKana(platform::Utf8ToCp932(l));
    return lines;
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
        const TMail mail = ParseMailDefinition(batch.Mails[r].Lines, folder + "def.txt", folder, retry);
        FUZZ_CHECK(mail.Subject == NormalizeKana(platform::Utf8ToCp932(value(2))));
        FUZZ_CHECK(mail.Body == BodyLines(value(3)));
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
