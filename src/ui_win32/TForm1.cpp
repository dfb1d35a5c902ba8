#include "ui_win32/TForm1.h"

#include "display/DisplayText.h"
#include "display/FormIcon.h"
#include "display/WindowLayout.h"
#include "display/WindowWords.h"
#include "platform/Clock.h"
#include "platform/Process.h"
#include "ui_win32/ControlIds.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr UINT kActivateMessage = WM_APP + 1;
constexpr UINT_PTR kTimer1 = 1;
constexpr UINT_PTR kTimerWait = 2;
constexpr UINT_PTR kTerminationTimer = 3; // takes termination requests while no run is in progress
constexpr DWORD kNormalStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

COLORREF Ref(std::uint32_t v) { return static_cast<COLORREF>(v & 0xFFFFFF); }

HFONT MakeFont(int height, bool bold)
{
    const std::string face(jp::kFontFace);
    return CreateFontA(-height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                       face.c_str());
}

SIZE TextSize(HFONT font, std::string_view text)
{
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE s{};
    GetTextExtentPoint32A(dc, text.data(), static_cast<int>(text.size()), &s);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return s;
}

HWND Child(HWND parent, const char* cls, std::string_view text, DWORD style, DWORD exStyle, const TPlace& place, int id)
{
    const std::string caption(text);
    HWND hwnd = CreateWindowExA(exStyle, cls, caption.c_str(), WS_CHILD | WS_VISIBLE | style, place.Left, place.Top,
                                place.Width, place.Height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                GetModuleHandleA(nullptr), nullptr);
    // Siblings keep the order of creation: it is the tab order.
    SetWindowPos(hwnd, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return hwnd;
}

void AddColumn(HWND list, int index, std::string_view caption, int width)
{
    std::string text(caption);
    LVCOLUMNA col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    col.pszText = text.data();
    col.cx = width;
    col.iSubItem = index;
    SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&col));
}

// The tooltip of a control, which shows `text`.
TOOLINFOA ToolOf(HWND parent, HWND control, char* text)
{
    TOOLINFOA tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = parent;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = text;
    return tool;
}

// The icon: one 32 x 32 image in the 16-colour palette, index 0 transparent.
HICON MakeIcon()
{
    const int n = formicon::kSize;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = n;
    bi.bmiHeader.biHeight = -n;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP colour = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!colour)
        return nullptr;
    auto* px = static_cast<std::uint32_t*>(bits);
    std::vector<std::uint8_t> mask(static_cast<std::size_t>(n * n / 8), 0);
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            const int index = formicon::Pixel(x, y);
            px[y * n + x] = index == 0 ? 0 : formicon::kPalette[index];
            if (index == 0)
                mask[static_cast<std::size_t>(y * n + x) / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        }
    }
    HBITMAP andMask = CreateBitmap(n, n, 1, 1, mask.data());
    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmMask = andMask;
    info.hbmColor = colour;
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(andMask);
    DeleteObject(colour);
    return icon;
}

} // namespace

