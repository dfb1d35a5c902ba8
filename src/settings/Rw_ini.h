// The settings file (executable name + ".ini") and the design file
// "DesignConfig.ini" beside the executable.
#pragma once

#include <cstdint>
#include <string>

struct TSettings {
    std::int32_t Top = 0;             // [Pos] Top
    std::int32_t Left = 0;            // [Pos] Left
    std::string Name = "smail.exe";   // [Mail] Name: the mailer command
    std::int32_t EnableTrace = 0;     // [Mail] EnableTrace
    std::int32_t NoTopt = 0;          // [Mail] NoTopt
    std::int32_t TimeLimit = 0;       // [Mail] TimeLimit: seconds a mailer may run; 0 = no limit
    std::string FileEncoding;         // [Mail] FileEncoding: "UTF-8" when the batch's files are UTF-8
    std::int32_t WorstExitCode = 0;   // [Mail] WorstExitCode: non-zero: the exit code is the first failure's
    std::string ResendCodes;          // [Mail] ResendCodes: status codes a resend takes; empty = every failure
};

struct TDesign {
    std::string Title = "Tarnwick(Sedge)"; // [App] Title (CP932)
    std::string BGColor = "C8D0D4";        // [BG] Color
    std::string Button1BGColor = "C8D0D4"; // [Button1] BGColor
    std::string Button1TXColor = "000000"; // [Button1] TXColor
    std::string Button2BGColor = "C8D0D4"; // [Button2] BGColor
    std::string Button2TXColor = "000000"; // [Button2] TXColor
};

// Reads the settings file at `path` (CP932). Missing file, section or key give defaults.
TSettings ReadSettings(const std::string& path);
// Writes Top, then Left into [Pos]. Throws EIniFileException "<path> に書き込めません"
// on failure; a failure on Top leaves Left unwritten.
void WriteSettings(const std::string& path, const TSettings& settings);
// Reads the design file at `path`.
TDesign ReadDesign(const std::string& path);

// Integer value rules: "0x"/"0X" prefix (text longer than two characters) reads
// hexadecimal; otherwise decimal with optional leading blanks and sign, or a
// leading "$" for hexadecimal; anything else gives `defaultValue`.
std::int32_t ParseIniInteger(const std::string& text, std::int32_t defaultValue);

// A design colour text as a colour number (BBGGRR, lowest byte red): "$" put in
// front and read as hexadecimal; `fallback` when that fails.
std::uint32_t ColorFromText(const std::string& text, std::uint32_t fallback);
inline constexpr std::uint32_t kDefaultFace = 0xC8D0D4;
inline constexpr std::uint32_t kDefaultText = 0x000000;
