// The run journal's reader on arbitrary bytes: what it reads is exactly the
// good beginning of the file, and records built from the input come back whole.
#include "FuzzCheck.h"
#include "run/RunJournal.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    // Reading: the records read, written again, are the bytes they came from.
    std::size_t valid = 0;
    const std::vector<TJournalRecord> read = DecodeJournal(input, valid);
    FUZZ_CHECK(valid <= input.size());
    std::string again;
    for (const TJournalRecord& r : read)
        again += EncodeJournalRecord(r);
    FUZZ_CHECK(again == input.substr(0, valid));

    // Writing: the input cut into records at 0x00 and into fields at 0x01.
    std::vector<TJournalRecord> records;
    const char kinds[] = {'H', 'R', 'S', 'E'};
    TJournalRecord current{TJournalKind::kRunBegun, {std::string()}};
    for (const char c : input) {
        if (c == '\0') {
            records.push_back(current);
            current = TJournalRecord{static_cast<TJournalKind>(kinds[records.size() % 4]), {std::string()}};
        } else if (c == '\x01') {
            current.fields.emplace_back();
        } else {
            current.fields.back() += c;
        }
    }
    records.push_back(current);
    std::string file;
    for (const TJournalRecord& r : records)
        file += EncodeJournalRecord(r);
    const std::vector<TJournalRecord> back = DecodeJournal(file, valid);
    FUZZ_CHECK(valid == file.size());
    FUZZ_CHECK(back.size() == records.size());
    for (std::size_t k = 0; k < back.size(); ++k)
        FUZZ_CHECK(back[k].kind == records[k].kind && back[k].fields == records[k].fields);
    // A cut anywhere inside the last record leaves all the others.
    if (file.size() > 1) {
        const std::size_t cut = file.size() - 1 - (size % file.size()) % EncodeJournalRecord(records.back()).size();
        const std::vector<TJournalRecord> torn = DecodeJournal(std::string_view(file).substr(0, cut), valid);
        FUZZ_CHECK(torn.size() == records.size() - 1);
    }
    return 0;
}
