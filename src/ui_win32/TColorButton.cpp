#include "ui_win32/TColorButton.h"

#include "jtext/SjisBytes.h"

#include <windowsx.h>

#include <algorithm>

namespace {

constexpr const char* kClassName = "TColorButton";

COLORREF Ref(std::uint32_t v) { return static_cast<COLORREF>(v & 0xFFFFFF); }

void FillSolid(HDC dc, int left, int top, int right, int bottom, COLORREF colour)
{
    const RECT r{left, top, right, bottom};
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

} // namespace

TColorButton::TColorButton(HWND parent, int id, int left, int top)
    : color_(GetSysColor(COLOR_BTNFACE)), fontColor_(GetSysColor(COLOR_WINDOWTEXT))
{
    static const bool registered = [] {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = &TColorButton::WndProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        wc.lpszClassName = kClassName;
        return RegisterClassExA(&wc) != 0;
    }();
    (void)registered;
    hwnd_ = CreateWindowExA(0, kClassName, "", WS_CHILD | WS_VISIBLE | WS_TABSTOP, left, top, 75, 25, parent,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), this);
}

TColorButton::~TColorButton()
{
    if (IsWindow(hwnd_)) {
        SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
    if (picture_)
        DeleteObject(picture_);
}

TColorButton* TColorButton::FromHandle(HWND hwnd)
{
    char cls[32] = {};
    if (!hwnd || !GetClassNameA(hwnd, cls, sizeof cls) || lstrcmpA(cls, kClassName) != 0)
        return nullptr;
    return reinterpret_cast<TColorButton*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

void TColorButton::SetAlignment(TAlignment value) { alignment_ = value; Redraw(); }
void TColorButton::SetBevelStyle(TButtonBevel value) { bevelStyle_ = value; Redraw(); }
void TColorButton::SetColor(COLORREF value) { color_ = value; Redraw(); }
void TColorButton::SetFontColor(COLORREF value) { fontColor_ = value; Redraw(); }

void TColorButton::SetBevelSize(int value)
{
    bevelSize_ = std::max(value, 1);
    ApplyAutoSize();
    Redraw();
}

void TColorButton::SetPicture(HBITMAP value)
{
    if (value != picture_) {
        if (picture_)
            DeleteObject(picture_);
        picture_ = value ? static_cast<HBITMAP>(CopyImage(value, IMAGE_BITMAP, 0, 0, 0)) : nullptr;
    }
    ApplyAutoSize();
    Redraw();
}

void TColorButton::SetSpacing(int value)
{
    value = std::max(value, 0);
    if (value == spacing_)
        return;
    spacing_ = value;
    Redraw();
}

void TColorButton::SetStyle(int value)
{
    if (value == style_)
        return;
    style_ = value;
    ApplyAutoSize();
    Redraw();
}

void TColorButton::SetCaption(std::string value)
{
    caption_ = std::move(value);
    SetWindowTextA(hwnd_, caption_.c_str()); // also repaints (WM_SETTEXT)
    Redraw();
}

void TColorButton::SetFont(HFONT font)
{
    font_ = font;
    Redraw();
}

void TColorButton::SetEnabled(bool enabled) { EnableWindow(hwnd_, enabled ? TRUE : FALSE); }

char TColorButton::AcceleratorChar() const
{
    const std::size_t amp = caption_.find('&');
    if (amp == std::string::npos || amp + 1 >= caption_.size())
        return 0;
    return caption_[amp + 1];
}

bool TColorButton::DialogChar(char ch)
{
    const char accel = AcceleratorChar();
    if (accel == 0 || !IsWindowEnabled(hwnd_))
        return false;
    const auto fold = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; };
    if (fold(accel) != fold(ch))
        return false;
    Click();
    return true;
}

void TColorButton::Click()
{
    if (OnClick)
        OnClick();
}

void TColorButton::Redraw()
{
    // Changes show at once: the run loop may not let paint messages through for a while.
    if (IsWindowVisible(hwnd_)) {
        InvalidateRect(hwnd_, nullptr, FALSE);
        UpdateWindow(hwnd_);
    }
}

void TColorButton::SetPressState(TPressState value)
{
    state_ = value;
    Redraw();
}

void TColorButton::ApplyAutoSize()
{
    BITMAP bm{};
    if ((style_ & bsAutoSize) && picture_ && GetObjectA(picture_, sizeof bm, &bm))
        SetWindowPos(hwnd_, nullptr, 0, 0, bm.bmWidth + 2 * bevelSize_, bm.bmHeight + 2 * bevelSize_,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK TColorButton::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
        auto* created = static_cast<TColorButton*>(cs->lpCreateParams);
        created->hwnd_ = hwnd;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
    }
    auto* self = reinterpret_cast<TColorButton*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!self)
        return DefWindowProcA(hwnd, msg, wp, lp);
    return self->Handle(msg, wp, lp);
}

