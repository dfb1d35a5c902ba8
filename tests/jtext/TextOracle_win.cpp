// The converters of Windows: code page 932 through UTF-16, ISO-2022-JP
// through code page 50220 and EUC-JP through 20932 where the system has them,
// NFKC by NormalizeString.
#include "TextOracle.h"

#include <windows.h>

#include <climits>

namespace oracle {
namespace {

constexpr UINT kIso2022Jp = 50220;
constexpr UINT kEucJp = 20932;

// Bytes of code page `cp` -> UTF-16; nullopt when any byte sequence is invalid.
std::optional<std::wstring> Widen(UINT cp, std::string_view in)
{
    if (in.empty())
        return std::wstring();
    if (in.size() > INT_MAX)
        return std::nullopt;
    const int len = static_cast<int>(in.size());
    // Code page 50220 takes no flags.
    const DWORD flags = cp == kIso2022Jp ? 0 : MB_ERR_INVALID_CHARS;
    const int n = MultiByteToWideChar(cp, flags, in.data(), len, nullptr, 0);
    if (n <= 0)
        return std::nullopt;
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    if (MultiByteToWideChar(cp, flags, in.data(), len, out.data(), n) != n)
        return std::nullopt;
    return out;
}

// UTF-16 -> bytes of code page `cp`; nullopt when a character is missing
// there (no best-fit look-alikes, no default character).
std::optional<std::string> Narrow(UINT cp, std::wstring_view in)
{
    if (in.empty())
        return std::string();
    if (in.size() > INT_MAX)
        return std::nullopt;
    const int len = static_cast<int>(in.size());
    const bool utf8 = cp == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : cp == kIso2022Jp ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* usedDefaultOut = utf8 || cp == kIso2022Jp ? nullptr : &usedDefault;
    const int n = WideCharToMultiByte(cp, flags, in.data(), len, nullptr, 0, nullptr, usedDefaultOut);
    if (n <= 0 || usedDefault)
        return std::nullopt;
    std::string out(static_cast<std::size_t>(n), '\0');
    if (WideCharToMultiByte(cp, flags, in.data(), len, out.data(), n, nullptr, usedDefaultOut) != n || usedDefault)
        return std::nullopt;
    return out;
}

std::optional<std::string> Convert(UINT from, UINT to, std::string_view in)
{
    const auto wide = Widen(from, in);
    if (!wide)
        return std::nullopt;
    return Narrow(to, *wide);
}

} // namespace

std::optional<std::string> Utf8ToCp932(std::string_view utf8) { return Convert(CP_UTF8, 932, utf8); }
std::optional<std::string> Cp932ToUtf8(std::string_view cp932) { return Convert(932, CP_UTF8, cp932); }

std::string Iso2022JpMissing()
{
    if (IsValidCodePage(kIso2022Jp))
        return {};
    return "this system has no ISO-2022-JP converter (code page 50220)";
}

std::optional<std::string> Iso2022JpToCp932(std::string_view jis) { return Convert(kIso2022Jp, 932, jis); }
std::optional<std::string> Cp932ToIso2022Jp(std::string_view cp932) { return Convert(932, kIso2022Jp, cp932); }

std::string EucJpMissing()
{
    if (IsValidCodePage(kEucJp))
        return {};
    return "this system has no EUC-JP converter (code page 20932)";
}

std::optional<std::string> EucJpToCp932(std::string_view euc) { return Convert(kEucJp, 932, euc); }

std::optional<std::vector<std::string>> Nfkc(const std::vector<std::string>& utf8, std::string* why)
{
    std::vector<std::string> out;
    for (const std::string& s : utf8) {
        const auto wide = Widen(CP_UTF8, s);
        if (!wide) {
            *why = "not UTF-8: " + ToHex(s);
            return std::nullopt;
        }
        std::wstring norm;
        if (!wide->empty()) {
            // The first call gives an estimate; a later one may ask for more.
            int size = NormalizeString(NormalizationKC, wide->data(), static_cast<int>(wide->size()), nullptr, 0);
            for (int tries = 0; size > 0 && tries < 4; ++tries) {
                norm.assign(static_cast<std::size_t>(size), L'\0');
                size = NormalizeString(NormalizationKC, wide->data(), static_cast<int>(wide->size()), norm.data(), size);
                if (size > 0) {
                    norm.resize(static_cast<std::size_t>(size));
                    break;
                }
                if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
                    break;
                size = -size;
            }
            if (size <= 0) {
                *why = "NormalizeString (NFKC) failed with error " + std::to_string(GetLastError());
                return std::nullopt;
            }
        }
        const auto back = Narrow(CP_UTF8, norm);
        if (!back) {
            *why = "NormalizeString gave no valid UTF-16";
            return std::nullopt;
        }
        out.push_back(*back);
    }
    why->clear();
    return out;
}

} // namespace oracle
