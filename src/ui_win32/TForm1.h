// The main window on the Win32 API and the common controls: layout, the
// handlers of start-up, activation and close, the buttons, the timers and the
// popup menu, and the display operations the delivery run calls. Texts are
// CP932 throughout (the "A" functions under code page 932).
#pragma once

#include "display/TFormCore.h"
#include "run/TDelivery.h"
#include "ui_win32/TColorButton.h"
#include "ui_win32/TSingleInstance.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

class TForm1 : public IView, private IFormWindow {
public:
    // `application` is the application's owner window, which owns the main
    // window. `args` are the program's arguments (CP932), without its name.
    TForm1(HWND application, std::vector<std::string> args, std::string programFolder, IClock& clock,
           IMailerProcess& mailer);
    ~TForm1() override;
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    // False when another instance runs: this one must end with exit code 0 and
    // the window has done nothing.
    bool Started() const { return started_; }
    // True when nobody can answer a box: the process's window station shows
    // nothing (a service, a task that runs whether anyone is logged on or not).
    static bool Unattended();
    // Not started because the single-instance marker could not be used.
    bool GuardFailed() const { return SingleInstance1 && SingleInstance1->MarkerUnusable(); }
    TDelivery& Delivery() { return *delivery_; }
    HWND Handle() const { return hwnd_; }

    // Shows the window; the activation work follows once the window is shown.
    void Show();
    // Keyboard handling of a dialog: Tab moves the focus, accelerators reach
    // the colour buttons. True when the message was taken.
    bool PreTranslate(MSG& msg);

    // Handlers.
    void FormActivate();
    void Timer1Timer();
    void TimerWaitTimer();
    void ColorButton1Click();
    void ColorButton2Click();
    void mnuReSendClick();
    // The text colour of a result-list row, or CLR_DEFAULT for the list's own.
    COLORREF ListView2CustomDrawItem(std::size_t row) const;

    // The display operations the run calls.
    void ClearSummary() override;
    void UpdateSummary(bool waitOnly, std::string_view subject, int processed, int total, std::int64_t remainingSeconds, int errors) override;
    void SetLabelState(std::string_view text) override;
    void SetLabelSendVisible(bool visible) override;
    void SetProgressMax(int max) override;
    void SetProgressPosition(int position) override;
    void ResultRowsReset() override;
    void ResultRowInserted() override;
    void ProcessEvents() override;
    void StartTimerWait(std::uint32_t intervalMs) override;
    void ShowWarning(std::string_view caption, std::string_view text) override;
    void ShowInformation(std::string_view text) override;
    bool AskYesNo(std::string_view text) override;
    void CloseWindow() override;
    void ReportUnattended(std::string_view text) override;
    void WriteStandardError(std::string_view text) override;

private:
    // The toolkit's part of the handlers.
    void PlaceWindow(int left, int top) override;
    void SetInvisibleMode(bool invisible) override;
    void ResetStatusBar() override;
    void ApplyDesign(std::string_view title, const TWindowColours& colours) override;
    void ShowErrorBox(std::string_view message) override;
    void SetPauseCaption(std::string_view caption) override;
    void SetResendEnabled(bool enabled) override;
    void LetEventsThrough() override;
    void GetPlace(bool& normal, int& left, int& top) override;
    void EndProcessNow(int exitCode) override;

    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK PanelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
    LRESULT PanelMessage(HWND panel, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT OnNotify(NMHDR* hdr);
    void DrawSummaryRow(const DRAWITEMSTRUCT& di) const;
    void BuildControls();
    void Layout();
    void FormClose();
    void Destroy();
    void SetSummaryCell(int row, const std::string& text);
    int Box(std::string_view caption, std::string_view text, UINT type);
    HWND BoxOwner() const;
    void PaintPanel(HWND panel, HDC dc);

    HWND application_;
    std::string programFolder_;
    std::unique_ptr<TDelivery> delivery_;
    std::unique_ptr<TFormCore> core_;
    std::unique_ptr<TSingleInstance> SingleInstance1;

    HWND hwnd_ = nullptr;
    HWND ListView1 = nullptr;
    HWND ListView2 = nullptr;
    HWND Panel2 = nullptr;
    HWND Label1 = nullptr;
    HWND LabelRestTime = nullptr;
    std::unique_ptr<TColorButton> ColorButton2;
    std::unique_ptr<TColorButton> ColorButton1;
    HWND ProgressBar1 = nullptr;
    HWND Panel1 = nullptr;
    HWND LabelState = nullptr;
    HWND LabelSend = nullptr;
    HWND StateTip = nullptr; // the status text whole, for one longer than the status bar
    HMENU PopupMenu1 = nullptr;

    HFONT windowFont_ = nullptr;
    HFONT boldFont_ = nullptr;
    HFONT buttonFont_ = nullptr;
    HICON icon_ = nullptr;
    COLORREF background_;
    HBRUSH backgroundBrush_ = nullptr;

    bool started_ = false;
    bool activated_ = false;
    bool inClose_ = false;
    bool closed_ = false;
    bool destroyed_ = false;
};
