// The run journal. The input is read three ways:
//  - as journal bytes: whatever they hold, the state read from them never
//    claims a mail started or done without a readable record saying so, and
//    a record written where the reader puts the next one reads back last;
//  - as records: after five control bytes, the text up to the first 0x02 is
//    cut into records at 0x00 and into fields at 0x01, the first byte of each
//    record naming its kind. Written and read back they are the same records,
//    without damage;
//  - as damage: the bytes after that 0x02 replace a stretch of one record
//    (control: which record, offset and length, two bytes each). Every other
//    record still reads back, in order, around whatever the stretch became.
// And a mail's start and done records, with values from the first record's
// fields, give back its result line.
#include "FuzzCheck.h"
#include "run/RunJournal.h"

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

bool Number(const std::string& text, int& v)
{
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    return r.ec == std::errc() && r.ptr == text.data() + text.size() && !text.empty();
}

TJournalKind KindOf(char c)
{
    constexpr std::string_view kinds = "HRSDE";
    return static_cast<TJournalKind>(kinds.find(c) != std::string_view::npos ? c : kinds[static_cast<unsigned char>(c) % 5]);
}

bool Same(const TJournalItem& item, const TJournalRecord& r)
{
    return !item.damaged && item.record.kind == r.kind && item.record.fields == r.fields;
}

void CheckState(const TDecodedJournal& journal)
{
    const TJournalState state = ReadJournalState(journal);
    // A readable record of this kind for the mail, of the size the reader takes.
    auto has = [&](TJournalKind kind, int index, const std::string& endTime) {
        const bool start = kind == TJournalKind::kMailStarted;
        for (const TJournalItem& item : journal.items) {
            const std::vector<std::string>& f = item.record.fields;
            int part = -1, i = -1;
            if (!item.damaged && item.record.kind == kind && f.size() == (start ? 13u : 6u) && Number(f[0], part)
                && Number(f[1], i) && part == state.part && i == index && (start || f[4] == endTime))
                return true;
        }
        return false;
    };
    for (const auto& [index, m] : state.mails) {
        FUZZ_CHECK(!m.started || has(TJournalKind::kMailStarted, index, ""));
        FUZZ_CHECK(!m.done || has(TJournalKind::kMailDone, index, m.line.EndTime));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const TDecodedJournal raw = DecodeJournal(input);
    FUZZ_CHECK(raw.end <= input.size());
    CheckState(raw);
    if (size < 5)
        return 0;

    std::string_view text = input.substr(5);
    const std::size_t cut = text.find('\x02');
    const std::string_view patch = cut == std::string_view::npos ? std::string_view() : text.substr(cut + 1);
    text = text.substr(0, cut);
    std::vector<TJournalRecord> records;
    for (;;) {
        const std::size_t end = text.find('\0');
        std::string_view r = text.substr(0, end);
        records.push_back({KindOf(r.empty() ? 'E' : r[0]), {}});
        r.remove_prefix(r.empty() ? 0 : 1);
        for (;;) {
            const std::size_t sep = r.find('\x01');
            records.back().fields.emplace_back(r.substr(0, sep));
            if (sep == std::string_view::npos)
                break;
            r.remove_prefix(sep + 1);
        }
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }

    // Written and read back: the same records, nothing damaged.
    std::vector<std::size_t> starts;
    std::string file;
    for (const TJournalRecord& r : records) {
        starts.push_back(file.size());
        file += EncodeJournalRecord(r);
    }
    starts.push_back(file.size());
    const TDecodedJournal whole = DecodeJournal(file);
    FUZZ_CHECK(whole.end == file.size() && whole.items.size() == records.size());
    for (std::size_t k = 0; k < records.size(); ++k)
        FUZZ_CHECK(Same(whole.items[k], records[k]));
    CheckState(whole);

    // A record written where the reader says the next one goes reads back
    // last, whatever the bytes before it hold.
    const TDecodedJournal appended = DecodeJournal(std::string(input.substr(0, raw.end)) + EncodeJournalRecord(records[0]));
    FUZZ_CHECK(appended.items.size() == raw.items.size() + 1 && Same(appended.items.back(), records[0]));

    // One record's stretch replaced: every record outside it still reads back.
    const std::size_t k = data[0] % records.size(), span = starts[k + 1] - starts[k];
    const std::size_t at = ((data[1] << 8) | data[2]) % (span + 1);
    const std::size_t len = ((data[3] << 8) | data[4]) % (span - at + 1);
    const std::string damaged = file.substr(0, starts[k] + at) + std::string(patch) + file.substr(starts[k] + at + len);
    const TDecodedJournal hurt = DecodeJournal(damaged);
    const std::size_t after = records.size() - k - 1;
    FUZZ_CHECK(hurt.items.size() >= k + after);
    for (std::size_t i = 0; i < k; ++i)
        FUZZ_CHECK(Same(hurt.items[i], records[i]));
    for (std::size_t i = 0; i < after; ++i)
        FUZZ_CHECK(Same(hurt.items[hurt.items.size() - after + i], records[k + 1 + i]));
    CheckState(hurt);

    // A mail's two records give back its result line.
    TResultLine v;
    const std::vector<std::string>& f = records[0].fields;
    std::size_t n = 0;
    for (std::string* s : {&v.Date, &v.Time, &v.EndTime, &v.Host, &v.Recipients, &v.Sender, &v.Subject, &v.Attachments,
                           &v.SendCode, &v.DefinitionPath})
        *s = n < f.size() ? f[n++] : std::string();
    v.Counter = static_cast<int>(size);
    v.Status = -static_cast<int>(size);
    v.Unknown = size % 2;
    const int index = static_cast<int>(size % 7);
    const std::string mail = EncodeJournalRecord(TJournalKind::kRunBegun, {"jobs.txt", "1-0"})
        + EncodeMailStarted(0, index, v, v.Subject) + EncodeMailDone(0, index, v);
    const TJournalState state = ReadJournalState(DecodeJournal(mail));
    const TJournalMail& m = state.mails.at(index);
    FUZZ_CHECK(state.present && !state.damaged && state.mails.size() == 1 && m.started && m.done);
    FUZZ_CHECK(m.outcomeLogPath == v.Subject && state.highestCounter == v.Counter);
    FUZZ_CHECK(ComposeResultLine(m.line, true) == ComposeResultLine(v, true));
    return 0;
}
