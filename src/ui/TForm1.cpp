#include "ui/TForm1.h"

#include "platform/CodePage.h"
#include "platform/Console.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "ui/SummaryText.h"
#include "ui/TColorButton.h"
#include "ui/TForm1Icon.h"
#include "ui/TProgressLine.h"
#include "ui/TResultListModel.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>

#include <cstdio>

namespace {

TForm1::TBoxHook& BoxHook()
{
    static TForm1::TBoxHook hook;
    return hook;
}

TForm1::TExitHook& ExitHook()
{
    static TForm1::TExitHook hook;
    return hook;
}

std::string& InstanceName()
{
    static std::string name = "Ident8957";
    return name;
}

// The window font: "ＭＳ Ｐゴシック", 12-pixel characters; IPAPGothic keeps its metrics.
QFont WindowFont(int pixelSize, bool bold)
{
    QFont font;
    font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic")});
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

QColor FromColorRef(std::uint32_t value)
{
    // Lowest byte red, then green, then blue; a top byte is ignored.
    return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF), static_cast<int>((value >> 16) & 0xFF));
}

// Report-style lists draw grid lines between their cells.
class TGridDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem opt(option);
        const QVariant foreground = index.data(Qt::ForegroundRole);
        if ((opt.state & QStyle::State_Selected) && foreground.canConvert<QColor>()) {
            // A failed row keeps its red when selected, on a pale selection
            // colour that red text reads well on.
            opt.palette.setColor(QPalette::HighlightedText, foreground.value<QColor>());
            opt.palette.setColor(QPalette::Highlight, QColor(0xCC, 0xE8, 0xFF));
        }
        QStyledItemDelegate::paint(painter, opt, index);
        painter->save();
        painter->setPen(QColor(0xC0, 0xC0, 0xC0));
        painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
        painter->drawLine(option.rect.topRight(), option.rect.bottomRight());
        painter->restore();
    }
};

// A panel with an outer and an inner one-pixel bevel in the system's
// highlight and shadow colours, whatever the panel's own colour.
enum class TBevel { kNone, kRaised, kLowered };

class TBevelPanel : public QFrame {
public:
    TBevelPanel(TBevel outer, TBevel inner, QWidget* parent) : QFrame(parent), outer_(outer), inner_(inner)
    {
        setAutoFillBackground(true);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        QRect r = rect();
        for (TBevel bevel : {outer_, inner_}) {
            if (bevel == TBevel::kNone)
                continue;
            const QColor highlight(255, 255, 255), shadow(128, 128, 128);
            const QColor topLeft = bevel == TBevel::kRaised ? highlight : shadow;
            const QColor bottomRight = bevel == TBevel::kRaised ? shadow : highlight;
            // Top-left edges first; the bottom-right colour takes both far corners.
            p.setPen(topLeft);
            p.drawLine(r.left(), r.bottom(), r.left(), r.top());
            p.drawLine(r.left(), r.top(), r.right() - 1, r.top());
            p.setPen(bottomRight);
            p.drawLine(r.right(), r.top(), r.right(), r.bottom());
            p.drawLine(r.right(), r.bottom(), r.left(), r.bottom());
            r.adjust(1, 1, -1, -1);
        }
    }

private:
    TBevel outer_, inner_;
};

constexpr int kClientWidth = 416;
constexpr int kClientHeight = 464;
const char* const kSummaryCaptions[] = {"処理", "件名", "処理済／総件数", "１回の送信単位（件）",
                                        "送信間隔（単位毎）", "送信間隔（１件毎）", "エラー件数"};

} // namespace

void TForm1::SetBoxHook(TBoxHook hook) { BoxHook() = std::move(hook); }
void TForm1::SetExitHook(TExitHook hook) { ExitHook() = std::move(hook); }
void TForm1::SetInstanceName(std::string cp932Name) { InstanceName() = std::move(cp932Name); }

TForm1::TForm1(std::vector<std::string> args, std::string programFolder, IClock& clock, IMailerProcess& mailer)
    : QWidget(nullptr), args_(std::move(args)), programFolder_(std::move(programFolder))
{
    setObjectName(QStringLiteral("Form1"));
    delivery_ = std::make_unique<TDelivery>(programFolder_, static_cast<IView&>(*this), clock, mailer);
    BuildControls();

    // The guard acts while the window is built: a later instance ends here.
    SingleInstance1 = std::make_unique<TSingleInstance>(this);
    SingleInstance1->SetDupInstAction(diActivateFirst);
    SingleInstance1->SetUniqueName(InstanceName());
    if (!SingleInstance1->Loaded())
        return;
    started_ = true;
    FormCreate();
}