TForm1::TForm1(HWND application, std::vector<std::string> args, std::string programFolder, IClock& clock,
               IMailerProcess& mailer)
    : application_(application), programFolder_(std::move(programFolder)), background_(GetSysColor(COLOR_BTNFACE))
{
    delivery_ = std::make_unique<TDelivery>(programFolder_, static_cast<IView&>(*this), clock, mailer);
    core_ = std::make_unique<TFormCore>(*delivery_, static_cast<IFormWindow&>(*this), std::move(args));

    static const bool registered = [] {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &TForm1::WndProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        wc.lpszClassName = kFormClass;
        bool ok = RegisterClassExA(&wc) != 0;
        wc.lpfnWndProc = &TForm1::PanelProc;
        wc.lpszClassName = kPanelClass;
        ok = RegisterClassExA(&wc) != 0 && ok;
        return ok;
    }();
    (void)registered;

    backgroundBrush_ = CreateSolidBrush(background_);
    windowFont_ = MakeFont(layout::kWindowFontHeight, false);
    boldFont_ = MakeFont(layout::kWindowFontHeight, true);
    buttonFont_ = MakeFont(layout::kButtonFontHeight, true);
    icon_ = MakeIcon();

    hwnd_ = CreateWindowExA(WS_EX_CONTROLPARENT, kFormClass, "Tarnwick(Sedge)V0.37a^", kNormalStyle,
                            layout::kLaidOutLeft, layout::kLaidOutTop, layout::kOuterWidth, layout::kOuterHeight,
                            application_, nullptr, GetModuleHandleA(nullptr), this);
    if (icon_) {
        SendMessageA(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
        SendMessageA(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
    }
    BuildControls();
    Layout();

    // The guard acts while the window is built: a later instance ends here.
    SingleInstance1 = std::make_unique<TSingleInstance>();
    SingleInstance1->SetDupInstAction(diActivateFirst);
    SingleInstance1->SetUniqueName("Ident8957");
    if (!SingleInstance1->Loaded())
        return;
    started_ = true;

    // No task-bar button: the owner window becomes a tool window, and nothing else.
    if (application_)
        SetWindowLongA(application_, GWL_EXSTYLE, WS_EX_TOOLWINDOW);
    SetTimer(hwnd_, kTerminationTimer, 200, nullptr);
    core_->FormCreate();
}

TForm1::~TForm1()
{
    ColorButton1.reset();
    ColorButton2.reset();
    if (IsWindow(hwnd_)) {
        SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
    for (HGDIOBJ o : {static_cast<HGDIOBJ>(windowFont_), static_cast<HGDIOBJ>(boldFont_),
                      static_cast<HGDIOBJ>(buttonFont_), static_cast<HGDIOBJ>(backgroundBrush_)}) {
        if (o)
            DeleteObject(o);
    }
    if (PopupMenu1)
        DestroyMenu(PopupMenu1);
    if (icon_)
        DestroyIcon(icon_);
}

void TForm1::BuildControls()
{
    SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(windowFont_), FALSE);
    auto font = [this](HWND w, HFONT f) { SendMessageA(w, WM_SETFONT, reinterpret_cast<WPARAM>(f), FALSE); };

    // Created in the tab order: the progress bar, the status bar, the
    // remaining-time panel (the end button first), the summary list, the result list.
    ProgressBar1 = Child(hwnd_, PROGRESS_CLASSA, "", 0, 0, layout::kProgressBar1, idProgressBar1);
    SendMessageA(ProgressBar1, PBM_SETRANGE32, 0, 100);
    SendMessageA(ProgressBar1, PBM_SETPOS, 0, 0);

    Panel1 = Child(hwnd_, kPanelClass, "", WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, layout::kPanel1, idPanel1);
    LabelState = Child(Panel1, "STATIC", "", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS | SS_NOTIFY, 0,
                       layout::kLabelState, idLabelState);
    font(LabelState, windowFont_);
    // A status text longer than the bar (the /v summary) ends in "..." there
    // and shows whole, wrapped, where the mouse rests on it.
    StateTip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    char empty[] = "";
    TOOLINFOA tool = ToolOf(Panel1, LabelState, empty);
    SendMessageA(StateTip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageA(StateTip, TTM_SETMAXTIPWIDTH, 0, layout::kClientWidth);
    const SIZE sendSize = TextSize(boldFont_, jp::kSendingMarker);
    LabelSend = Child(Panel1, "STATIC", jp::kSendingMarker, SS_LEFT | SS_NOPREFIX, 0,
                      {layout::kLabelSend.Left, layout::kLabelSend.Top, sendSize.cx, sendSize.cy}, idLabelSend);
    font(LabelSend, boldFont_);

    Panel2 = Child(hwnd_, kPanelClass, "", WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, layout::kPanel2, idPanel2);
    const auto button = [&](std::unique_ptr<TColorButton>& b, const TPlace& place, int id, std::string_view caption) {
        b = std::make_unique<TColorButton>(Panel2, id, place.Left, place.Top);
        SetWindowPos(b->Handle(), HWND_BOTTOM, 0, 0, place.Width, place.Height, SWP_NOMOVE | SWP_NOACTIVATE);
        b->SetFont(buttonFont_);
        b->SetCaption(std::string(caption));
    };
    button(ColorButton1, layout::kColorButton1, idColorButton1, jp::kEndButton);
    button(ColorButton2, layout::kColorButton2, idColorButton2, jp::kPauseButton);
    ColorButton1->OnClick = [this] { ColorButton1Click(); };
    ColorButton2->OnClick = [this] { ColorButton2Click(); };
    const SIZE label1Size = TextSize(windowFont_, jp::kRestTimeCaption);
    Label1 = Child(Panel2, "STATIC", jp::kRestTimeCaption, SS_LEFT | SS_NOPREFIX, 0,
                   {layout::kLabel1.Left, layout::kLabel1.Top, label1Size.cx, label1Size.cy}, idLabel1);
    font(Label1, windowFont_);
    LabelRestTime = Child(Panel2, "STATIC", "", SS_LEFT | SS_NOPREFIX, 0, layout::kLabelRestTime, idLabelRestTime);
    font(LabelRestTime, windowFont_);

    const DWORD listStyle = LVS_REPORT | LVS_SHOWSELALWAYS | WS_TABSTOP;
    // The summary list draws its rows itself, at the height that fits them all.
    ListView1 = Child(hwnd_, WC_LISTVIEWA, "", listStyle | LVS_SINGLESEL | LVS_OWNERDRAWFIXED, WS_EX_CLIENTEDGE,
                      layout::kListView1, idListView1);
    font(ListView1, windowFont_);
    SendMessageA(ListView1, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_GRIDLINES, LVS_EX_GRIDLINES);
    AddColumn(ListView1, 0, jp::kItemColumn, layout::kItemColumnWidth);
    AddColumn(ListView1, 1, jp::kContentColumn, layout::kContentColumnWidth);
    for (int row = 0; row < 7; ++row) {
        std::string caption(jp::kSummaryRows[row]);
        LVITEMA item{};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.pszText = caption.data();
        SendMessageA(ListView1, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    }

    // The result list asks for its texts: a new row on top costs the same however long the list is.
    ListView2 = Child(hwnd_, WC_LISTVIEWA, "", listStyle | LVS_OWNERDATA, WS_EX_CLIENTEDGE, layout::kListView2, idListView2);
    font(ListView2, windowFont_);
    SendMessageA(ListView2, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_GRIDLINES, LVS_EX_GRIDLINES);
    for (int c = 0; c < 4; ++c)
        AddColumn(ListView2, c, jp::kResultColumns[c], layout::kResultColumnWidth);

    PopupMenu1 = CreatePopupMenu();
    const std::string resend(jp::kResendCommand);
    AppendMenuA(PopupMenu1, MF_STRING, idMnuReSend, resend.c_str());
}

void TForm1::Layout()
{
    // Aligned as laid out: the summary list on top, the panels and the progress
    // bar at the bottom, the result list in between absorbs any difference of
    // the frame's metrics.
    RECT rc;
    GetClientRect(hwnd_, &rc);
    const int w = rc.right;
    const int h = rc.bottom;
    const int panel1Top = h - layout::kPanel1.Height;
    const int progressTop = panel1Top - layout::kProgressBar1.Height;
    const int panel2Top = progressTop - layout::kPanel2.Height;
    const int listTop = layout::kListView1.Height;
    const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
    SetWindowPos(ListView1, nullptr, 0, 0, w, layout::kListView1.Height, flags);
    SetWindowPos(ListView2, nullptr, 0, listTop, w, std::max(0, panel2Top - listTop), flags);
    SetWindowPos(Panel2, nullptr, 0, panel2Top, w, layout::kPanel2.Height, flags);
    SetWindowPos(ProgressBar1, nullptr, 0, progressTop, w, layout::kProgressBar1.Height, flags);
    SetWindowPos(Panel1, nullptr, 0, panel1Top, w, layout::kPanel1.Height, flags);
}

void TForm1::Show()
{
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    UpdateWindow(hwnd_);
    // The end button is the first tab stop and holds the focus.
    SetFocus(ColorButton1->Handle());
    PostMessageA(hwnd_, kActivateMessage, 0, 0);
}

bool TForm1::PreTranslate(MSG& msg)
{
    if (!hwnd_ || (msg.hwnd != hwnd_ && !IsChild(hwnd_, msg.hwnd)))
        return false;
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB) {
        const bool back = GetKeyState(VK_SHIFT) < 0;
        if (HWND next = GetNextDlgTabItem(hwnd_, GetFocus(), back ? TRUE : FALSE))
            SetFocus(next);
        return true;
    }
    // Alt and a letter, or a plain letter while a colour button holds the
    // focus, is offered to the buttons as an accelerator.
    const bool onButton = TColorButton::FromHandle(msg.hwnd) != nullptr;
    if (msg.message == WM_SYSCHAR || (msg.message == WM_CHAR && onButton)) {
        const char ch = static_cast<char>(msg.wParam);
        if (ch != ' ' && ch != '\r' && (ColorButton1->DialogChar(ch) || ColorButton2->DialogChar(ch)))
            return true;
    }
    return false;
}

LRESULT CALLBACK TForm1::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
        auto* form = static_cast<TForm1*>(cs->lpCreateParams);
        form->hwnd_ = hwnd;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* self = reinterpret_cast<TForm1*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!self)
        return DefWindowProcA(hwnd, msg, wp, lp);
    return self->Handle(msg, wp, lp);
}

LRESULT CALLBACK TForm1::PanelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    auto* self = reinterpret_cast<TForm1*>(GetWindowLongPtrA(GetParent(hwnd), GWLP_USERDATA));
    if (!self)
        return DefWindowProcA(hwnd, msg, wp, lp);
    return self->PanelMessage(hwnd, msg, wp, lp);
}

