#include "display/TInstanceGuard.h"

#include "jtext/JpWords.h"
#include "jtext/SjisBytes.h"
#include "platform/Paths.h"

namespace {

// Guards alive in this process (0 or 1).
int g_LiveGuards = 0;

char FoldAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

TInstanceGuard::TInstanceGuard() : errorMessage_(jp::kAlreadyRunning)
{
    if (g_LiveGuards >= 1)
        throw EMultiSingleInstance("Only single component allowed");
    ++g_LiveGuards;
}

TInstanceGuard::~TInstanceGuard()
{
    marker_.Release();
    --g_LiveGuards;
}

bool TInstanceGuard::Loaded()
{
    if (loaded_)
        return goOn_;
    loaded_ = true;

    // No name guards nothing. A marker that cannot be used (one planted by
    // another account, a folder not the user's own) fails closed: running
    // without the guard could send a batch twice.
    if (uniqueName_.empty())
        return goOn_ = true;
    const platform::TMarkerClaim claim = marker_.Claim(uniqueName_);
    if (claim == platform::TMarkerClaim::mcClaimed) {
        Claimed();
        return goOn_ = true;
    }
    if (claim == platform::TMarkerClaim::mcFailed) {
        unusable_ = true;
        return goOn_ = false;
    }

    goOn_ = false;
    if (onDuplicate_)
        onDuplicate_(*this);
    switch (dupInstAction_) {
    case diException:
        throw EMultiAppInstance(errorMessage_);
    case diActivateFirst:
        ActivateFirst();
        return false;
    case diTerminate:
    default:
        return false;
    }
}

void TInstanceGuard::ActivateFirst()
{
    const std::string exeName = BaseName(platform::ProgramPath());
    if (SameTitle(platform::ReadMarkerTitle(uniqueName_), exeName))
        platform::RequestActivation(uniqueName_);
}

bool TInstanceGuard::SameTitle(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (SjisCharLen(a, i) == 2) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1])
                return false;
            ++i;
            continue;
        }
        if (FoldAscii(a[i]) != FoldAscii(b[i]))
            return false;
    }
    return true;
}

std::string TInstanceGuard::BaseName(std::string_view path)
{
    // Character-aware: 0x5C can be the second byte of a double-byte character.
    const std::size_t slash = FindLastChar(path, '/');
    const std::size_t backslash = FindLastChar(path, '\\');
    std::size_t cut = 0;
    if (slash != std::string_view::npos)
        cut = slash + 1;
    if (backslash != std::string_view::npos && backslash + 1 > cut)
        cut = backslash + 1;
    std::string_view name = path.substr(cut);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string_view::npos)
        name = name.substr(0, dot);
    return std::string(name);
}