TForm1::~TForm1() = default;

std::string TForm1::SettingsPath() const
{
    return programFolder_ + TSingleInstance::BaseName(platform::ProgramPath()) + ".ini";
}

void TForm1::BuildControls()
{
    setWindowTitle(QStringLiteral("Tarnwick(Sedge)V0.37a^"));
    setWindowIcon(TForm1Icon());
    setFont(WindowFont(12, false));
    setAutoFillBackground(true);
    // No task-bar entry; system menu and minimise only; not resizable.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(kClientWidth, kClientHeight);
    move(212, 106);

    ListView1 = new QTreeWidget(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setGeometry(0, 0, kClientWidth, 113);
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setHeaderLabels({QStringLiteral("項目"), QStringLiteral("内容")});
    ListView1->setColumnWidth(0, 150);
    ListView1->setColumnWidth(1, 250);
    ListView1->setItemDelegate(new TGridDelegate(ListView1));
    ListView1->header()->setStretchLastSection(false);
    ListView1->header()->setSectionsMovable(false);
    for (const char* caption : kSummaryCaptions)
        new QTreeWidgetItem(ListView1, {QString::fromUtf8(caption), QString()});

    ListView2 = new QTreeView(this);
    ListView2->setObjectName(QStringLiteral("ListView2"));
    ListView2->setGeometry(0, 113, kClientWidth, 239);
    ListView2->setRootIsDecorated(false);
    ListView2->setUniformRowHeights(true);
    ListView2->setItemDelegate(new TGridDelegate(ListView2));
    resultModel_ = new TResultListModel(delivery_->ResultRows(), this);
    ListView2->setModel(resultModel_);
    ListView2->header()->setStretchLastSection(false);
    ListView2->header()->setSectionsMovable(false);
    for (int c = 0; c < 4; ++c)
        ListView2->setColumnWidth(c, 100);
    ListView2->setContextMenuPolicy(Qt::CustomContextMenu);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    PopupMenu1->setSeparatorsCollapsible(false);
    mnuReSend = PopupMenu1->addAction(QStringLiteral("エラーメールを再送信"));
    mnuReSend->setObjectName(QStringLiteral("mnuReSend"));
    connect(mnuReSend, &QAction::triggered, this, [this] { mnuReSendClick(); });
    connect(ListView2, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PopupMenu1->popup(ListView2->viewport()->mapToGlobal(pos)); });

    Panel2 = new TBevelPanel(TBevel::kRaised, TBevel::kLowered, this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setGeometry(0, 352, kClientWidth, 70);
    Label1 = new QLabel(QStringLiteral("残り時間（推定）"), Panel2);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(8, 7);
    LabelRestTime = new QLabel(Panel2);
    LabelRestTime->setObjectName(QStringLiteral("LabelRestTime"));
    LabelRestTime->setGeometry(8, 31, 170, 16);

    const QFont buttonFont = WindowFont(19, true);
    ColorButton2 = new TColorButton(Panel2);
    ColorButton2->setObjectName(QStringLiteral("ColorButton2"));
    ColorButton2->setGeometry(192, 8, 105, 49);
    ColorButton2->setFont(buttonFont);
    ColorButton2->SetCaption(QStringLiteral("一時停止"));
    connect(ColorButton2, &TColorButton::clicked, this, [this] { ColorButton2Click(); });
    ColorButton1 = new TColorButton(Panel2);
    ColorButton1->setObjectName(QStringLiteral("ColorButton1"));
    ColorButton1->setGeometry(304, 8, 105, 49);
    ColorButton1->setFont(buttonFont);
    ColorButton1->SetCaption(QStringLiteral("終了"));
    connect(ColorButton1, &TColorButton::clicked, this, [this] { ColorButton1Click(); });

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(0, 422, kClientWidth, 17);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);

    Panel1 = new TBevelPanel(TBevel::kLowered, TBevel::kNone, this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, 439, kClientWidth, 25);
    LabelState = new QLabel(Panel1);
    LabelState->setObjectName(QStringLiteral("LabelState"));
    LabelState->setGeometry(8, 5, 350, 14);
    LabelSend = new QLabel(QStringLiteral("送信中"), Panel1);
    LabelSend->setObjectName(QStringLiteral("LabelSend"));
    LabelSend->move(368, 6);
    LabelSend->setFont(WindowFont(12, true));
    QPalette red = LabelSend->palette();
    red.setColor(QPalette::WindowText, QColor(255, 0, 0));
    LabelSend->setPalette(red);
    LabelSend->adjustSize();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(100);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    TimerWait = new QTimer(this);
    TimerWait->setObjectName(QStringLiteral("TimerWait"));
    TimerWait->setInterval(60000);
    connect(TimerWait, &QTimer::timeout, this, [this] { TimerWaitTimer(); });

    TerminationTimer = new QTimer(this);
    TerminationTimer->setInterval(200);
    connect(TerminationTimer, &QTimer::timeout, this, [this] { TerminationTimerTimer(); });
    TerminationTimer->start();

    if (Unattended() && platform::StandardErrorIsTerminal())
        progress_ = std::make_unique<TProgressLine>(stderr);

    // Tab order: the end button first (it holds the focus at start), then the
    // pause button, the summary list and the result list.
    ColorButton1->setFocusPolicy(Qt::TabFocus);
    ColorButton2->setFocusPolicy(Qt::TabFocus);
    setTabOrder(ColorButton1, ColorButton2);
    setTabOrder(ColorButton2, ListView1);
    setTabOrder(ListView1, ListView2);
    ColorButton1->setFocus();
}

