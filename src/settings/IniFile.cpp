#include "settings/IniFile.h"

#include "jtext/SjisBytes.h"
#include "platform/Files.h"

#include <utility>
#include <vector>

namespace {

constexpr std::string_view kCrLf = "\r\n";

// One line of the file with its own line end ("" for a last line without one),
// so that a rewrite gives back every untouched byte.
struct TIniLine {
    std::string text;
    std::string eol;
};

enum class TLineKind { lkOther, lkSection, lkKey };

struct TParsedLine {
    TLineKind kind = TLineKind::lkOther;
    std::string name;           // section or key name, blanks removed
    std::size_t valueStart = 0; // key lines: first byte of the value
};

// The blanks of the classic profile rules: space, tab, vertical tab, form
// feed, and the old end-of-file mark ^Z. None of them is ever the second byte
// of a double-byte character.
bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1A';
}

std::size_t CharLen(std::string_view s, std::size_t i)
{
    return SjisCharLen(s, i);
}

// Blanks are never the second byte of a double-byte character, so a plain
// byte trim is safe.
std::string_view TrimBlanks(std::string_view s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b]))
        ++b;
    while (e > b && IsBlank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// ASCII letters match in either case; the second byte of a double-byte
// character is compared exactly (it may look like an ASCII letter).
bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size();) {
        const std::size_t len = CharLen(a, i);
        if (len == 2) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1])
                return false;
        } else if (AsciiLower(a[i]) != AsciiLower(b[i])) {
            return false;
        }
        i += len;
    }
    return true;
}

std::vector<TIniLine> SplitKeepingEnds(std::string_view contents)
{
    // Line ends are kept so that a rewrite leaves every other byte as it was.
    std::vector<TIniLine> lines;
    platform::ForEachLine(contents, [&](std::string_view line, std::string_view end) {
        lines.push_back({std::string(line), std::string(end)});
    });
    return lines;
}

// Names and values are texts that end at a NUL byte, as the strings of the
// classic calls do: whatever follows a NUL on its line is never seen.
std::string_view UpToNul(std::string_view s)
{
    return s.substr(0, s.find('\0'));
}

TParsedLine ParseLine(std::string_view text)
{
    TParsedLine parsed;
    std::size_t b = 0;
    while (b < text.size() && IsBlank(text[b]))
        ++b;
    if (b == text.size() || text[b] == ';')
        return parsed;
    if (text[b] == '[') {
        // Searched by characters: 0x5D can be the second byte of a double-byte character.
        const std::string_view rest = text.substr(b + 1);
        const std::size_t close = FindChar(rest, ']');
        if (close != std::string_view::npos) {
            parsed.kind = TLineKind::lkSection;
            parsed.name = std::string(UpToNul(TrimBlanks(rest.substr(0, close))));
        }
        return parsed;
    }
    const std::size_t eq = FindChar(text, '=', b);
    if (eq == std::string_view::npos)
        return parsed;
    parsed.kind = TLineKind::lkKey;
    parsed.name = std::string(UpToNul(TrimBlanks(text.substr(b, eq - b))));
    std::size_t v = eq + 1;
    while (v < text.size() && IsBlank(text[v]))
        ++v;
    parsed.valueStart = v;
    return parsed;
}

// Where a key stands in the file. Only the first section of the name counts.
struct TKeyPlace {
    int sectionLine = -1;
    int keyLine = -1;     // first line of the key in that section
    int lastKeyLine = -1; // last key line of any name in that section
    std::size_t valueStart = 0;
};

// Keys above the first section header belong to the section without a name
// (only reading can reach them: the writer needs a name).
TKeyPlace FindKey(const std::vector<TIniLine>& lines, std::string_view section, std::string_view key)
{
    TKeyPlace place;
    bool inSection = section.empty();
    for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
        const TParsedLine parsed = ParseLine(lines[i].text);
        if (parsed.kind == TLineKind::lkSection) {
            if (inSection)
                break; // the first section of the name has ended
            if (SameName(parsed.name, section)) {
                inSection = true;
                place.sectionLine = i;
            }
        } else if (inSection && parsed.kind == TLineKind::lkKey) {
            place.lastKeyLine = i;
            if (place.keyLine < 0 && SameName(parsed.name, key)) {
                place.keyLine = i;
                place.valueStart = parsed.valueStart;
            }
        }
    }
    return place;
}

// One pair of matching quotes around the value is removed; a lone quote stays.
std::string_view StripQuotes(std::string_view v)
{
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.substr(1, v.size() - 2);
    return v;
}

