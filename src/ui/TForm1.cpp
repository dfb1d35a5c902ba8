#include "ui/TForm1.h"

#include "display/DisplayText.h"
#include "display/WindowWords.h"
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
    font.setFamilies({FromCp932(jp::kFontFace), QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic")});
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

using layout::kClientHeight;
using layout::kClientWidth;

void SetPlace(QWidget* w, const TPlace& place)
{
    w->setGeometry(place.Left, place.Top, place.Width, place.Height);
}

} // namespace

void TForm1::SetBoxHook(TBoxHook hook) { BoxHook() = std::move(hook); }
void TForm1::SetExitHook(TExitHook hook) { ExitHook() = std::move(hook); }
void TForm1::SetInstanceName(std::string cp932Name) { InstanceName() = std::move(cp932Name); }

TForm1::TForm1(std::vector<std::string> args, std::string programFolder, IClock& clock, IMailerProcess& mailer)
    : QWidget(nullptr), programFolder_(std::move(programFolder))
{
    setObjectName(QStringLiteral("Form1"));
    delivery_ = std::make_unique<TDelivery>(programFolder_, static_cast<IView&>(*this), clock, mailer);
    core_ = std::make_unique<TFormCore>(*delivery_, static_cast<IFormWindow&>(*this), std::move(args));
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

void TForm1::BuildControls()
{
    setWindowTitle(QStringLiteral("Tarnwick(Sedge)V0.37a^"));
    setWindowIcon(TForm1Icon());
    setFont(WindowFont(layout::kWindowFontHeight, false));
    setAutoFillBackground(true);
    // No task-bar entry; system menu and minimise only; not resizable.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(kClientWidth, kClientHeight);
    move(layout::kLaidOutLeft, layout::kLaidOutTop);

    ListView1 = new QTreeWidget(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    SetPlace(ListView1, layout::kListView1);
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setHeaderLabels({FromCp932(jp::kItemColumn), FromCp932(jp::kContentColumn)});
    ListView1->setColumnWidth(0, layout::kItemColumnWidth);
    ListView1->setColumnWidth(1, layout::kContentColumnWidth);
    ListView1->setItemDelegate(new TGridDelegate(ListView1));
    ListView1->header()->setStretchLastSection(false);
    ListView1->header()->setSectionsMovable(false);
    for (std::string_view caption : jp::kSummaryRows)
        new QTreeWidgetItem(ListView1, {FromCp932(caption), QString()});

    ListView2 = new QTreeView(this);
    ListView2->setObjectName(QStringLiteral("ListView2"));
    SetPlace(ListView2, layout::kListView2);
    ListView2->setRootIsDecorated(false);
    ListView2->setUniformRowHeights(true);
    ListView2->setItemDelegate(new TGridDelegate(ListView2));
    resultModel_ = new TResultListModel(delivery_->ResultRows(), this);
    ListView2->setModel(resultModel_);
    ListView2->header()->setStretchLastSection(false);
    ListView2->header()->setSectionsMovable(false);
    for (int c = 0; c < 4; ++c)
        ListView2->setColumnWidth(c, layout::kResultColumnWidth);
    ListView2->setContextMenuPolicy(Qt::CustomContextMenu);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    PopupMenu1->setSeparatorsCollapsible(false);
    mnuReSend = PopupMenu1->addAction(FromCp932(jp::kResendCommand));
    mnuReSend->setObjectName(QStringLiteral("mnuReSend"));
    connect(mnuReSend, &QAction::triggered, this, [this] { mnuReSendClick(); });
    connect(ListView2, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PopupMenu1->popup(ListView2->viewport()->mapToGlobal(pos)); });

    Panel2 = new TBevelPanel(TBevel::kRaised, TBevel::kLowered, this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    SetPlace(Panel2, layout::kPanel2);
    Label1 = new QLabel(FromCp932(jp::kRestTimeCaption), Panel2);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(layout::kLabel1.Left, layout::kLabel1.Top);
    LabelRestTime = new QLabel(Panel2);
    LabelRestTime->setObjectName(QStringLiteral("LabelRestTime"));
    SetPlace(LabelRestTime, layout::kLabelRestTime);

    const QFont buttonFont = WindowFont(layout::kButtonFontHeight, true);
    ColorButton2 = new TColorButton(Panel2);
    ColorButton2->setObjectName(QStringLiteral("ColorButton2"));
    SetPlace(ColorButton2, layout::kColorButton2);
    ColorButton2->setFont(buttonFont);
    ColorButton2->SetCaption(FromCp932(jp::kPauseButton));
    connect(ColorButton2, &TColorButton::clicked, this, [this] { ColorButton2Click(); });
    ColorButton1 = new TColorButton(Panel2);
    ColorButton1->setObjectName(QStringLiteral("ColorButton1"));
    SetPlace(ColorButton1, layout::kColorButton1);
    ColorButton1->setFont(buttonFont);
    ColorButton1->SetCaption(FromCp932(jp::kEndButton));
    connect(ColorButton1, &TColorButton::clicked, this, [this] { ColorButton1Click(); });

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    SetPlace(ProgressBar1, layout::kProgressBar1);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);

    Panel1 = new TBevelPanel(TBevel::kLowered, TBevel::kNone, this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    SetPlace(Panel1, layout::kPanel1);
    LabelState = new QLabel(Panel1);
    LabelState->setObjectName(QStringLiteral("LabelState"));
    SetPlace(LabelState, layout::kLabelState);
    LabelSend = new QLabel(FromCp932(jp::kSendingMarker), Panel1);
    LabelSend->setObjectName(QStringLiteral("LabelSend"));
    LabelSend->move(layout::kLabelSend.Left, layout::kLabelSend.Top);
    LabelSend->setFont(WindowFont(layout::kWindowFontHeight, true));
    QPalette red = LabelSend->palette();
    red.setColor(QPalette::WindowText, QColor(255, 0, 0));
    LabelSend->setPalette(red);
    LabelSend->adjustSize();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(layout::kTimer1Interval);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    TimerWait = new QTimer(this);
    TimerWait->setObjectName(QStringLiteral("TimerWait"));
    TimerWait->setInterval(layout::kTimerWaitInterval);
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

void TForm1::FormCreate() { core_->FormCreate(); }

void TForm1::PlaceWindow(int left, int top) { move(left, top); }

void TForm1::SetInvisibleMode(bool invisible)
{
    if (invisible) {
        // Title-bar buttons would bring the frame back.
        setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
        setMinimumSize(0, 0);
        setFixedSize(0, 0);
        move(0, 0);
    } else {
        setFixedSize(kClientWidth, kClientHeight);
    }
}

void TForm1::ResetStatusBar()
{
    LabelState->clear();
    LabelSend->hide();
}

void TForm1::ApplyDesign(std::string_view title, const TWindowColours& colours)
{
    setWindowTitle(FromCp932(title));
    const QColor background = FromColorRef(colours.Background);
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
    ColorButton1->SetColor(FromColorRef(colours.Button1Face));
    ColorButton1->SetFontColor(FromColorRef(colours.Button1Text));
    ColorButton2->SetColor(FromColorRef(colours.Button2Face));
    ColorButton2->SetFontColor(FromColorRef(colours.Button2Text));
}

void TForm1::SetPauseCaption(std::string_view caption) { ColorButton2->SetCaption(FromCp932(caption)); }

void TForm1::SetResendEnabled(bool enabled) { mnuReSend->setEnabled(enabled); }

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
    const TFormCore::TNext next = core_->FormActivate();
    if (closed_)
        return;
    if (next == TFormCore::TNext::kCloseNow)
        close(); // a termination signal ended the run: close at once
    else if (next == TFormCore::TNext::kCloseSoon)
        Timer1->start();
}

void TForm1::TerminationTimerTimer()
{
    // While a run is in progress it takes the requests itself.
    if (core_->Running() || closed_ || inClose_)
        return;
    delivery_->PollTermination();
    if (delivery_->TerminationPending())
        close();
}

void TForm1::Timer1Timer()
{
    Timer1->stop();
    core_->Timer1Timer();
    close();
}

void TForm1::TimerWaitTimer()
{
    TimerWait->stop();
    delivery_->TimerWaitTimer();
}

void TForm1::ColorButton1Click() { core_->ColorButton1Click(); }
void TForm1::ColorButton2Click() { core_->ColorButton2Click(); }
void TForm1::mnuReSendClick() { core_->mnuReSendClick(); }

void TForm1::closeEvent(QCloseEvent* event)
{
    if (inClose_ || closed_) {
        event->accept();
        return;
    }
    inClose_ = true;
    const int status = core_->FormClose();
    if (progress_)
        progress_->Break();
    closed_ = true;
    inClose_ = false;
    event->accept();
    QCoreApplication::exit(status);
}

void TForm1::LetEventsThrough() { QCoreApplication::processEvents(); }

void TForm1::GetPlace(bool& normal, int& left, int& top)
{
    // A frameless window's outer edge is its client edge.
    const QPoint p = (windowFlags() & Qt::FramelessWindowHint) ? geometry().topLeft() : pos();
    normal = !(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized));
    left = p.x();
    top = p.y();
}

void TForm1::EndProcessNow(int exitCode)
{
    if (progress_)
        progress_->Break();
    if (ExitHook())
        ExitHook()(exitCode);
    else
        platform::ExitProcessNow(exitCode);
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
    restShown_.clear();
    for (int row = 0; row < ListView1->topLevelItemCount(); ++row)
        SetSummaryCell(row, QString());
    summaryShown_ = {};
    QCoreApplication::processEvents();
}

void TForm1::UpdateSummary(bool waitOnly, std::string_view subject, int processed, int total, std::int64_t remainingSeconds, int errors)
{
    std::string rest = FormatRestTime(remainingSeconds);
    if (rest != restShown_) {
        LabelRestTime->setText(FromCp932(rest));
        restShown_ = std::move(rest);
    }
    if (progress_) {
        progress_->SetRest(LabelRestTime->text());
        progress_->SetErrors(errors);
        progress_->Draw();
    }
    if (waitOnly)
        return;
    TSummaryCells cells = SummaryCells(delivery_->Options(), subject, processed, total, errors);
    for (std::size_t row = 0; row < cells.size(); ++row) {
        if (cells[row] != summaryShown_[row]) {
            SetSummaryCell(static_cast<int>(row), FromCp932(cells[row]));
            summaryShown_[row] = std::move(cells[row]);
        }
    }
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

void TForm1::ShowErrorBox(std::string_view cp932Message)
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
    // Nobody reads a window that is not there, nor one of 0 x 0 pixels (/i).
    if (!Unattended() && !delivery_->Options().InvisibleMode)
        return;
    WriteStandardError(text);
}

void TForm1::WriteStandardError(std::string_view text)
{
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
