#include "run/RunJournal.h"

#include "jtext/SjisBytes.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace {

std::uint32_t Fnv1a32(std::string_view a, std::string_view b)
{
    std::uint32_t h = 2166136261u;
    for (std::string_view part : {a, b}) {
        for (const unsigned char c : part) {
            h ^= c;
            h *= 16777619u;
        }
    }
    return h;
}

std::string Hex8(std::uint32_t v)
{
    char buf[9];
    std::snprintf(buf, sizeof buf, "%08x", v);
    return buf;
}

// A decimal count at `p` that ends at `stop`, written as the encoder writes it
// (no leading zero); false for anything else.
bool ReadCount(std::string_view data, std::size_t& p, char stop, std::size_t& value)
{
    const std::size_t start = p;
    value = 0;
    while (p < data.size() && data[p] >= '0' && data[p] <= '9' && p - start < 18)
        value = value * 10 + static_cast<std::size_t>(data[p++] - '0');
    if (p == start || (data[start] == '0' && p - start > 1) || p >= data.size() || data[p] != stop)
        return false;
    ++p;
    return true;
}

bool DecodeFields(std::string_view payload, std::vector<std::string>& fields)
{
    fields.clear();
    std::size_t p = 0;
    while (p < payload.size()) {
        std::size_t n = 0;
        if (!ReadCount(payload, p, ':', n) || n > payload.size() - p)
            return false;
        fields.emplace_back(payload.substr(p, n));
        p += n;
    }
    return true;
}

bool IsKind(char c)
{
    return c == 'H' || c == 'R' || c == 'S' || c == 'E';
}

int ToInt(const std::string& text)
{
    int v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    return r.ec == std::errc() ? v : -1;
}

} // namespace

namespace {

// "<kind> <length> <checksum>\n<payload>\n" in one allocation.
template <typename Fields>
std::string Encode(char kind, const Fields& fields)
{
    std::size_t payloadSize = 0;
    for (const std::string_view f : fields)
        payloadSize += std::to_string(f.size()).size() + 1 + f.size();
    std::string out(1, kind);
    out.reserve(32 + payloadSize);
    out += ' ';
    out += std::to_string(payloadSize);
    out += " 00000000\n";
    const std::size_t sumAt = out.size() - 9, payloadAt = out.size();
    for (const std::string_view f : fields) {
        out += std::to_string(f.size());
        out += ':';
        out += f;
    }
    out.replace(sumAt, 8, Hex8(Fnv1a32(std::string_view(&kind, 1), std::string_view(out).substr(payloadAt))));
    out += '\n';
    return out;
}

} // namespace

std::string EncodeJournalRecord(TJournalKind kind, std::initializer_list<std::string_view> fields)
{
    return Encode(static_cast<char>(kind), fields);
}

std::string EncodeJournalRecord(const TJournalRecord& record)
{
    return Encode(static_cast<char>(record.kind), record.fields);
}

std::vector<TJournalRecord> DecodeJournal(std::string_view data, std::size_t& validLength)
{
    std::vector<TJournalRecord> records;
    std::size_t p = 0;
    validLength = 0;
    while (p < data.size()) {
        if (p + 2 > data.size() || !IsKind(data[p]) || data[p + 1] != ' ')
            break;
        const char kind = data[p];
        std::size_t q = p + 2, length = 0;
        if (!ReadCount(data, q, ' ', length) || q + 9 > data.size() || data[q + 8] != '\n')
            break;
        const std::string_view sum = data.substr(q, 8);
        q += 9;
        if (length > data.size() - q || q + length >= data.size() || data[q + length] != '\n')
            break;
        const std::string_view payload = data.substr(q, length);
        if (sum != Hex8(Fnv1a32(std::string_view(&kind, 1), payload)))
            break;
        TJournalRecord record;
        record.kind = static_cast<TJournalKind>(kind);
        if (!DecodeFields(payload, record.fields))
            break;
        records.push_back(std::move(record));
        p = q + length + 1;
        validLength = p;
    }
    return records;
}