// Cut to the read limit on a character boundary: half a character would glue
// itself to whatever the caller puts after the value.
// A lead byte at the very end of a value, with no second byte, is dropped too.
std::string_view CutValue(std::string_view v)
{
    std::size_t i = 0;
    while (i < v.size()) {
        const std::size_t len = CharLen(v, i);
        if (i + len > TIniFile::kMaxValueBytes)
            break;
        if (len == 1 && i + 1 == v.size() && IsSjisLead(static_cast<unsigned char>(v[i])))
            break;
        i += len;
    }
    return v.substr(0, i);
}

bool HasLineBreak(std::string_view s)
{
    return s.find_first_of("\r\n") != std::string_view::npos;
}

bool IsBlankLine(const TIniLine& line)
{
    return TrimBlanks(line.text).empty();
}

// A line that is followed by a new one must end; the file's last line may not.
void EndLine(TIniLine& line)
{
    if (line.eol.empty())
        line.eol = std::string(kCrLf);
}

} // namespace

TIniFile::TIniFile(std::string path) : path_(std::move(path)) {}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 std::string_view defaultValue) const
{
    std::string contents;
    if (!platform::TryLoadFile(path_, contents))
        return std::string(defaultValue);
    const std::vector<TIniLine> lines = SplitKeepingEnds(contents);
    const TKeyPlace place = FindKey(lines, TrimBlanks(section), TrimBlanks(key));
    if (place.keyLine < 0)
        return std::string(defaultValue);
    const std::string_view text = lines[place.keyLine].text;
    const std::string_view value = UpToNul(TrimBlanks(text.substr(place.valueStart)));
    return std::string(CutValue(StripQuotes(value)));
}

std::vector<std::string> TIniFile::ReadKeyNames(std::string_view section) const
{
    std::vector<std::string> names;
    std::string contents;
    if (!platform::TryLoadFile(path_, contents))
        return names;
    section = TrimBlanks(section);
    bool inSection = section.empty();
    for (const TIniLine& line : SplitKeepingEnds(contents)) {
        const TParsedLine parsed = ParseLine(line.text);
        if (parsed.kind == TLineKind::lkSection) {
            if (inSection)
                break; // only the first section of the name counts
            inSection = SameName(parsed.name, section);
        } else if (inSection && parsed.kind == TLineKind::lkKey) {
            bool seen = false;
            for (const std::string& n : names)
                seen = seen || SameName(n, parsed.name);
            if (!seen)
                names.push_back(parsed.name);
        }
    }
    return names;
}

bool TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value)
{
    section = TrimBlanks(section);
    key = TrimBlanks(key);
    if (section.empty() || key.empty() || HasLineBreak(section) || HasLineBreak(key) ||
        HasLineBreak(value) || FindChar(section, ']') != std::string_view::npos ||
        FindChar(key, '=') != std::string_view::npos || key.front() == ';' || key.front() == '[')
        return false;

    // Blanks in front of a value would never be read back.
    while (!value.empty() && IsBlank(value.front()))
        value.remove_prefix(1);

    // An existing file that cannot be read must not be replaced by a new one.
    std::string contents;
    if (platform::FileExists(path_) && !platform::TryLoadFile(path_, contents))
        return false;

    std::vector<TIniLine> lines = SplitKeepingEnds(contents);
    const TKeyPlace place = FindKey(lines, section, key);
    const std::string keyLine = std::string(key) + "=" + std::string(value);

    if (place.keyLine >= 0) {
        // The key's own spelling and the blanks up to the value stay as edited.
        TIniLine& line = lines[place.keyLine];
        line.text = line.text.substr(0, place.valueStart) + std::string(value);
    } else if (place.sectionLine >= 0) {
        // After the section's last key, so that comments and blank lines that
        // lead into the next section stay with it.
        const int after = place.lastKeyLine >= 0 ? place.lastKeyLine : place.sectionLine;
        EndLine(lines[after]);
        lines.insert(lines.begin() + after + 1, TIniLine{keyLine, std::string(kCrLf)});
    } else {
        // A new section goes at the end, set off from the text before it by an
        // empty line (none when the file is empty or already ends in one).
        if (!lines.empty()) {
            EndLine(lines.back());
            if (!IsBlankLine(lines.back()))
                lines.push_back({std::string(), std::string(kCrLf)});
        }
        lines.push_back({"[" + std::string(section) + "]", std::string(kCrLf)});
        lines.push_back({keyLine, std::string(kCrLf)});
    }

    std::string out;
    out.reserve(contents.size() + keyLine.size() + section.size() + 8);
    for (const TIniLine& line : lines) {
        out += line.text;
        out += line.eol;
    }
    return platform::TryWriteNewFile(path_, out);
}
