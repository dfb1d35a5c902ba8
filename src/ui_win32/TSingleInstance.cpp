#include "ui_win32/TSingleInstance.h"

#include "platform/Paths.h"

#include <string>

namespace {

// The window to bring to the front when the process ends.
HWND g_ForegroundAtExit = nullptr;

struct TSearch {
    HWND own;
    std::string exeName;
    HWND found = nullptr;
};

BOOL CALLBACK Visit(HWND hwnd, LPARAM lp)
{
    auto* search = reinterpret_cast<TSearch*>(lp);
    char text[80] = {};
    if (hwnd == search->own || GetClassNameA(hwnd, text, 80) == 0 || !TInstanceGuard::SameTitle(text, "TApplication"))
        return TRUE;
    const int n = GetWindowTextA(hwnd, text, 80);
    if (!TInstanceGuard::SameTitle(std::string_view(text, n > 0 ? n : 0), search->exeName))
        return TRUE;
    search->found = hwnd;
    return FALSE;
}

} // namespace

HWND TSingleInstance::FindFirstInstance(HWND ownApplication)
{
    TSearch search{ownApplication, BaseName(platform::ProgramPath())};
    EnumWindows(&Visit, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void TSingleInstance::ActivateFirst()
{
    if (HWND first = FindFirstInstance(ownApplication_))
        g_ForegroundAtExit = GetLastActivePopup(first);
}

void TSingleInstance::BringForwardAtExit()
{
    if (g_ForegroundAtExit)
        SetForegroundWindow(g_ForegroundAtExit);
}
