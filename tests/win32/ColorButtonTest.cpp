// The Win32 colour button in this process: how it paints (read back through
// WM_PRINTCLIENT) and how it answers the mouse, the keyboard and its accelerator.
#include "ui_win32/TColorButton.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <vector>

namespace {

constexpr COLORREF kFace = RGB(212, 208, 200);
constexpr COLORREF kLight = RGB(255, 255, 255);
constexpr COLORREF kDark = RGB(148, 144, 136);

class Win32ColorButtonTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "ColorButtonTestParent";
        RegisterClassA(&wc);
        parent = CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100, nullptr, nullptr,
                                 wc.hInstance, nullptr);
        font = CreateFontA(-19, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, NONANTIALIASED_QUALITY, 0, "Tahoma");
        button = std::make_unique<TColorButton>(parent, 1, 0, 0);
        SetWindowPos(button->Handle(), nullptr, 0, 0, 105, 49, SWP_NOZORDER | SWP_NOMOVE);
        button->SetFont(font);
        button->SetColor(kFace);
        button->SetFontColor(RGB(0, 0, 0));
        button->OnClick = [this] { ++clicks; };
        button->OnDblClick = [this] { ++doubleClicks; };
    }
    void TearDown() override
    {
        button.reset();
        DestroyWindow(parent);
        DeleteObject(font);
    }

    // The button as it paints, pixel by pixel (COLORREF values).
    std::vector<COLORREF> Render() const
    {
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = 105;
        bi.bmiHeader.biHeight = -49;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        HDC dc = CreateCompatibleDC(nullptr);
        HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = SelectObject(dc, bmp);
        SendMessageA(button->Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
        GdiFlush();
        std::vector<COLORREF> px(105 * 49);
        const auto* p = static_cast<const std::uint32_t*>(bits);
        for (int i = 0; i < 105 * 49; ++i)
            px[static_cast<std::size_t>(i)] = RGB((p[i] >> 16) & 0xFF, (p[i] >> 8) & 0xFF, p[i] & 0xFF);
        SelectObject(dc, old);
        DeleteObject(bmp);
        DeleteDC(dc);
        return px;
    }
    static COLORREF At(const std::vector<COLORREF>& px, int x, int y) { return px[static_cast<std::size_t>(y * 105 + x)]; }
    void Send(UINT msg, WPARAM wp = 0, int x = 10, int y = 10) const
    {
        SendMessageA(button->Handle(), msg, wp, MAKELPARAM(x, y));
    }

    HWND parent = nullptr;
    HFONT font = nullptr;
    std::unique_ptr<TColorButton> button;
    int clicks = 0;
    int doubleClicks = 0;
};

TEST_F(Win32ColorButtonTest, BevelsForEveryStateAndStyle)
{
    const struct {
        const char* name;
        TButtonBevel bevel;
        int size;
        bool down;
        COLORREF left, right, inner; // pixels (0, 20), (104, 20) and (1, 20)
    } cases[] = {
        {"raised up", bbRaised, 2, false, kLight, kDark, kLight},
        {"raised down", bbRaised, 2, true, kDark, kLight, kDark},
        {"lowered up", bbLowered, 2, false, kDark, kLight, kDark},
        {"lowered down", bbLowered, 2, true, kLight, kDark, kLight},
        {"no bevel", bbNone, 2, false, kFace, kFace, kFace},
        {"size 0 becomes 1", bbRaised, 0, false, kLight, kDark, kFace},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        button->SetBevelStyle(c.bevel);
        button->SetBevelSize(c.size);
        if (c.down)
            Send(WM_RBUTTONDOWN);
        const auto px = Render();
        EXPECT_EQ(At(px, 0, 20), c.left);
        EXPECT_EQ(At(px, 104, 20), c.right);
        EXPECT_EQ(At(px, 1, 20), c.inner);
        EXPECT_EQ(At(px, 10, 20), kFace);
        if (c.bevel != bbNone) {
            // The top-right and bottom-left corners take the bottom-right colour.
            EXPECT_EQ(At(px, 104, 0), c.right);
            EXPECT_EQ(At(px, 0, 48), c.right);
            EXPECT_EQ(At(px, 0, 0), c.left);
        }
        if (c.down)
            Send(WM_RBUTTONUP);
        EXPECT_EQ(button->PressState(), psUp);
    }
    EXPECT_EQ(clicks, 0); // the right button never clicks
    EXPECT_EQ(button->BevelSize(), 1);
}

