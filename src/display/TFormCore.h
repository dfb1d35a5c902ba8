// What the main window's handlers do whatever the toolkit: the start-up
// sequence, the activation, the buttons, the resend command, Timer1 and the
// close. The window supplies the toolkit's part through IFormWindow; no
// exception leaves these handlers.
#pragma once

#include "display/WindowLayout.h"
#include "run/TDelivery.h"

#include <string>
#include <string_view>

class IFormWindow {
public:
    virtual ~IFormWindow() = default;
    // The window's top-left edge from the settings file.
    virtual void PlaceWindow(int left, int top) = 0;
    // Invisible mode: no border, at (0, 0), 0 x 0. Otherwise the fixed border and outer size.
    virtual void SetInvisibleMode(bool invisible) = 0;
    // The status bar as created: LabelState empty, LabelSend hidden.
    virtual void ResetStatusBar() = 0;
    // The design's title (CP932) and colours.
    virtual void ApplyDesign(std::string_view title, const TWindowColours& colours) = 0;
    // The standard error box (CP932 message).
    virtual void ShowErrorBox(std::string_view message) = 0;
    virtual void SetPauseCaption(std::string_view caption) = 0;
    // The resend command is offered only while no run is in progress.
    virtual void SetResendEnabled(bool enabled) = 0;
    // Lets pending window events through.
    virtual void LetEventsThrough() = 0;
    // The window's top-left edge; `normal` when it is neither minimised nor maximised.
    virtual void GetPlace(bool& normal, int& left, int& top) = 0;
    // Ends the process at once with this exit code: no further event handling.
    virtual void EndProcessNow(int exitCode) = 0;
};

class TFormCore {
public:
    TFormCore(TDelivery& delivery, IFormWindow& window, std::vector<std::string> args);

    // The settings file: the executable's name with ".ini", beside it.
    std::string SettingsPath() const;

    // The start-up sequence.
    void FormCreate();

    enum class TNext { kStayOpen, kCloseSoon, kCloseNow };
    // The activation work once the window is first shown; says what the window
    // does next: stay open, start Timer1, or close at once (a termination signal).
    TNext FormActivate();
    // The popup command: resends the failed mails, never while a run is in progress.
    void mnuReSendClick();
    void ColorButton1Click() { delivery_.ColorButton1Click(); }
    void ColorButton2Click();
    // Discards the job list; the window then closes.
    void Timer1Timer();
    bool Running() const { return running_; }

    // The close: the stop request first; then, once pending events went
    // through, the window position (when the window is in its normal state)
    // goes to the settings file. The exit status is the status code, or 1 when
    // a handler was abandoned by an error (never report success then). A
    // nonzero one ends the process at once, once the record had its last
    // chance and no mailer is left; zero is returned, for the window to close.
    int FormClose();

private:
    void SetRunning(bool running);

    TDelivery& delivery_;
    IFormWindow& window_;
    std::vector<std::string> args_;
    bool running_ = false;
    bool handlerFailed_ = false;
};
