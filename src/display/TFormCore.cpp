#include "display/TFormCore.h"

#include "display/TInstanceGuard.h"
#include "display/WindowWords.h"
#include "platform/Errors.h"
#include "platform/Clock.h"
#include "platform/Paths.h"

namespace {
// How long the close lets a run in progress see the stop request.
constexpr std::uint32_t kCloseWaitMs = 250;
} // namespace

TFormCore::TFormCore(TDelivery& delivery, IFormWindow& window, std::vector<std::string> args)
    : delivery_(delivery), window_(window), args_(std::move(args))
{
}

std::string TFormCore::SettingsPath() const
{
    return delivery_.ProgramFolder() + TInstanceGuard::BaseName(platform::ProgramPath()) + ".ini";
}

void TFormCore::FormCreate()
{
    TSettings& settings = delivery_.Settings();
    settings = ReadSettings(SettingsPath());
    window_.PlaceWindow(settings.Left, settings.Top);

    delivery_.ResetOptions();
    try {
        delivery_.ParseCommandLine(args_);
    } catch (const Exception& e) {
        // The rest of start-up is skipped; activation then ends the program.
        window_.ShowErrorBox(e.Message());
        return;
    }

    window_.SetInvisibleMode(delivery_.Options().InvisibleMode);
    window_.ResetStatusBar();
    delivery_.Controls().PauseRequest = false;

    try {
        // A check of the batch (/v) writes nothing but its report.
        if (!delivery_.Options().VerifyOnly)
            delivery_.StartTrace();
    } catch (const Exception& e) {
        window_.ShowErrorBox(e.Message());
        return; // the window keeps its laid-out caption and colours
    }
    const TDesign design = ReadDesign(delivery_.ProgramFolder() + "DesignConfig.ini");
    window_.ApplyDesign(design.Title, WindowColours(design));
}

TFormCore::TNext TFormCore::FormActivate()
{
    TDelivery::TActivation next = TDelivery::TActivation::kCloseSoon;
    SetRunning(true);
    try {
        next = delivery_.Activate();
    } catch (const std::exception& e) {
        // The handler is abandoned; an unattended caller must not hang nor read success.
        window_.ShowErrorBox(e.what());
        handlerFailed_ = true;
        next = delivery_.Options().KeepOpen ? TDelivery::TActivation::kStayOpen : TDelivery::TActivation::kCloseSoon;
    }
    SetRunning(false);
    if (delivery_.TerminationPending())
        return TNext::kCloseNow; // a termination signal ended the run
    return next == TDelivery::TActivation::kCloseSoon ? TNext::kCloseSoon : TNext::kStayOpen;
}

void TFormCore::mnuReSendClick()
{
    if (running_)
        return; // no resend while a run is in progress: it would replace the job list under the run
    SetRunning(true);
    try {
        delivery_.ResendOnCommand();
    } catch (const std::exception& e) {
        window_.ShowErrorBox(e.what());
        handlerFailed_ = true;
    }
    SetRunning(false);
}

void TFormCore::ColorButton2Click()
{
    const bool paused = delivery_.ColorButton2Click();
    window_.SetPauseCaption(paused ? jp::kResumeButton : jp::kPauseButton);
}

void TFormCore::Timer1Timer() { delivery_.State().JobList.clear(); }

void TFormCore::SetRunning(bool running)
{
    running_ = running;
    window_.SetResendEnabled(!running);
}

int TFormCore::FormClose()
{
    delivery_.Controls().StopRequest = true;
    window_.LetEventsThrough();
    platform::SleepMs(kCloseWaitMs);

    TSettings& settings = delivery_.Settings();
    bool normal = false;
    int left = 0, top = 0;
    window_.GetPlace(normal, left, top);
    if (normal) {
        settings.Top = top;
        settings.Left = left;
    }
    try {
        if (!delivery_.Options().VerifyOnly)
            WriteSettings(SettingsPath(), settings);
    } catch (const Exception& e) {
        // Shown, then the close completes: otherwise the window could never close.
        window_.ShowErrorBox(e.Message());
    }
    const int status = delivery_.StatusCode() == 0 && handlerFailed_ ? 1 : delivery_.StatusCode();
    if (status != 0) {
        // No result line for a mail in progress: the record gets its last
        // chance and no mailer is left behind.
        window_.EndProcessNow(delivery_.FinishProcess(status));
    }
    return status;
}