LRESULT TColorButton::Handle(UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd_, &ps);
        RECT rc;
        GetClientRect(hwnd_, &rc);
        // Drawn off screen, then copied: the face never flickers.
        HDC mem = CreateCompatibleDC(dc);
        HBITMAP bmp = CreateCompatibleBitmap(dc, std::max<LONG>(rc.right, 1), std::max<LONG>(rc.bottom, 1));
        HGDIOBJ old = SelectObject(mem, bmp);
        Paint(mem, rc.right, rc.bottom);
        BitBlt(dc, 0, 0, rc.right, rc.bottom, mem, 0, 0, SRCCOPY);
        SelectObject(mem, old);
        DeleteObject(bmp);
        DeleteDC(mem);
        EndPaint(hwnd_, &ps);
        return 0;
    }
    case WM_PRINTCLIENT: {
        RECT rc;
        GetClientRect(hwnd_, &rc);
        Paint(reinterpret_cast<HDC>(wp), rc.right, rc.bottom);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1; // the face is filled completely on every paint
    case WM_SETFOCUS:
        focused_ = true;
        Redraw();
        return 0;
    case WM_KILLFOCUS:
        focused_ = false;
        Redraw();
        return 0;
    case WM_ENABLE:
        SetPressState(wp ? psUp : psDisabled);
        return 0;
    case WM_SETTEXT: {
        const LRESULT r = DefWindowProcA(hwnd_, msg, wp, lp);
        Redraw();
        return r;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        // A press does not take the focus from the control that holds it.
        if (!IsWindowEnabled(hwnd_))
            return 0;
        if (msg == WM_LBUTTONDOWN)
            leftPressed_ = true;
        SetCapture(hwnd_); // the release comes here wherever the pointer is
        SetPressState(psDown);
        return 0;
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDBLCLK:
        if (!IsWindowEnabled(hwnd_))
            return 0;
        // The second press of a double click is no click of its own.
        if (msg == WM_LBUTTONDBLCLK) {
            leftPressed_ = false;
            if (OnDblClick)
                OnDblClick();
        }
        SetCapture(hwnd_);
        SetPressState(psDown);
        return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
        if (GetCapture() == hwnd_)
            ReleaseCapture();
        RECT rc;
        GetClientRect(hwnd_, &rc);
        const POINT pt{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
        const bool click = msg == WM_LBUTTONUP && leftPressed_ && PtInRect(&rc, pt);
        if (msg == WM_LBUTTONUP)
            leftPressed_ = false;
        // The click comes first, while the button is still drawn down.
        const HWND self = hwnd_;
        if (click && IsWindowEnabled(hwnd_))
            Click();
        if (IsWindow(self) && IsWindowEnabled(self))
            SetPressState(psUp);
        return 0;
    }
    case WM_GETDLGCODE:
        return DLGC_WANTCHARS | DLGC_BUTTON;
    case WM_KEYDOWN:
        if (wp == VK_SPACE) {
            if (IsWindowEnabled(hwnd_) && !(lp & (1 << 30)))
                SetPressState(psDown);
            return 0;
        }
        if (wp == VK_RETURN)
            return 0; // Enter clicks on release and has no pressed look
        break;
    case WM_KEYUP:
        if (wp == VK_SPACE) {
            if (!IsWindowEnabled(hwnd_))
                return 0;
            state_ = psUp;
            const HWND self = hwnd_;
            Click();
            if (IsWindow(self))
                Redraw();
            return 0;
        }
        if (wp == VK_RETURN) {
            if (state_ != psDisabled)
                Click();
            return 0;
        }
        break;
    default:
        break;
    }
    return DefWindowProcA(hwnd_, msg, wp, lp);
}

