#include "run/TextFiles.h"

#include "jtext/JpWords.h"
#include "jtext/TextKind.h"
#include "platform/CodePage.h"
#include "platform/Files.h"

#include <cstdio>

namespace {

// The first character of `line` (UTF-8) without a CP932 form, as "U+XXXX".
std::string FirstStranger(std::string_view line)
{
    for (std::size_t i = 0; i < line.size();) {
        const auto c = static_cast<unsigned char>(line[i]);
        const std::size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        const std::string_view ch = line.substr(i, len);
        if (!platform::HasCp932Form(ch)) {
            char32_t code = len == 1 ? c : c & (0x3F >> (len - 1));
            for (std::size_t k = 1; k < ch.size(); ++k)
                code = (code << 6) | (static_cast<unsigned char>(ch[k]) & 0x3F);
            char text[16];
            std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(code));
            return text;
        }
        i += len;
    }
    return "?";
}

} // namespace

TFileEncoding FileEncodingOf(const std::string& value)
{
    std::string v;
    for (char c : value) {
        if (c == '-' || c == '_' || c == ' ')
            continue;
        v += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
    return v == "UTF8" ? TFileEncoding::kUtf8 : TFileEncoding::kShiftJis;
}

std::string ToProgramText(std::string& bytes, TFileEncoding encoding, const std::string& name)
{
    if (GuessTextKind(bytes) != TTextKind::Utf8)
        return {};
    if (encoding != TFileEncoding::kUtf8)
        return std::string(jp::kTextIsUtf8) + name;
    const std::string_view utf8 = std::string_view(bytes).substr(Utf8BomLength(bytes));
    if (!platform::HasCp932Form(utf8)) {
        // Name the first line and character that cannot be carried.
        int number = 0;
        std::string where;
        platform::ForEachLine(utf8, [&](std::string_view line, std::string_view) {
            ++number;
            if (where.empty() && !platform::HasCp932Form(line))
                where = std::to_string(number) + std::string(jp::kLineSuffix) + FirstStranger(line);
        });
        return std::string(jp::kNoSjisForm) + name + " " + where;
    }
    bytes = platform::Utf8ToCp932(utf8);
    return {};
}

TFileProblem LoadBatchText(const std::string& path, TFileEncoding encoding, TRetryRules& retry, std::string& text)
{
    std::string bytes;
    if (!retry.Load([&] { return platform::TryLoadFile(path, bytes); }))
        return {true, std::string(jp::kCannotRead) + path + ": " + platform::LastFileError()};
    TFileProblem problem{false, ToProgramText(bytes, encoding, path)};
    if (!problem)
        text = std::move(bytes);
    return problem;
}

TFileProblem LoadBatchLines(const std::string& path, TFileEncoding encoding, TRetryRules& retry,
                            std::vector<std::string>& lines)
{
    std::string text;
    TFileProblem problem = LoadBatchText(path, encoding, retry, text);
    if (!problem)
        lines = platform::SplitLines(text);
    return problem;
}