TEST_F(Win32ColorButtonTest, FocusRectangleCaptionUnderlineAndEngraving)
{
    button->SetCaption("Stop");
    const auto plain = Render();
    // Focused: the dotted rectangle from (3, 3) to (102, 46), nothing outside it.
    SetFocus(button->Handle());
    ASSERT_TRUE(button->Focused());
    const auto focused = Render();
    int dotted = 0;
    for (int x = 3; x < 102; ++x)
        dotted += At(focused, x, 3) != At(plain, x, 3);
    EXPECT_GT(dotted, 30);
    for (int x = 0; x < 105; ++x)
        EXPECT_EQ(At(focused, x, 2), At(plain, x, 2)) << x;
    SetFocus(parent);
    EXPECT_FALSE(button->Focused());

    // "&Stop" draws "Stop" with one underline row under the S.
    button->SetCaption("&Stop");
    const auto underlined = Render();
    std::set<int> rows;
    int minX = 105, maxX = -1;
    for (int y = 0; y < 49; ++y) {
        for (int x = 0; x < 105; ++x) {
            if (At(underlined, x, y) != At(plain, x, y)) {
                rows.insert(y);
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
            }
        }
    }
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_LT(maxX - minX, 15); // one character wide
    EXPECT_EQ(At(underlined, minX, *rows.begin()), RGB(0, 0, 0));

    // The caption colour, and the engraved caption of a disabled button.
    button->SetCaption("Stop");
    button->SetFontColor(RGB(255, 0, 0));
    auto count = [](const std::vector<COLORREF>& px, COLORREF c) {
        int n = 0;
        for (int y = 4; y < 45; ++y) {
            for (int x = 4; x < 101; ++x)
                n += At(px, x, y) == c;
        }
        return n;
    };
    EXPECT_GT(count(Render(), RGB(255, 0, 0)), 20);
    button->SetEnabled(false);
    EXPECT_EQ(button->PressState(), psDisabled);
    const auto disabled = Render();
    EXPECT_EQ(count(disabled, RGB(255, 0, 0)), 0);
    EXPECT_GT(count(disabled, kLight), 20);
    EXPECT_GT(count(disabled, kDark), 20);
    EXPECT_EQ(At(disabled, 0, 20), kLight); // the up look
    button->SetEnabled(true);
    EXPECT_EQ(button->PressState(), psUp);
}

TEST_F(Win32ColorButtonTest, PictureCentredStretchedOrSizingTheButton)
{
    // A 20 x 10 picture in blue.
    std::vector<std::uint32_t> blue(20 * 10, 0x0000FF);
    HBITMAP picture = CreateBitmap(20, 10, 1, 32, blue.data());
    button->SetPicture(picture);
    DeleteObject(picture); // the button keeps a copy
    auto isBlue = [](COLORREF c) { return c == RGB(0, 0, 255); };
    auto px = Render();
    // Centred: left (105 - 20) / 2 = 42, top (49 - 10) / 2 = 19.
    EXPECT_TRUE(isBlue(At(px, 42, 19)));
    EXPECT_TRUE(isBlue(At(px, 61, 28)));
    EXPECT_FALSE(isBlue(At(px, 41, 19)));
    EXPECT_FALSE(isBlue(At(px, 62, 28)));
    // Stretched over the area inside bevel and spacing: (4, 4) to (101, 45).
    button->SetStyle(bsStretch);
    px = Render();
    EXPECT_TRUE(isBlue(At(px, 4, 4)));
    EXPECT_TRUE(isBlue(At(px, 100, 44)));
    EXPECT_FALSE(isBlue(At(px, 3, 4)));
    // Sized to the picture and the bevel.
    button->SetStyle(bsAutoSize | bsCenter);
    RECT r;
    GetClientRect(button->Handle(), &r);
    EXPECT_EQ(r.right, 24);
    EXPECT_EQ(r.bottom, 14);
}

TEST_F(Win32ColorButtonTest, MouseKeyboardAndAccelerator)
{
    const HWND focus = SetFocus(parent), before = GetFocus();
    (void)focus;
    // A left press draws it down without taking the focus; the release over it clicks.
    Send(WM_LBUTTONDOWN);
    EXPECT_EQ(button->PressState(), psDown);
    EXPECT_EQ(GetFocus(), before);
    EXPECT_EQ(clicks, 0);
    Send(WM_LBUTTONUP);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(button->PressState(), psUp);
    // Released outside: up again, no click.
    Send(WM_LBUTTONDOWN);
    Send(WM_LBUTTONUP, 0, 300, 300);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(button->PressState(), psUp);
    // A double click's second press is no click.
    Send(WM_LBUTTONDOWN);
    Send(WM_LBUTTONUP);
    Send(WM_LBUTTONDBLCLK);
    Send(WM_LBUTTONUP);
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(doubleClicks, 1);

    // Space: down while held, a click on release. Enter: a click on release, no pressed look.
    Send(WM_KEYDOWN, VK_SPACE);
    EXPECT_EQ(button->PressState(), psDown);
    Send(WM_KEYUP, VK_SPACE);
    EXPECT_EQ(clicks, 3);
    EXPECT_EQ(button->PressState(), psUp);
    Send(WM_KEYDOWN, VK_RETURN);
    EXPECT_EQ(button->PressState(), psUp);
    Send(WM_KEYUP, VK_RETURN);
    EXPECT_EQ(clicks, 4);

    // The accelerator, without regard to case; none without "&".
    button->SetCaption("&Stop");
    EXPECT_TRUE(button->DialogChar('s'));
    EXPECT_FALSE(button->DialogChar('t'));
    EXPECT_EQ(clicks, 5);
    button->SetCaption("Stop");
    EXPECT_FALSE(button->DialogChar('s'));

    // A disabled button ignores the mouse, Space and its accelerator.
    button->SetCaption("&Stop");
    button->SetEnabled(false);
    Send(WM_LBUTTONDOWN);
    Send(WM_LBUTTONUP);
    Send(WM_KEYDOWN, VK_SPACE);
    Send(WM_KEYUP, VK_SPACE);
    EXPECT_FALSE(button->DialogChar('S'));
    EXPECT_EQ(clicks, 5);
    EXPECT_EQ(button->PressState(), psDisabled);
}

} // namespace