void TForm1::FormCreate()
{
    TSettings& settings = delivery_->Settings();
    settings = ReadSettings(SettingsPath());
    move(settings.Left, settings.Top);

    delivery_->ResetOptions();
    try {
        delivery_->ParseCommandLine(args_);
    } catch (const Exception& e) {
        // The rest of start-up is skipped; activation then ends the program.
        ShowErrorBox(e.Message());
        return;
    }

    if (delivery_->State().InvisibleMode) {
        // Title-bar buttons would bring the frame back.
        setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
        setMinimumSize(0, 0);
        setFixedSize(0, 0);
        move(0, 0);
    } else {
        setFixedSize(kClientWidth, kClientHeight);
    }
    LabelState->clear();
    delivery_->State().PauseRequest = false;
    LabelSend->hide();

    try {
        // A check of the batch (/v) writes nothing but its report.
        if (!delivery_->State().VerifyOnly)
            delivery_->StartTrace();
    } catch (const Exception& e) {
        ShowErrorBox(e.Message());
        return; // the window keeps its laid-out caption and colours
    }
    ApplyDesign(ReadDesign(programFolder_ + "DesignConfig.ini"));
}

void TForm1::ApplyDesign(const TDesign& design)
{
    setWindowTitle(FromCp932(design.Title));
    const QColor background = FromColorRef(ColorFromText(design.BGColor, kDefaultFace));
    for (QWidget* w : {static_cast<QWidget*>(this), static_cast<QWidget*>(Panel1), static_cast<QWidget*>(Panel2)}) {
        QPalette pal = w->palette();
        pal.setColor(QPalette::Window, background);
        w->setPalette(pal);
    }
    // The lists and the progress bar keep the system colours.
    for (QWidget* w : {static_cast<QWidget*>(ListView1), static_cast<QWidget*>(ListView2), static_cast<QWidget*>(ProgressBar1)}) {
        QPalette pal = w->palette();
        pal.setColor(QPalette::Window, QApplication::palette(w).color(QPalette::Window));
        w->setPalette(pal);
    }
    ColorButton1->SetColor(FromColorRef(ColorFromText(design.Button1BGColor, kDefaultFace)));
    ColorButton1->SetFontColor(FromColorRef(ColorFromText(design.Button1TXColor, kDefaultText)));
    ColorButton2->SetColor(FromColorRef(ColorFromText(design.Button2BGColor, kDefaultFace)));
    ColorButton2->SetFontColor(FromColorRef(ColorFromText(design.Button2TXColor, kDefaultText)));
}

void TForm1::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // The activation work runs once after the window is first shown, whether or
    // not a window manager activates it.
    if (!activated_) {
        activated_ = true;
        QTimer::singleShot(0, this, [this] { FormActivate(); });
    }
}

void TForm1::FormActivate()
{
    TDelivery::TActivation next = TDelivery::TActivation::kCloseSoon;
    SetRunning(true);
    try {
        next = delivery_->Activate();
    } catch (const std::exception& e) {
        // The handler is abandoned; an unattended caller must not hang nor read success.
        ShowErrorBox(e.what());
        handlerFailed_ = true;
        next = delivery_->State().KeepOpen ? TDelivery::TActivation::kStayOpen : TDelivery::TActivation::kCloseSoon;
    }
    SetRunning(false);
    if (delivery_->TerminationPending() && !closed_) {
        close(); // a termination signal ended the run: close at once
        return;
    }
    if (next == TDelivery::TActivation::kCloseSoon && !closed_)
        Timer1->start();
}