std::string TStartedMail::Encode(int index, const TOutcomeValues& v, std::string_view jobLine, std::string_view outcomeLogPath,
                                 std::string_view definitionPath)
{
    const std::string i = std::to_string(index), c = std::to_string(v.counter);
    return EncodeJournalRecord(TJournalKind::kMailStarted, {i, c, jobLine, outcomeLogPath, v.date, v.time, v.host, v.recipients,
                                                            v.sender, v.subject, v.attachments, v.sendCode, definitionPath});
}

bool TStartedMail::FromRecord(TJournalRecord&& record, TStartedMail& mail)
{
    std::vector<std::string>& f = record.fields;
    if (record.kind != TJournalKind::kMailStarted || f.size() != 13)
        return false;
    mail.index = ToInt(f[0]);
    mail.counter = ToInt(f[1]);
    if (mail.index < 0 || mail.counter < 0)
        return false;
    mail.jobLine = std::move(f[2]);
    mail.outcomeLogPath = std::move(f[3]);
    mail.date = std::move(f[4]);
    mail.time = std::move(f[5]);
    mail.host = std::move(f[6]);
    mail.recipients = std::move(f[7]);
    mail.sender = std::move(f[8]);
    mail.subject = std::move(f[9]);
    mail.attachments = std::move(f[10]);
    mail.sendCode = std::move(f[11]);
    mail.definitionPath = std::move(f[12]);
    return true;
}

std::string TStartedMail::ResultLineTail() const
{
    return "," + std::to_string(counter) + "," + sendCode + "," + definitionPath;
}

TStartedMailIndex::TStartedMailIndex(const std::vector<TStartedMail>& mails)
{
    for (const TStartedMail& m : mails)
        byDefinition_[m.definitionPath].push_back(&m);
}

const TStartedMail* TStartedMailIndex::Find(const std::string& resultLine) const
{
    // The definition path holds no comma: it is what follows the line's last one.
    const std::size_t comma = FindLastChar(resultLine, ',');
    const auto it = byDefinition_.find(comma == std::string::npos ? resultLine : resultLine.substr(comma + 1));
    if (it == byDefinition_.end())
        return nullptr;
    for (const TStartedMail* m : it->second) {
        const std::string tail = m->ResultLineTail();
        if (resultLine.size() >= tail.size() && resultLine.compare(resultLine.size() - tail.size(), tail.size(), tail) == 0)
            return m;
    }
    return nullptr;
}

TJournalState ReadJournalState(std::vector<TJournalRecord>&& records)
{
    TJournalState state;
    for (TJournalRecord& r : records) {
        switch (r.kind) {
        case TJournalKind::kRunBegun:
            // A new run starts a new journal; should two ever follow each other, the later one counts.
            state = TJournalState{};
            state.present = true;
            state.jobListPath = r.fields.size() > 0 ? r.fields[0] : std::string();
            state.jobListDigest = r.fields.size() > 1 ? r.fields[1] : std::string();
            break;
        case TJournalKind::kResendBegun:
            state.finished = false;
            state.inResend = true;
            state.resendMarker = !r.fields.empty() && r.fields[0] == "1";
            state.resendLines.assign(r.fields.empty() ? r.fields.end() : r.fields.begin() + 1, r.fields.end());
            state.started.clear();
            break;
        case TJournalKind::kMailStarted: {
            TStartedMail mail;
            if (TStartedMail::FromRecord(std::move(r), mail)) {
                state.finished = false;
                state.highestCounter = std::max(state.highestCounter, mail.counter);
                state.started.push_back(std::move(mail));
            }
            break;
        }
        case TJournalKind::kRunFinished:
            state.finished = true;
            break;
        }
    }
    return state;
}

std::string JobListDigest(const std::vector<std::string>& lines)
{
    // FNV-1a, 64 bits, over the lines and their count.
    std::uint64_t h = 14695981039346656037ull;
    auto mix = [&](std::string_view s) {
        for (const unsigned char c : s) {
            h ^= c;
            h *= 1099511628211ull;
        }
    };
    for (const std::string& line : lines) {
        mix(line);
        mix(std::string_view("\r\n", 2));
    }
    char buf[40];
    std::snprintf(buf, sizeof buf, "%zu-%016llx", lines.size(), static_cast<unsigned long long>(h));
    return buf;
}
