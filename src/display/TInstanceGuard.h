// What both windows' single-instance guards share: the settings, the one-guard
// rule, the check on the platform's instance marker, the action of a later
// instance, and the title rule. The platform finds the first instance and
// brings it forward (on Windows by its application window; elsewhere the
// holder listens for the request, which is the window's part).
#pragma once

#include "platform/Errors.h"
#include "platform/InstanceMarker.h"

#include <functional>
#include <string>
#include <string_view>
#include <utility>

enum TDupInstAction { diActivateFirst, diException, diTerminate };

// A second guard in one process.
class EMultiSingleInstance : public Exception {
    using Exception::Exception;
};
// A later instance whose guard raises instead of ending.
class EMultiAppInstance : public Exception {
    using Exception::Exception;
};

class TInstanceGuard {
public:
    using TNotifyEvent = std::function<void(TInstanceGuard& sender)>;

    // Throws EMultiSingleInstance when another guard is alive in this process.
    TInstanceGuard();
    virtual ~TInstanceGuard();
    TInstanceGuard(const TInstanceGuard&) = delete;
    TInstanceGuard& operator=(const TInstanceGuard&) = delete;

    TDupInstAction DupInstAction() const { return dupInstAction_; }
    void SetDupInstAction(TDupInstAction value) { dupInstAction_ = value; }
    // CP932 text.
    const std::string& ErrorMessage() const { return errorMessage_; }
    void SetErrorMessage(std::string value) { errorMessage_ = std::move(value); }
    // CP932 text; empty guards nothing.
    const std::string& UniqueName() const { return uniqueName_; }
    void SetUniqueName(std::string value) { uniqueName_ = std::move(value); }
    // Called when a later instance finds the marker, before the action.
    void SetOnDuplicate(TNotifyEvent handler) { onDuplicate_ = std::move(handler); }

    // The check, once the settings are in place. True: this instance goes on.
    // False: another instance runs and this one must end now with exit code 0,
    // before the main window's creation work (diActivateFirst, diTerminate).
    // Throws EMultiAppInstance (diException). A second call repeats the answer.
    bool Loaded();

    // True while this instance holds the marker.
    bool HoldsMarker() const { return marker_.IsHeld(); }
    // The marker could not be used: Loaded said stop, and the start must end
    // with a failure, not as a later instance.
    bool MarkerUnusable() const { return unusable_; }

    // The title rule: ASCII letters compared without regard to case, every
    // other byte exactly; the second byte of a double-byte character is never
    // folded.
    static bool SameTitle(std::string_view a, std::string_view b);
    // A path's file name without folder and extension.
    static std::string BaseName(std::string_view path);

protected:
    platform::TInstanceMarker& Marker() { return marker_; }
    // This instance took the marker.
    virtual void Claimed() {}
    // Another instance holds the marker and this one ends: the first comes
    // forward only when its application title is this executable's name.
    virtual void ActivateFirst();

private:
    TDupInstAction dupInstAction_ = diActivateFirst;
    std::string errorMessage_;
    std::string uniqueName_;
    TNotifyEvent onDuplicate_;
    platform::TInstanceMarker marker_;
    bool loaded_ = false;
    bool goOn_ = true;
    bool unusable_ = false;
};