void TForm1::TerminationTimerTimer()
{
    // While a run is in progress it takes the requests itself.
    if (running_ || closed_ || inClose_)
        return;
    delivery_->PollTermination();
    if (delivery_->TerminationPending())
        close();
}

void TForm1::Timer1Timer()
{
    Timer1->stop();
    delivery_->State().JobList.clear();
    delivery_->State().DefinitionLines.clear();
    close();
}

void TForm1::TimerWaitTimer()
{
    TimerWait->stop();
    delivery_->TimerWaitTimer();
}

void TForm1::ColorButton1Click() { delivery_->ColorButton1Click(); }

void TForm1::ColorButton2Click()
{
    const bool paused = delivery_->ColorButton2Click();
    ColorButton2->SetCaption(paused ? QStringLiteral("再開") : QStringLiteral("一時停止"));
}

void TForm1::mnuReSendClick()
{
    if (running_)
        return; // no resend while a run is in progress: it would replace the job list under the run
    SetRunning(true);
    try {
        delivery_->ResendOnCommand();
    } catch (const std::exception& e) {
        ShowErrorBox(e.what());
        handlerFailed_ = true;
    }
    SetRunning(false);
}

void TForm1::SetRunning(bool running)
{
    running_ = running;
    mnuReSend->setEnabled(!running);
}

void TForm1::closeEvent(QCloseEvent* event)
{
    if (inClose_ || closed_) {
        event->accept();
        return;
    }
    inClose_ = true;
    TRunState& state = delivery_->State();
    state.StopRequest = true;
    QCoreApplication::processEvents();
    platform::SleepMs(250);

    TSettings& settings = delivery_->Settings();
    if (!(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized))) {
        // A frameless window's outer edge is its client edge.
        const QPoint p = (windowFlags() & Qt::FramelessWindowHint) ? geometry().topLeft() : pos();
        settings.Top = p.y();
        settings.Left = p.x();
    }
    try {
        if (!state.VerifyOnly)
            WriteSettings(SettingsPath(), settings);
    } catch (const Exception& e) {
        // Shown, then the close completes: otherwise the window could never close.
        ShowErrorBox(e.Message());
    }

    int status = state.StatusCode;
    if (status == 0 && handlerFailed_)
        status = 1;
    if (status != 0) {
        // Ends at once: no further event handling, no result line for a mail in
        // progress. The record gets its last chance and no mailer is left behind.
        if (progress_)
            progress_->Break();
        status = delivery_->FinishProcess(status);
        if (ExitHook())
            ExitHook()(status);
        else
            platform::ExitProcessNow(status);
    }
    if (progress_)
        progress_->Break();
    closed_ = true;
    inClose_ = false;
    event->accept();
    QCoreApplication::exit(status);
}

// --- Display operations --------------------------------------------------------

void TForm1::SetSummaryCell(int row, const QString& text)
{
    if (QTreeWidgetItem* item = ListView1->topLevelItem(row))
        item->setText(1, text);
}

void TForm1::ClearSummary()
{
    LabelRestTime->clear();
    for (int row = 0; row < ListView1->topLevelItemCount(); ++row)
        SetSummaryCell(row, QString());
    QCoreApplication::processEvents();
}

void TForm1::UpdateSummary(bool waitOnly, int processed, int total, std::int64_t remainingSeconds, int errors)
{
    LabelRestTime->setText(FormatRestTime(remainingSeconds));
    if (progress_) {
        progress_->SetRest(LabelRestTime->text());
        progress_->SetErrors(errors);
        progress_->Draw();
    }
    if (waitOnly)
        return;
    const TRunState& s = delivery_->State();
    SetSummaryCell(0, FromCp932(s.ProcessName));
    SetSummaryCell(1, CellPrefix(delivery_->CurrentMail().Subject));
    SetSummaryCell(2, QStringLiteral("%1件/%2件").arg(processed).arg(total));
    SetSummaryCell(3, QStringLiteral("%1件").arg(s.SendUnit));
    SetSummaryCell(4, FormatFixed2(s.UnitWait) + QStringLiteral("分"));
    SetSummaryCell(5, FormatFixed2(s.MailPause) + QStringLiteral("秒"));
    SetSummaryCell(6, QStringLiteral("%1件").arg(errors));
}

void TForm1::SetLabelState(std::string_view text)
{
    LabelState->setText(FromCp932(text));
    if (progress_)
        progress_->SetState(LabelState->text());
}

void TForm1::SetLabelSendVisible(bool visible) { LabelSend->setVisible(visible); }