LRESULT TForm1::Handle(UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_ERASEBKGND: {
        RECT rc;
        GetClientRect(hwnd_, &rc);
        FillRect(reinterpret_cast<HDC>(wp), &rc, backgroundBrush_);
        return 1;
    }
    case WM_SIZE:
        if (ListView1)
            Layout();
        return 0;
    case WM_NOTIFY:
        return OnNotify(reinterpret_cast<NMHDR*>(lp));
    case WM_MEASUREITEM:
        if (wp == idListView1) {
            reinterpret_cast<MEASUREITEMSTRUCT*>(lp)->itemHeight = layout::kSummaryRowHeight;
            return TRUE;
        }
        break;
    case WM_DRAWITEM:
        if (wp == idListView1) {
            DrawSummaryRow(*reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
            return TRUE;
        }
        break;
    case WM_CONTEXTMENU:
        if (reinterpret_cast<HWND>(wp) == ListView2) {
            POINT pt{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
            if (pt.x == -1 && pt.y == -1) { // from the keyboard: at the list's corner
                pt = {0, 0};
                ClientToScreen(ListView2, &pt);
            }
            TrackPopupMenu(PopupMenu1, TPM_LEFTALIGN | TPM_RIGHTBUTTON, pt.x, pt.y, 0, hwnd_, nullptr);
            return 0;
        }
        break;
    case WM_COMMAND:
        if (LOWORD(wp) == idMnuReSend) {
            mnuReSendClick();
            return 0;
        }
        break;
    case WM_TIMER:
        if (wp == kTimer1)
            Timer1Timer();
        else if (wp == kTimerWait)
            TimerWaitTimer();
        else if (wp == kTerminationTimer && !core_->Running() && !closed_ && !inClose_) {
            // While a run is in progress it takes the requests itself.
            delivery_->PollTermination();
            if (delivery_->TerminationPending())
                FormClose();
        }
        return 0;
    case kActivateMessage:
        FormActivate();
        return 0;
    case WM_CLOSE:
        FormClose();
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcA(hwnd_, msg, wp, lp);
}

LRESULT TForm1::PanelMessage(HWND panel, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_ERASEBKGND: {
        RECT rc;
        GetClientRect(panel, &rc);
        FillRect(reinterpret_cast<HDC>(wp), &rc, backgroundBrush_);
        return 1;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(panel, &ps);
        PaintPanel(panel, dc);
        EndPaint(panel, &ps);
        return 0;
    }
    case WM_CTLCOLORSTATIC: {
        // The labels take their panel's colour; LabelSend is red.
        HDC dc = reinterpret_cast<HDC>(wp);
        SetTextColor(dc, reinterpret_cast<HWND>(lp) == LabelSend ? Ref(kPureRed) : GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, background_);
        return reinterpret_cast<LRESULT>(backgroundBrush_);
    }
    default:
        break;
    }
    return DefWindowProcA(panel, msg, wp, lp);
}

void TForm1::PaintPanel(HWND panel, HDC dc)
{
    // Panel2: a raised outer and a lowered inner bevel; Panel1: a lowered
    // outer bevel alone. One pixel each, in the system's highlight and shadow
    // colours whatever the panel's own colour.
    enum TBevel { kNone, kRaised, kLowered };
    const bool isPanel2 = panel == Panel2;
    const TBevel bevels[2] = {isPanel2 ? kRaised : kLowered, isPanel2 ? kLowered : kNone};
    RECT r;
    GetClientRect(panel, &r);
    const COLORREF highlight = GetSysColor(COLOR_BTNHIGHLIGHT);
    const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
    auto line = [dc](int l, int t, int rr, int b, COLORREF c) {
        const RECT x{l, t, rr, b};
        HBRUSH brush = CreateSolidBrush(c);
        FillRect(dc, &x, brush);
        DeleteObject(brush);
    };
    for (TBevel bevel : bevels) {
        if (bevel == kNone)
            continue;
        const COLORREF topLeft = bevel == kRaised ? highlight : shadow;
        const COLORREF bottomRight = bevel == kRaised ? shadow : highlight;
        // Top-left edges first; the bottom-right colour takes both far corners.
        line(r.left, r.top, r.left + 1, r.bottom, topLeft);
        line(r.left, r.top, r.right - 1, r.top + 1, topLeft);
        line(r.right - 1, r.top, r.right, r.bottom, bottomRight);
        line(r.left, r.bottom - 1, r.right, r.bottom, bottomRight);
        InflateRect(&r, -1, -1);
    }
}

LRESULT TForm1::OnNotify(NMHDR* hdr)
{
    if (hdr->hwndFrom != ListView2)
        return 0;
    const TResultRows& rows = delivery_->ResultRows();
    if (hdr->code == LVN_GETDISPINFOA) {
        auto* di = reinterpret_cast<NMLVDISPINFOA*>(hdr);
        if ((di->item.mask & LVIF_TEXT) && di->item.pszText && di->item.cchTextMax > 0) {
            di->item.pszText[0] = '\0';
            const auto index = static_cast<std::size_t>(di->item.iItem);
            if (di->item.iItem >= 0 && index < rows.Count()) {
                const std::string cell = ResultCell(rows.Row(index), di->item.iSubItem);
                lstrcpynA(di->item.pszText, cell.c_str(), di->item.cchTextMax);
            }
        }
        return 0;
    }
    if (hdr->code == NM_CUSTOMDRAW) {
        auto* cd = reinterpret_cast<NMLVCUSTOMDRAW*>(hdr);
        if (cd->nmcd.dwDrawStage == CDDS_PREPAINT)
            return CDRF_NOTIFYITEMDRAW;
        if (cd->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
            const COLORREF colour = ListView2CustomDrawItem(static_cast<std::size_t>(cd->nmcd.dwItemSpec));
            if (colour == CLR_DEFAULT)
                return CDRF_DODEFAULT;
            cd->clrText = colour;
            return CDRF_NEWFONT;
        }
        return CDRF_DODEFAULT;
    }
    return 0;
}

void TForm1::DrawSummaryRow(const DRAWITEMSTRUCT& di) const
{
    // Selected as a list view shows it: in the highlight while the list has
    // the focus, in the face colour otherwise.
    const bool selected = (di.itemState & ODS_SELECTED) != 0;
    const bool focused = GetFocus() == ListView1;
    FillRect(di.hDC, &di.rcItem, GetSysColorBrush(!selected ? COLOR_WINDOW : focused ? COLOR_HIGHLIGHT : COLOR_BTNFACE));
    SetTextColor(di.hDC, GetSysColor(selected && focused ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    SetBkMode(di.hDC, TRANSPARENT);
    const HGDIOBJ oldFont = SelectObject(di.hDC, windowFont_);
    constexpr int kCellPadding = 3;
    int left = di.rcItem.left;
    for (int column = 0; column < 2; ++column) {
        const int width = static_cast<int>(SendMessageA(ListView1, LVM_GETCOLUMNWIDTH, column, 0));
        char text[512] = "";
        LVITEMA item{};
        item.iSubItem = column;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        SendMessageA(ListView1, LVM_GETITEMTEXTA, di.itemID, reinterpret_cast<LPARAM>(&item));
        RECT cell{left + kCellPadding, di.rcItem.top, left + width - kCellPadding, di.rcItem.bottom};
        DrawTextA(di.hDC, text, -1, &cell, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
        left += width;
    }
    SelectObject(di.hDC, oldFont);
}

COLORREF TForm1::ListView2CustomDrawItem(std::size_t row) const
{
    const TResultRows& rows = delivery_->ResultRows();
    if (row >= rows.Count() || !ResultRowIsRed(rows.Row(row)))
        return CLR_DEFAULT;
    return Ref(kPureRed);
}

// --- Handlers -----------------------------------------------------------------

void TForm1::FormActivate()
{
    if (activated_)
        return;
    activated_ = true;
    const TFormCore::TNext next = core_->FormActivate();
    if (closed_) {
        Destroy(); // closed during the run with status 0: the run has returned now
        return;
    }
    if (next == TFormCore::TNext::kCloseNow)
        FormClose(); // a termination signal ended the run: close at once
    else if (next == TFormCore::TNext::kCloseSoon)
        SetTimer(hwnd_, kTimer1, layout::kTimer1Interval, nullptr);
}

void TForm1::Timer1Timer()
{
    KillTimer(hwnd_, kTimer1);
    core_->Timer1Timer();
    CloseWindow();
}

void TForm1::TimerWaitTimer()
{
    KillTimer(hwnd_, kTimerWait);
    delivery_->TimerWaitTimer();
}

void TForm1::ColorButton1Click() { core_->ColorButton1Click(); }
void TForm1::ColorButton2Click() { core_->ColorButton2Click(); }

void TForm1::mnuReSendClick()
{
    core_->mnuReSendClick();
    if (closed_ && !core_->Running())
        Destroy();
}

void TForm1::FormClose()
{
    if (inClose_ || closed_)
        return;
    inClose_ = true;
    core_->FormClose();
    closed_ = true;
    inClose_ = false;
    ShowWindow(hwnd_, SW_HIDE);
    // A run in progress stops at its next check; the window goes when it has returned.
    if (!core_->Running())
        Destroy();
}

void TForm1::LetEventsThrough() { ProcessEvents(); }

void TForm1::GetPlace(bool& normal, int& left, int& top)
{
    RECT r{};
    GetWindowRect(hwnd_, &r);
    normal = !IsIconic(hwnd_) && !IsZoomed(hwnd_);
    left = r.left;
    top = r.top;
}

void TForm1::EndProcessNow(int exitCode) { platform::ExitProcessNow(exitCode); }

void TForm1::Destroy()
{
    if (destroyed_)
        return;
    destroyed_ = true;
    DestroyWindow(hwnd_);
}

// --- The toolkit's part of the handlers -------------------------------------------

void TForm1::PlaceWindow(int left, int top)
{
    SetWindowPos(hwnd_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm1::SetInvisibleMode(bool invisible)
{
    if (invisible) {
        SetWindowLongA(hwnd_, GWL_STYLE, WS_POPUP | WS_CLIPCHILDREN);
        SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0, SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    } else {
        SetWindowPos(hwnd_, nullptr, 0, 0, layout::kOuterWidth, layout::kOuterHeight,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void TForm1::ResetStatusBar()
{
    SetWindowTextA(LabelState, "");
    ShowWindow(LabelSend, SW_HIDE);
}

void TForm1::ApplyDesign(std::string_view title, const TWindowColours& colours)
{
    const std::string caption(title);
    SetWindowTextA(hwnd_, caption.c_str());
    background_ = Ref(colours.Background);
    HBRUSH old = backgroundBrush_;
    backgroundBrush_ = CreateSolidBrush(background_);
    DeleteObject(old);
    // The lists and the progress bar keep the system colours.
    ColorButton1->SetColor(Ref(colours.Button1Face));
    ColorButton1->SetFontColor(Ref(colours.Button1Text));
    ColorButton2->SetColor(Ref(colours.Button2Face));
    ColorButton2->SetFontColor(Ref(colours.Button2Text));
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void TForm1::SetPauseCaption(std::string_view caption) { ColorButton2->SetCaption(std::string(caption)); }

void TForm1::SetResendEnabled(bool enabled)
{
    EnableMenuItem(PopupMenu1, idMnuReSend, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

// --- Display operations --------------------------------------------------------

void TForm1::SetSummaryCell(int row, const std::string& text)
{
    std::string cell = text;
    LVITEMA item{};
    item.iSubItem = 1;
    item.pszText = cell.data();
    SendMessageA(ListView1, LVM_SETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

void TForm1::ClearSummary()
{
    SetWindowTextA(LabelRestTime, "");
    for (int row = 0; row < 7; ++row)
        SetSummaryCell(row, std::string());
    ProcessEvents();
}

void TForm1::UpdateSummary(bool waitOnly, std::string_view subject, int processed, int total, std::int64_t remainingSeconds, int errors)
{
    SetWindowTextA(LabelRestTime, FormatRestTime(remainingSeconds).c_str());
    if (waitOnly)
        return;
    const TSummaryCells cells = SummaryCells(delivery_->Options(), subject, processed, total, errors);
    for (int row = 0; row < 7; ++row)
        SetSummaryCell(row, cells[static_cast<std::size_t>(row)]);
}

void TForm1::SetLabelState(std::string_view text)
{
    std::string t(text);
    SetWindowTextA(LabelState, t.c_str());
    TOOLINFOA tool = ToolOf(Panel1, LabelState, t.data());
    SendMessageA(StateTip, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
}

void TForm1::SetLabelSendVisible(bool visible) { ShowWindow(LabelSend, visible ? SW_SHOWNA : SW_HIDE); }

void TForm1::SetProgressMax(int max) { SendMessageA(ProgressBar1, PBM_SETRANGE32, 0, max); }

void TForm1::SetProgressPosition(int position) { SendMessageA(ProgressBar1, PBM_SETPOS, static_cast<WPARAM>(position), 0); }

void TForm1::ResultRowsReset()
{
    SendMessageA(ListView2, LVM_SETITEMCOUNT, static_cast<WPARAM>(delivery_->ResultRows().Count()), 0);
    InvalidateRect(ListView2, nullptr, TRUE);
}

void TForm1::ResultRowInserted()
{
    // Every row moves down by one: only the visible rows are painted again.
    SendMessageA(ListView2, LVM_SETITEMCOUNT, static_cast<WPARAM>(delivery_->ResultRows().Count()), LVSICF_NOSCROLL);
    InvalidateRect(ListView2, nullptr, FALSE);
    // The row must be there before the run waits (a per-mail pause, a unit wait, a pause).
    UpdateWindow(ListView2);
}

void TForm1::ProcessEvents()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Kept for the program's message loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (PreTranslate(msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void TForm1::StartTimerWait(std::uint32_t intervalMs)
{
    SetTimer(hwnd_, kTimerWait, std::max<std::uint32_t>(intervalMs, USER_TIMER_MINIMUM), nullptr);
}

HWND TForm1::BoxOwner() const
{
    // Centred on the window; on the screen when the window is invisible (0 x 0) or gone.
    RECT r{};
    if (IsWindowVisible(hwnd_) && GetClientRect(hwnd_, &r) && r.right > 0)
        return hwnd_;
    return nullptr;
}

int TForm1::Box(std::string_view caption, std::string_view text, UINT type)
{
    const std::string c(caption), t(text);
    if (Unattended()) {
        // A box there would wait for ever: it goes to standard error (as the
        // CP932 bytes it holds) and takes its default button, the first.
        std::fprintf(stderr, "%s: %s\n", c.c_str(), t.c_str());
        std::fflush(stderr);
        return (type & MB_TYPEMASK) == MB_YESNO ? IDYES : IDOK;
    }
    return MessageBoxA(BoxOwner(), t.c_str(), c.c_str(), type);
}

bool TForm1::Unattended()
{
    USEROBJECTFLAGS flags{};
    DWORD needed = 0;
    if (!GetUserObjectInformationA(GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof flags, &needed))
        return false;
    return (flags.dwFlags & WSF_VISIBLE) == 0;
}

void TForm1::ShowWarning(std::string_view caption, std::string_view text)
{
    Box(caption, text, MB_OK | MB_ICONWARNING);
}

namespace {

std::string ApplicationTitle(HWND application)
{
    char title[256] = {};
    if (application)
        GetWindowTextA(application, title, sizeof title);
    return title;
}

} // namespace

void TForm1::ShowInformation(std::string_view text)
{
    Box(ApplicationTitle(application_), text, MB_OK | MB_ICONINFORMATION);
}

bool TForm1::AskYesNo(std::string_view text)
{
    return Box(ApplicationTitle(application_), text, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void TForm1::ShowErrorBox(std::string_view message)
{
    Box(ApplicationTitle(application_), message, MB_OK | MB_ICONERROR);
}

void TForm1::CloseWindow() { SendMessageA(hwnd_, WM_CLOSE, 0, 0); }

void TForm1::ReportUnattended(std::string_view text)
{
    // Nobody reads a window that is not there, nor one of 0 x 0 pixels (/i).
    if (!Unattended() && !delivery_->Options().InvisibleMode)
        return;
    WriteStandardError(text);
}

void TForm1::WriteStandardError(std::string_view text)
{
    std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
    std::fflush(stderr);
}
