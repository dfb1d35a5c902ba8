#include "settings/Rw_ini.h"

#include "jtext/JpWords.h"
#include "platform/Errors.h"
#include "settings/IniFile.h"

#include <string_view>

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The whole text as hexadecimal digits. Leading zeros are allowed; false when
// empty, on any other character, or when the number needs more than 32 bits.
bool ReadHex(std::string_view s, std::uint32_t& out)
{
    if (s.empty())
        return false;
    std::uint64_t v = 0;
    for (const char c : s) {
        const int d = HexValue(c);
        if (d < 0)
            return false;
        v = v * 16 + static_cast<std::uint64_t>(d);
        if (v > 0xFFFFFFFFull)
            return false;
    }
    out = static_cast<std::uint32_t>(v);
    return true;
}

std::int32_t ReadInteger(const TIniFile& ini, std::string_view section, std::string_view key,
                         std::int32_t defaultValue)
{
    return ParseIniInteger(ini.ReadString(section, key, ""), defaultValue);
}

void WriteInteger(TIniFile& ini, std::string_view section, std::string_view key, std::int32_t value)
{
    if (!ini.WriteString(section, key, std::to_string(value)))
        throw EIniFileException(ini.Path() + std::string(jp::kCannotWriteSuffix));
}

} // namespace

TSettings ReadSettings(const std::string& path)
{
    const TIniFile ini(path);
    const TSettings defaults;
    TSettings s;
    s.Top = ReadInteger(ini, "Pos", "Top", defaults.Top);
    s.Left = ReadInteger(ini, "Pos", "Left", defaults.Left);
    s.Name = ini.ReadString("Mail", "Name", defaults.Name);
    s.EnableTrace = ReadInteger(ini, "Mail", "EnableTrace", defaults.EnableTrace);
    s.NoTopt = ReadInteger(ini, "Mail", "NoTopt", defaults.NoTopt);
    s.TimeLimit = ReadInteger(ini, "Mail", "TimeLimit", defaults.TimeLimit);
    s.FileEncoding = ini.ReadString("Mail", "FileEncoding", defaults.FileEncoding);
    s.WorstExitCode = ReadInteger(ini, "Mail", "WorstExitCode", defaults.WorstExitCode);
    s.ResendCodes = ini.ReadString("Mail", "ResendCodes", defaults.ResendCodes);
    if (s.TimeLimit < 0)
        s.TimeLimit = 0;
    return s;
}

void WriteSettings(const std::string& path, const TSettings& settings)
{
    TIniFile ini(path);
    // Top first: when it fails the exception leaves Left unwritten.
    WriteInteger(ini, "Pos", "Top", settings.Top);
    WriteInteger(ini, "Pos", "Left", settings.Left);
}

TDesign ReadDesign(const std::string& path)
{
    const TIniFile ini(path);
    const TDesign defaults;
    TDesign d;
    d.Title = ini.ReadString("App", "Title", defaults.Title);
    d.BGColor = ini.ReadString("BG", "Color", defaults.BGColor);
    d.Button1BGColor = ini.ReadString("Button1", "BGColor", defaults.Button1BGColor);
    d.Button1TXColor = ini.ReadString("Button1", "TXColor", defaults.Button1TXColor);
    d.Button2BGColor = ini.ReadString("Button2", "BGColor", defaults.Button2BGColor);
    d.Button2TXColor = ini.ReadString("Button2", "TXColor", defaults.Button2TXColor);
    return d;
}

std::int32_t ParseIniInteger(const std::string& text, std::int32_t defaultValue)
{
    std::uint32_t hex = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        return ReadHex(std::string_view(text).substr(2), hex) ? static_cast<std::int32_t>(hex)
                                                              : defaultValue;

    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::string_view rest = std::string_view(text).substr(i);

    // Hexadecimal texts are 32-bit patterns ("$FFFFFFFF" is -1), as colour
    // values and other tools write them.
    if (!rest.empty() && rest.front() == '$') {
        if (!ReadHex(rest.substr(1), hex))
            return defaultValue;
        return static_cast<std::int32_t>(negative ? 0u - hex : hex);
    }

    // Decimal: a number outside the 32-bit range is as unreadable as garbage
    // and gives the default, rather than a wrapped value nobody wrote.
    if (rest.empty())
        return defaultValue;
    std::int64_t magnitude = 0;
    for (const char c : rest) {
        if (c < '0' || c > '9')
            return defaultValue;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > 2147483648LL)
            return defaultValue;
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > 2147483647LL)
        return defaultValue;
    return static_cast<std::int32_t>(value);
}

std::uint32_t ColorFromText(const std::string& text, std::uint32_t fallback)
{
    std::uint32_t color = 0;
    return ReadHex(text, color) ? color : fallback;
}
