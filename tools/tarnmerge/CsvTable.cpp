#include "CsvTable.h"

#include "jtext/TextKind.h"
#include "platform/CodePage.h"

#include <set>
#include <utility>

namespace {

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// Skips one line end (CR LF, CR or LF) at pos.
std::size_t SkipLineEnd(std::string_view s, std::size_t pos)
{
    return pos + (s[pos] == '\r' && pos + 1 < s.size() && s[pos + 1] == '\n' ? 2 : 1);
}

int LineBreaks(std::string_view s)
{
    int n = 0;
    for (std::size_t i = 0; i < s.size(); ++i)
        if (s[i] == '\n' || (s[i] == '\r' && (i + 1 == s.size() || s[i + 1] != '\n')))
            ++n;
    return n;
}

// Texts from other systems write a few characters of JIS X 0208 by code
// points that code page 932 holds under others (〜 U+301C where it has ～
// U+FF5E). Linux's converter takes both, Windows' only its own: the text
// takes code page 932's, so both builds write the same bytes. File names are
// never folded: the system would open another name.
std::string FoldToCp932Forms(const std::string& utf8)
{
    static const std::pair<std::string_view, std::string_view> kForms[] = {
        {"\u301C", "\uFF5E"}, {"\u2016", "\u2225"}, {"\u2212", "\uFF0D"}, {"\u00A2", "\uFFE0"},
        {"\u00A3", "\uFFE1"}, {"\u00AC", "\uFFE2"}, {"\u2014", "\u2015"},
    };
    std::string out = utf8;
    for (const auto& [from, to] : kForms)
        for (std::size_t at = out.find(from); at != std::string::npos; at = out.find(from, at + to.size()))
            out.replace(at, from.size(), to);
    return out;
}

} // namespace

bool ParseCsv(std::string_view text, TCsvTable& table, TTextError& error)
{
    table = {};
    const std::size_t n = text.size();
    std::size_t pos = 0;
    int line = 1;
    bool header = true;
    auto fail = [&](int at, std::string ja, std::string en) {
        error = {at, std::move(ja), std::move(en)};
        return false;
    };
    while (pos < n) {
        if (IsLineEnd(text[pos])) { // an empty line
            pos = SkipLineEnd(text, pos);
            ++line;
            continue;
        }
        TCsvRow row{line, {}};
        for (;;) {
            std::string cell;
            if (pos < n && text[pos] == '"') {
                const int opened = line;
                ++pos;
                for (;;) {
                    const std::size_t quote = text.find('"', pos);
                    if (quote == std::string_view::npos)
                        return fail(opened, "引用符が閉じていません", "a quote is left open");
                    cell.append(text.substr(pos, quote - pos));
                    line += LineBreaks(text.substr(pos, quote - pos));
                    pos = quote + 1;
                    if (pos < n && text[pos] == '"') { // a doubled quote
                        cell += '"';
                        ++pos;
                        continue;
                    }
                    break;
                }
                if (pos < n && text[pos] != ',' && !IsLineEnd(text[pos]))
                    return fail(line, "閉じた引用符の後に文字があります", "text after a closing quote");
            } else {
                const std::size_t end = text.find_first_of(",\r\n", pos);
                cell = text.substr(pos, end == std::string_view::npos ? n - pos : end - pos);
                if (cell.find('"') != std::string::npos)
                    return fail(line, "引用符で囲まれていない値に引用符があります", "a quote inside an unquoted value");
                pos += cell.size();
            }
            row.Cells.push_back(std::move(cell));
            if (pos < n && text[pos] == ',') {
                ++pos;
                continue;
            }
            if (pos < n) {
                pos = SkipLineEnd(text, pos);
                ++line;
            }
            break;
        }
        if (header) {
            std::set<std::string> names;
            for (const std::string& name : row.Cells) {
                if (name.empty())
                    return fail(row.Line, "見出しに名前のない列があります", "the header has a column without a name");
                if (!names.insert(name).second)
                    return fail(row.Line, "見出しに同じ名前の列が二つあります: " + name, "the header names a column twice");
            }
            table.Header = std::move(row.Cells);
            header = false;
        } else if (row.Cells.size() != table.Header.size()) {
            const std::string counts = " (" + std::to_string(row.Cells.size()) + "/" + std::to_string(table.Header.size()) + ")";
            return fail(row.Line, "値の数が見出しの列の数と違います" + counts, "the number of values differs from the header's" + counts);
        } else {
            table.Rows.push_back(std::move(row));
        }
    }
    if (header)
        return fail(1, "見出しの行がありません", "no header row");
    return true;
}

bool DecodeText(std::string_view bytes, std::string& utf8, TTextError& error)
{
    const TTextKind kind = GuessTextKind(bytes);
    if (kind == TTextKind::ShiftJis) {
        utf8 = platform::Cp932ToUtf8(bytes);
        // A byte that is no Shift_JIS comes back as U+DC80..U+DCFF (ED B2/B3 xx).
        for (std::size_t i = 0; i + 1 < utf8.size(); ++i)
            if (utf8[i] == '\xED' && (utf8[i + 1] == '\xB2' || utf8[i + 1] == '\xB3')) {
                error = {1 + LineBreaks(std::string_view(utf8).substr(0, i)),
                         "Shift_JISでもUTF-8でもないバイトがあります", "bytes that are neither Shift_JIS nor UTF-8"};
                return false;
            }
        utf8 = FoldToCp932Forms(utf8);
        return true;
    }
    const std::string_view text = bytes.substr(Utf8BomLength(bytes));
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t len = Utf8SequenceLength(text, i);
        if (len == 0) {
            error = {1 + LineBreaks(text.substr(0, i)), "UTF-8として読めないバイトがあります", "bytes that are not UTF-8"};
            return false;
        }
        i += len;
    }
    utf8 = FoldToCp932Forms(std::string(text));
    return true;
}