void TColorButton::Paint(HDC dc, int w, int h)
{
    if (!IsWindowEnabled(hwnd_))
        state_ = psDisabled;
    else if (state_ == psDisabled)
        state_ = psUp;

    int l = 0, t = 0, r = w, b = h;
    FillSolid(dc, 0, 0, w, h, color_);
    const COLORREF light = Ref(buttonface::LightShade(color_));
    const COLORREF dark = Ref(buttonface::DarkShade(color_));
    if (bevelStyle_ != bbNone) {
        COLORREF topLeft = light, bottomRight = dark;
        if (buttonface::BevelSunken(state_, bevelStyle_))
            std::swap(topLeft, bottomRight);
        for (int i = 0; i < bevelSize_; ++i) {
            if (r > l && b > t) {
                // Left edge up, then the top edge short of the top-right corner.
                FillSolid(dc, l, t, l + 1, b, topLeft);
                FillSolid(dc, l, t, r - 1, t + 1, topLeft);
                // Right edge down, then the bottom edge including the bottom-left corner.
                FillSolid(dc, r - 1, t, r, b, bottomRight);
                FillSolid(dc, l, b - 1, r, b, bottomRight);
            }
            ++l, ++t, --r, --b;
        }
    }

    if (focused_ && (style_ & bsShowFocus) && IsWindowEnabled(hwnd_)) {
        const TEdges f = buttonface::FocusRect({l, t, r, b}, spacing_);
        const RECT fr{f.Left, f.Top, f.Right, f.Bottom};
        if (fr.right > fr.left && fr.bottom > fr.top)
            DrawFocusRect(dc, &fr);
    }

    BITMAP bm{};
    if (picture_ && GetObjectA(picture_, sizeof bm, &bm)) {
        const TEdges e = buttonface::PictureTarget(style_, alignment_, w, h, bevelSize_, spacing_, bm.bmWidth, bm.bmHeight);
        HDC src = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(src, picture_);
        SetStretchBltMode(dc, COLORONCOLOR);
        StretchBlt(dc, e.Left, e.Top, e.Right - e.Left, e.Bottom - e.Top, src, 0, 0, bm.bmWidth, bm.bmHeight, SRCCOPY);
        SelectObject(src, old);
        DeleteDC(src);
    }

    if (!caption_.empty()) {
        if (state_ == psDisabled) {
            DrawCaption(dc, w, h, 1, light);
            DrawCaption(dc, w, h, 0, dark);
        } else {
            DrawCaption(dc, w, h, 0, fontColor_);
        }
    }
}

void TColorButton::DrawCaption(HDC dc, int w, int h, int offset, COLORREF colour)
{
    const buttonface::TAccelerated a = buttonface::StripAccelerator(caption_);
    HGDIOBJ oldFont = font_ ? SelectObject(dc, font_) : nullptr;
    SIZE ts{};
    GetTextExtentPoint32A(dc, a.Text.c_str(), static_cast<int>(a.Text.size()), &ts);
    const buttonface::TPoint at = buttonface::CaptionOrigin(alignment_, w, h, bevelSize_, spacing_, ts.cx, ts.cy, offset);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, colour);
    TextOutA(dc, at.X, at.Y, a.Text.c_str(), static_cast<int>(a.Text.size()));

    if (a.KeyPos > 0 && a.KeyPos <= a.Text.size() && (style_ & bsShowKey)) {
        // Widths of the text's first p - 1 and first p characters, measured on its bytes.
        const std::size_t before = a.KeyPos - 1;
        const std::size_t upTo = before + SjisCharLen(a.Text, before);
        SIZE s0{}, s1{}, abc{};
        GetTextExtentPoint32A(dc, a.Text.c_str(), static_cast<int>(before), &s0);
        GetTextExtentPoint32A(dc, a.Text.c_str(), static_cast<int>(std::min(upTo, a.Text.size())), &s1);
        GetTextExtentPoint32A(dc, "ABC", 3, &abc);
        HPEN pen = CreatePen(PS_SOLID, 1, colour);
        HGDIOBJ oldPen = SelectObject(dc, pen);
        MoveToEx(dc, at.X + s0.cx, at.Y + abc.cy, nullptr);
        LineTo(dc, at.X + s1.cx, at.Y + abc.cy); // the end point is not drawn
        SelectObject(dc, oldPen);
        DeleteObject(pen);
    }
    if (oldFont)
        SelectObject(dc, oldFont);
}
