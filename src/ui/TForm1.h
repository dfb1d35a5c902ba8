// The main window: layout, the handlers of start-up, activation and close, the
// buttons and timers, and the display operations the delivery run calls.
#pragma once

#include "display/DisplayText.h"
#include "display/TFormCore.h"
#include "run/TDelivery.h"
#include "ui/TSingleInstance.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QFrame;
class QLabel;
class QMenu;
class QMessageBox;
class QAction;
class QProgressBar;
class QTimer;
class QTreeView;
class QTreeWidget;
class TColorButton;
class TProgressLine;
class TResultListModel;

class TForm1 : public QWidget, public IView, private IFormWindow {
    Q_OBJECT
public:
    enum class TBoxKind { kError, kWarning, kInformation, kConfirmation };
    // Answers a message box instead of a person: returns true for OK/Yes.
    using TBoxHook = std::function<bool(TBoxKind kind, const QString& caption, const QString& text)>;
    using TExitHook = std::function<void(int exitCode)>;

    // `args` are the program's arguments as CP932 texts, without the program
    // name; the clock and the mailer process are the run's (the real ones, or
    // a test's virtual time and scripted mailers).
    TForm1(std::vector<std::string> args, std::string programFolder, IClock& clock, IMailerProcess& mailer);
    ~TForm1() override;

    // False when another instance runs: this one must end with exit code 0 and
    // the window has done nothing.
    bool Started() const { return started_; }
    // True on a platform where nobody may be there to answer a box.
    static bool Unattended();
    // Not started because the single-instance marker could not be used.
    bool GuardFailed() const { return SingleInstance1 && SingleInstance1->MarkerUnusable(); }

    TDelivery& Delivery() { return *delivery_; }

    // Test seams: message boxes, the immediate process end, and the name of the
    // single-instance marker (CP932; "Ident8957" unless set), so that a test
    // window does not compete with a running program.
    static void SetBoxHook(TBoxHook hook);
    static void SetExitHook(TExitHook hook);
    static void SetInstanceName(std::string cp932Name);

    // The message box a person sees: Japanese buttons, centred on `parent`
    // (on the screen without one). The caller shows it.
    static std::unique_ptr<QMessageBox> MakeBox(TBoxKind kind, const QString& caption, const QString& text, QWidget* parent);

    // Handlers.
    void FormCreate();
    void FormActivate();
    void Timer1Timer();
    void TimerWaitTimer();
    void ColorButton1Click();
    void ColorButton2Click();
    void mnuReSendClick();

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

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // The toolkit's part of the handlers.
    void PlaceWindow(int left, int top) override;
    void SetInvisibleMode(bool invisible) override;
    void ResetStatusBar() override;
    void ApplyDesign(std::string_view title, const TWindowColours& colours) override;
    void ShowErrorBox(std::string_view cp932Message) override;
    void SetPauseCaption(std::string_view caption) override;
    void SetResendEnabled(bool enabled) override;
    void LetEventsThrough() override;
    void GetPlace(bool& normal, int& left, int& top) override;
    void EndProcessNow(int exitCode) override;

    void BuildControls();
    void TerminationTimerTimer();
    void SetSummaryCell(int row, const QString& text);
    bool Box(TBoxKind kind, const QString& caption, const QString& text);

    std::string programFolder_;
    std::unique_ptr<TDelivery> delivery_;
    std::unique_ptr<TFormCore> core_;
    std::unique_ptr<TSingleInstance> SingleInstance1;

    QTreeWidget* ListView1 = nullptr;
    QTreeView* ListView2 = nullptr;
    TResultListModel* resultModel_ = nullptr;
    QFrame* Panel2 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* LabelRestTime = nullptr;
    TColorButton* ColorButton2 = nullptr;
    TColorButton* ColorButton1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QFrame* Panel1 = nullptr;
    QLabel* LabelState = nullptr;
    QLabel* LabelSend = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* TimerWait = nullptr;
    QTimer* TerminationTimer = nullptr; // takes termination requests while no run is in progress
    QMenu* PopupMenu1 = nullptr;
    QAction* mnuReSend = nullptr;

    bool started_ = false;
    bool activated_ = false;
    bool closed_ = false;
    bool inClose_ = false;
    std::unique_ptr<TProgressLine> progress_; // the live line on a terminal without a display
    // The summary's texts as shown (CP932): an unchanged one is not converted
    // and set again, twice for every mail.
    TSummaryCells summaryShown_;
    std::string restShown_;
};
