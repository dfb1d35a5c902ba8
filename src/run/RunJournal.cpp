#include "run/RunJournal.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstdio>

namespace {

constexpr char kMarker = '\x1E';
constexpr char kEscape = '\x1D';

std::uint32_t Fnv1a32(char kind, std::string_view payload)
{
    std::uint32_t h = 2166136261u;
    auto mix = [&](unsigned char c) {
        h ^= c;
        h *= 16777619u;
    };
    mix(static_cast<unsigned char>(kind));
    for (const unsigned char c : payload)
        mix(c);
    return h;
}

void AppendHex8(std::string& out, std::uint32_t v)
{
    char buf[9];
    std::snprintf(buf, sizeof buf, "%08x", v);
    out.append(buf, 8);
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

bool IsKind(char c) { return c == 'H' || c == 'R' || c == 'S' || c == 'D' || c == 'E'; }

bool Unescape(std::string_view in, std::string& out)
{
    out.clear();
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        // A marker always starts a record: a payload holding one would take in
        // the records behind it.
        if (in[i] == kMarker)
            return false;
        if (in[i] != kEscape) {
            out += in[i];
            continue;
        }
        if (++i == in.size() || (in[i] != '\x01' && in[i] != '\x02'))
            return false;
        out += in[i] == '\x01' ? kMarker : kEscape;
    }
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

// The record that starts at `p` (at its marker); its end, or 0 when there is none.
std::size_t DecodeRecordAt(std::string_view data, std::size_t p, TJournalRecord& record)
{
    if (p + 3 > data.size() || data[p] != kMarker || !IsKind(data[p + 1]) || data[p + 2] != ' ')
        return 0;
    const char kind = data[p + 1];
    std::size_t q = p + 3, length = 0;
    if (!ReadCount(data, q, ' ', length) || q + 9 > data.size() || data[q + 8] != '\n')
        return 0;
    const std::string_view sum = data.substr(q, 8);
    q += 9;
    if (length > data.size() - q || q + length >= data.size() || data[q + length] != '\n')
        return 0;
    const std::string_view payload = data.substr(q, length);
    std::string expected;
    AppendHex8(expected, Fnv1a32(kind, payload));
    std::string raw;
    if (sum != expected || !Unescape(payload, raw) || !DecodeFields(raw, record.fields))
        return 0;
    record.kind = static_cast<TJournalKind>(kind);
    return q + length + 1;
}

template <typename Fields>
std::string Encode(char kind, const Fields& fields)
{
    std::string raw;
    std::size_t size = 0;
    for (const std::string_view f : fields)
        size += f.size() + 12;
    raw.reserve(size);
    for (const std::string_view f : fields) {
        raw += std::to_string(f.size());
        raw += ':';
        raw += f;
    }
    std::string payload;
    payload.reserve(raw.size() + 16);
    for (const char c : raw) {
        if (c == kMarker || c == kEscape) {
            payload += kEscape;
            payload += c == kMarker ? '\x01' : '\x02';
        } else {
            payload += c;
        }
    }
    std::string out;
    out.reserve(payload.size() + 32);
    out += kMarker;
    out += kind;
    out += ' ';
    out += std::to_string(payload.size());
    out += ' ';
    AppendHex8(out, Fnv1a32(kind, payload));
    out += '\n';
    out += payload;
    out += '\n';
    return out;
}

bool ParseInt(const std::string& text, int& v)
{
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    return r.ec == std::errc() && r.ptr == text.data() + text.size() && !text.empty();
}

// A count or number that cannot be negative; -1 when it is not one.
int ToInt(const std::string& text)
{
    int v = 0;
    return ParseInt(text, v) && v >= 0 ? v : -1;
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

TDecodedJournal DecodeJournal(std::string_view data)
{
    TDecodedJournal journal;
    // Everything up to the last byte that is not zero belongs to the records:
    // the zeros laid out ahead of them end it.
    std::size_t n = data.size();
    while (n > 0 && data[n - 1] == '\0')
        --n;
    journal.end = n;
    std::size_t p = 0;
    while (p < n) {
        TJournalItem item;
        const std::size_t end = DecodeRecordAt(data.substr(0, n), p, item.record);
        if (end != 0) {
            journal.items.push_back(std::move(item));
            p = end;
            continue;
        }
        // Damage: whatever stands up to the next marker is one lost record.
        item.damaged = true;
        journal.items.push_back(std::move(item));
        const std::size_t next = data.find(kMarker, p + 1);
        p = next == std::string_view::npos || next > n ? n : next;
    }
    return journal;
}

std::string EncodeMailStarted(int part, int index, const TResultLine& v, std::string_view outcomeLogPath)
{
    const std::string pt = std::to_string(part), i = std::to_string(index), c = std::to_string(v.Counter);
    return EncodeJournalRecord(TJournalKind::kMailStarted, {pt, i, c, v.Date, v.Time, v.Host, v.Recipients, v.Sender,
                                                            v.Subject, v.Attachments, v.SendCode, v.DefinitionPath,
                                                            outcomeLogPath});
}

std::string EncodeMailDone(int part, int index, const TResultLine& v)
{
    const std::string pt = std::to_string(part), i = std::to_string(index), c = std::to_string(v.Counter),
                      s = std::to_string(v.Status);
    return EncodeJournalRecord(TJournalKind::kMailDone, {pt, i, c, s, v.EndTime, v.Unknown ? "1" : "0"});
}

TJournalState ReadJournalState(const TDecodedJournal& journal)
{
    TJournalState state;
    int lastIndex = -1; // of the latest part's last readable mail record
    int lost = 0;       // damaged records since then
    // Damage may have taken start records: those of the mails between the
    // records around it, or, behind the last one, as many mails as records were lost.
    auto settle = [&](int next) {
        if (lost == 0)
            return;
        // Counted wide: a record may name the highest index there is.
        const long long to = next > lastIndex ? next - 1LL : std::min<long long>(lastIndex + 1LL * lost, INT_MAX);
        if (to > lastIndex)
            state.maybeStarted.emplace_back(lastIndex + 1, static_cast<int>(to));
        lost = 0;
    };
    auto newPart = [&](int part) {
        state.part = part;
        state.finished = false;
        state.mails.clear();
        state.maybeStarted.clear();
        lastIndex = -1;
        lost = 0;
    };
    for (const TJournalItem& item : journal.items) {
        if (item.damaged) {
            state.damaged = true;
            ++lost;
            continue;
        }
        const std::vector<std::string>& f = item.record.fields;
        switch (item.record.kind) {
        case TJournalKind::kRunBegun:
            state.present = true;
            state.jobListPath = f.size() > 0 ? f[0] : std::string();
            state.jobListDigest = f.size() > 1 ? f[1] : std::string();
            newPart(0);
            break;
        case TJournalKind::kResendBegun: {
            const int part = f.empty() ? -1 : ToInt(f[0]);
            if (part <= state.part || f.size() < 2)
                break;
            newPart(part);
            state.partUnknown = false;
            state.resendMarker = f[1] == "1";
            state.resendLines.assign(f.begin() + 2, f.end());
            break;
        }
        case TJournalKind::kMailStarted:
        case TJournalKind::kMailDone: {
            const bool start = item.record.kind == TJournalKind::kMailStarted;
            if (f.size() != (start ? 13u : 6u))
                break;
            const int part = ToInt(f[0]), index = ToInt(f[1]), counter = ToInt(f[2]);
            int status = 0;
            if (part < 0 || index < 0 || counter < 0 || (!start && !ParseInt(f[3], status)))
                break;
            state.highestCounter = std::max(state.highestCounter, counter);
            if (part > state.part) {
                // The resend's own record is lost: which list its mails came from is not known.
                newPart(part);
                state.partUnknown = true;
            }
            if (part != state.part)
                break;
            settle(index);
            TJournalMail& m = state.mails[index];
            m.line.Counter = counter;
            if (start) {
                m.started = true;
                m.line.Date = f[3];
                m.line.Time = f[4];
                m.line.Host = f[5];
                m.line.Recipients = f[6];
                m.line.Sender = f[7];
                m.line.Subject = f[8];
                m.line.Attachments = f[9];
                m.line.SendCode = f[10];
                m.line.DefinitionPath = f[11];
                m.outcomeLogPath = f[12];
            } else {
                m.done = true;
                m.line.Status = status;
                m.line.EndTime = f[4];
                m.line.Unknown = f[5] == "1";
            }
            lastIndex = index;
            break;
        }
        case TJournalKind::kRunFinished:
            settle(-1);
            if (!f.empty() && ToInt(f[0]) == state.part)
                state.finished = true;
            break;
        }
    }
    settle(-1);
    return state;
}

bool TJournalState::MaybeStarted(int index) const
{
    const auto it = mails.find(index);
    if (it != mails.end() && (it->second.started || it->second.done))
        return false;
    return std::any_of(maybeStarted.begin(), maybeStarted.end(),
                       [&](const std::pair<int, int>& r) { return r.first <= index && index <= r.second; });
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
