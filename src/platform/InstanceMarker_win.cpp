#include "platform/InstanceMarker.h"

#include <windows.h>

#include <cstddef>

// The marker is a named mutex in the namespace of the current logon. It is
// only a sign of existence: it is created unowned and never waited on, so the
// name stays taken exactly as long as the holder keeps its handle open, and
// the system closes that handle when the process ends, however it ends.
//
// Claiming opens the name first and creates it only when it does not exist.
// A mutex that CreateMutexA reports as already existing was created by
// someone else between the two calls: that instance holds the name, so two
// instances started at the same instant cannot both go on.
//
// Bringing the first instance forward needs no channel on Windows: the later
// instance finds the first one's application window itself among the top-level
// windows (its class, and its title equal to this executable's name) and brings
// its most recently active window to the front. So there is no title to record,
// no channel to listen on and no marker file.

namespace platform {
namespace {

// The window class of the application (owner) window of the program.
constexpr char kApplicationClass[] = "TApplication";
// The class names and titles compared are read up to this many characters.
constexpr int kMaxWindowText = 79;

HANDLE AsHandle(NativeHandle h)
{
    return reinterpret_cast<HANDLE>(h);
}

char FoldAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// ASCII letters match in either case, all other bytes exactly.
bool SameText(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i]))
            return false;
    }
    return true;
}

// This executable's file name without folder and extension.
std::string ExecutableBaseName()
{
    char buffer[MAX_PATH + 1];
    const DWORD n = ::GetModuleFileNameA(nullptr, buffer, sizeof(buffer));
    if (n == 0 || n >= sizeof(buffer))
        return {};
    std::string_view path(buffer, n);
    const std::size_t slash = path.find_last_of("\\/:");
    if (slash != std::string_view::npos)
        path.remove_prefix(slash + 1);
    const std::size_t dot = path.rfind('.');
    if (dot != std::string_view::npos)
        path = path.substr(0, dot);
    return std::string(path);
}

struct TWindowSearch {
    std::string exeName;
    DWORD ownProcess = 0;
    HWND found = nullptr;
    std::string title;
};

BOOL CALLBACK ConsiderWindow(HWND window, LPARAM param)
{
    TWindowSearch& search = *reinterpret_cast<TWindowSearch*>(param);
    char className[kMaxWindowText + 1] = {};
    if (::GetClassNameA(window, className, sizeof(className)) <= 0 ||
        !SameText(className, kApplicationClass))
        return TRUE;
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (process == search.ownProcess)
        return TRUE;
    char title[kMaxWindowText + 1] = {};
    const int len = ::GetWindowTextA(window, title, sizeof(title));
    if (len <= 0 || !SameText(std::string_view(title, static_cast<std::size_t>(len)), search.exeName))
        return TRUE;
    search.found = window;
    search.title.assign(title, static_cast<std::size_t>(len));
    return FALSE;
}

// The first instance's application window, in the order of the window list.
TWindowSearch FindFirstInstance()
{
    TWindowSearch search;
    search.exeName = ExecutableBaseName();
    search.ownProcess = ::GetCurrentProcessId();
    if (!search.exeName.empty())
        ::EnumWindows(ConsiderWindow, reinterpret_cast<LPARAM>(&search));
    return search;
}

} // namespace

TInstanceMarker::~TInstanceMarker()
{
    Release();
}

TMarkerClaim TInstanceMarker::Claim(std::string_view name)
{
    if (IsHeld())
        return TMarkerClaim::mcClaimed;
    const std::string nameZ(name);
    if (nameZ.empty() || nameZ.find('\0') != std::string::npos || nameZ.size() >= MAX_PATH)
        return TMarkerClaim::mcFailed;

    if (HANDLE other = ::OpenMutexA(MUTEX_ALL_ACCESS, FALSE, nameZ.c_str())) {
        ::CloseHandle(other);
        return TMarkerClaim::mcHeld;
    }
    HANDLE mutex = ::CreateMutexA(nullptr, FALSE, nameZ.c_str());
    const DWORD error = ::GetLastError();
    if (!mutex) {
        // A name that exists but may not be opened is still someone's marker.
        return error == ERROR_ACCESS_DENIED ? TMarkerClaim::mcHeld : TMarkerClaim::mcFailed;
    }
    if (error == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(mutex);
        return TMarkerClaim::mcHeld;
    }
    lock_ = reinterpret_cast<NativeHandle>(mutex);
    name_ = nameZ;
    return TMarkerClaim::mcClaimed;
}

// Nothing to record: the application window carries the title itself.
bool TInstanceMarker::WriteTitle(std::string_view)
{
    return IsHeld();
}

// Later instances bring the window forward themselves; there is no channel.
NativeHandle TInstanceMarker::ListenForActivation()
{
    return kNoHandle;
}

bool TInstanceMarker::AcceptActivation()
{
    return false;
}

void TInstanceMarker::Release()
{
    if (IsHeld()) {
        // The mutex was never owned, so this fails harmlessly; closing the
        // handle is what frees the name.
        ::ReleaseMutex(AsHandle(lock_));
        ::CloseHandle(AsHandle(lock_));
        lock_ = kNoHandle;
    }
    name_.clear();
}

// No file carries the marker.
std::string MarkerFolderPath() { return {}; }

std::string MarkerFilePath(std::string_view)
{
    return {};
}

// The title of the first instance's application window as that window spells
// it (so equal to this executable's name but for the case of ASCII letters),
// or empty when no such window exists. The marker name plays no part: the
// window is found by its class and title.
std::string ReadMarkerTitle(std::string_view)
{
    return FindFirstInstance().title;
}

// Brings the most recently active window of the first instance to the front
// (a minimised window stays minimised). True when that window was found.
bool RequestActivation(std::string_view)
{
    const TWindowSearch search = FindFirstInstance();
    if (!search.found)
        return false;
    HWND target = ::GetLastActivePopup(search.found);
    ::SetForegroundWindow(target ? target : search.found);
    return true;
}

} // namespace platform