void TForm1::SetProgressMax(int max)
{
    ProgressBar1->setMaximum(max);
    if (progress_)
        progress_->SetTotal(max);
}

void TForm1::SetProgressPosition(int position)
{
    ProgressBar1->setValue(position);
    if (progress_)
        progress_->SetDone(position);
}

void TForm1::ResultRowsReset() { resultModel_->Reset(); }

void TForm1::ResultRowInserted()
{
    if (!resultModel_->RowInserted() || !isVisible() || width() == 0)
        return;
    // The view lays its rows out later, in an event pass of its own: the row
    // must be there before the run waits (a per-mail pause, a unit wait, a pause).
    ListView2->doItemsLayout();
    ListView2->viewport()->repaint();
}
void TForm1::ProcessEvents() { QCoreApplication::processEvents(); }

void TForm1::StartTimerWait(std::uint32_t intervalMs)
{
    TimerWait->setInterval(static_cast<int>(std::min<std::uint32_t>(intervalMs, 0x7FFFFFFF)));
    TimerWait->start();
}

void TForm1::ShowWarning(std::string_view caption, std::string_view text)
{
    Box(TBoxKind::kWarning, FromCp932(caption), FromCp932(text));
}

void TForm1::ShowInformation(std::string_view text)
{
    Box(TBoxKind::kInformation, QCoreApplication::applicationName(), FromCp932(text));
}

bool TForm1::AskYesNo(std::string_view text)
{
    return Box(TBoxKind::kConfirmation, QCoreApplication::applicationName(), FromCp932(text));
}

void TForm1::CloseWindow() { close(); }

void TForm1::ShowErrorBox(const std::string& cp932Message)
{
    Box(TBoxKind::kError, QCoreApplication::applicationName(), FromCp932(cp932Message));
}

bool TForm1::Unattended()
{
    // Only these platforms put a window before a person; on any other (offscreen,
    // minimal, vnc, ...) nobody may be there to answer, and nothing may wait.
    static const QStringList attended = {QStringLiteral("xcb"),     QStringLiteral("wayland"), QStringLiteral("wayland-egl"),
                                         QStringLiteral("windows"), QStringLiteral("cocoa"),   QStringLiteral("eglfs"),
                                         QStringLiteral("linuxfb")};
    return !attended.contains(QGuiApplication::platformName());
}

void TForm1::ReportUnattended(std::string_view text)
{
    if (!Unattended())
        return;
    if (progress_)
        progress_->Break();
    std::fprintf(stderr, "%s\n", FromCp932(text).toLocal8Bit().constData());
    std::fflush(stderr);
}

std::unique_ptr<QMessageBox> TForm1::MakeBox(TBoxKind kind, const QString& caption, const QString& text, QWidget* parent)
{
    QMessageBox::Icon icon = QMessageBox::Information;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    switch (kind) {
    case TBoxKind::kError: icon = QMessageBox::Critical; break;
    case TBoxKind::kWarning: icon = QMessageBox::Warning; break;
    case TBoxKind::kInformation: break;
    case TBoxKind::kConfirmation:
        icon = QMessageBox::Question;
        buttons = QMessageBox::Yes | QMessageBox::No;
        break;
    }
    // A parent centres the box on it.
    auto box = std::make_unique<QMessageBox>(icon, caption, text, buttons, parent);
    // The buttons as a Japanese system labels them.
    if (QAbstractButton* b = box->button(QMessageBox::Yes))
        b->setText(QStringLiteral("はい"));
    if (QAbstractButton* b = box->button(QMessageBox::No))
        b->setText(QStringLiteral("いいえ"));
    if (QAbstractButton* b = box->button(QMessageBox::Ok))
        b->setText(QStringLiteral("OK"));
    box->setDefaultButton(kind == TBoxKind::kConfirmation ? QMessageBox::Yes : QMessageBox::Ok);
    return box;
}

bool TForm1::Box(TBoxKind kind, const QString& caption, const QString& text)
{
    if (BoxHook())
        return BoxHook()(kind, caption, text);
    if (Unattended()) {
        // Nobody can answer: the box goes to standard error and takes its default button.
        if (progress_)
            progress_->Break();
        std::fprintf(stderr, "%s: %s\n", caption.toLocal8Bit().constData(), text.toLocal8Bit().constData());
        std::fflush(stderr);
        return true;
    }
    // Centred on the window; on the screen when the window is invisible (0 x 0).
    QWidget* parent = isVisible() && width() > 0 ? this : nullptr;
    const std::unique_ptr<QMessageBox> box = MakeBox(kind, caption, text, parent);
    return box->exec() != QMessageBox::No;
}
