#include "platform/InstanceMarker.h"

#include <windows.h>

// The marker is a named mutex in the namespace of the logon. It is never
// owned nor waited on: its existence is the mark.

namespace platform {

TInstanceMarker::~TInstanceMarker() { Release(); }

TMarkerClaim TInstanceMarker::Claim(std::string_view name)
{
    if (lock_ != kNoHandle)
        return TMarkerClaim::mcClaimed;
    if (!name_.empty())
        return TMarkerClaim::mcHeld; // an earlier claim found it held
    if (name.empty() || name.find('\0') != std::string_view::npos)
        return TMarkerClaim::mcFailed;
    const std::string mutexName(name);
    if (HANDLE other = ::OpenMutexA(MUTEX_ALL_ACCESS, FALSE, mutexName.c_str())) {
        ::CloseHandle(other);
        name_ = mutexName;
        return TMarkerClaim::mcHeld;
    }
    HANDLE mine = ::CreateMutexA(nullptr, FALSE, mutexName.c_str());
    if (!mine)
        return TMarkerClaim::mcFailed; // the program still runs, unguarded
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        // Another instance created it between the two calls: it runs, this one ends.
        ::CloseHandle(mine);
        name_ = mutexName;
        return TMarkerClaim::mcHeld;
    }
    name_ = mutexName;
    lock_ = reinterpret_cast<NativeHandle>(mine);
    return TMarkerClaim::mcClaimed;
}

// The title a later instance compares is the application window's own.
bool TInstanceMarker::WriteTitle(std::string_view) { return lock_ != kNoHandle; }

// A later instance brings this one forward itself (by its windows).
NativeHandle TInstanceMarker::ListenForActivation() { return kNoHandle; }
bool TInstanceMarker::AcceptActivation() { return false; }

void TInstanceMarker::Release()
{
    if (lock_ == kNoHandle)
        return;
    const HANDLE h = reinterpret_cast<HANDLE>(lock_);
    ::ReleaseMutex(h); // never owned: changes nothing, as the marker has always done
    ::CloseHandle(h);  // the name is free once no process holds a handle
    lock_ = kNoHandle;
}

std::string MarkerFilePath(std::string_view) { return {}; }
std::string ReadMarkerTitle(std::string_view) { return {}; }
bool RequestActivation(std::string_view) { return false; }

} // namespace platform
