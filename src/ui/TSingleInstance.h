// The single-instance guard of the main window. The first instance takes the
// per-user marker and goes on; a later instance finds it taken, asks the first
// one to come forward (when the title rule allows) and ends before the main
// window does any work.
//
// A plain class, not a QObject: it has no signals and no window, and its owner
// holds it as a member. It only needs Qt to listen for requests to come forward.
#pragma once

#include "platform/Errors.h"
#include "platform/InstanceMarker.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

class QSocketNotifier;
class QWidget;

enum TDupInstAction { diActivateFirst, diException, diTerminate };

// A second guard in one process.
class EMultiSingleInstance : public Exception {
    using Exception::Exception;
};
// A later instance whose guard raises instead of ending.
class EMultiAppInstance : public Exception {
    using Exception::Exception;
};

class TSingleInstance {
public:
    using TNotifyEvent = std::function<void(TSingleInstance& sender)>;

    // `owner` is the window to bring forward when a later instance asks.
    // Throws EMultiSingleInstance when another guard is alive in this process.
    explicit TSingleInstance(QWidget* owner = nullptr);
    ~TSingleInstance();
    TSingleInstance(const TSingleInstance&) = delete;
    TSingleInstance& operator=(const TSingleInstance&) = delete;

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

    // The application title recorded for later instances: the application
    // name (QCoreApplication::applicationName) unless set here (CP932).
    void SetApplicationTitle(std::string value) { applicationTitle_ = std::move(value); }

    // The title rule: ASCII letters compared without regard to case, every
    // other byte exactly; the second byte of a double-byte character is never
    // folded.
    static bool SameTitle(std::string_view a, std::string_view b);
    // A path's file name without folder and extension.
    static std::string BaseName(std::string_view path);

private:
    void ListenForActivation();
    void BringForward();

    QWidget* owner_;
    TDupInstAction dupInstAction_ = diActivateFirst;
    std::string errorMessage_;
    std::string uniqueName_;
    std::string applicationTitle_;
    TNotifyEvent onDuplicate_;

    platform::TInstanceMarker marker_;
    std::unique_ptr<QSocketNotifier> notifier_;
    bool loaded_ = false;
    bool goOn_ = true;
};
