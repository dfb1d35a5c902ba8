// The single-instance marker: a per-user lock held for the life of the process.
// The kernel drops it when the process ends, however it ends, so a crashed
// instance never blocks the next start; taking it is one atomic step, so two
// instances started at the same instant cannot both hold it.
//
// The holder can also record its application title for later instances and
// listen for their requests to bring its window forward.
#pragma once

#include "platform/NativeHandle.h"

#include <string>
#include <string_view>

namespace platform {

enum class TMarkerClaim {
    mcClaimed, // this object now holds the marker
    mcHeld,    // someone else (another process, or another marker object) holds it
    mcFailed,  // the marker could not be used; nothing is held
};

class TInstanceMarker {
public:
    TInstanceMarker() = default;
    ~TInstanceMarker();
    TInstanceMarker(const TInstanceMarker&) = delete;
    TInstanceMarker& operator=(const TInstanceMarker&) = delete;

    // Tries to take the marker `name` (CP932) for this user without waiting.
    // An empty name marks nothing and fails. Claiming again after a claim
    // keeps the first result.
    TMarkerClaim Claim(std::string_view name);
    bool IsHeld() const { return lock_ != kNoHandle; }

    // Holder only: records the application title (CP932) for later instances.
    bool WriteTitle(std::string_view title);

    // Holder only: opens the channel on which later instances ask to be
    // brought forward. Returns a non-blocking socket that becomes readable
    // when a request waits, or kNoHandle (always on Windows, where the window
    // is found and brought forward by the later instance itself). The socket
    // stays owned by the marker.
    NativeHandle ListenForActivation();
    // Holder only: takes one waiting request. True when a request of this user
    // was taken; requests of other users are dropped.
    bool AcceptActivation();

    // Gives the marker up (also done by the destructor and by process end).
    void Release();

private:
    std::string name_;
    NativeHandle lock_ = kNoHandle;
    NativeHandle listen_ = kNoHandle;
};

// The file that carries the marker `name` (an operating-system path), or
// empty when the name cannot carry one or there is no folder of the user's
// own to keep it in.
std::string MarkerFilePath(std::string_view name);

// Where this user's markers are kept (an operating-system path), whether or
// not it can be used; empty where markers are no files.
std::string MarkerFolderPath();

// The title the holder of `name` recorded; empty when there is none.
std::string ReadMarkerTitle(std::string_view name);

// Asks the holder of `name` to bring its window forward. True when the request
// was handed over; the holder acts on it in its own time.
bool RequestActivation(std::string_view name);

} // namespace platform
