// The window of Tarnwick.exe read back through the Win32 API and the screen,
// against the layout table: sizes and places, captions, styles, the design's
// colours, the bevels of the colour buttons and the red result row.
#include "WinProgram.h"

#include "ui_win32/ControlIds.h"

#include <commctrl.h>

#include <gtest/gtest.h>

namespace {

class WinLayoutTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Colours read with red in the lowest byte: "C0FFE0" is red E0, green FF, blue C0.
        program.WriteLines("DesignConfig.ini", {"[App]", "Title=配信テスト", "[BG]", "Color=C0FFE0", "[Button1]",
                                                 "BGColor=FFC080", "TXColor=0000FF", "[Button2]", "BGColor=80C0FF",
                                                 "TXColor=800000"});
        program.WriteLines("$mail_result.csv", {"2024/3/5,9:5:7,9:5:8,0,送信完了,h,TO:a@x,f,S1,,1,A01,/m/1.txt",
                                                "2024/3/5,9:5:7,9:5:8,3,送信異常,h,TO:b@x,f,S2,,2,A02,/m/2.txt"});
        program.Start({});
        form = program.FindWindowOf("TForm1");
        ASSERT_NE(form, nullptr);
        // The activation fills the result list with the two lines.
        ASSERT_TRUE(WaitFor([this] { return ListView_GetItemCount(Control(idListView2)) == 2; }, 10000));
    }
    void TearDown() override
    {
        if (form)
            PostMessageA(form, WM_CLOSE, 0, 0);
        program.Wait(20000);
    }
    HWND Control(int id) const
    {
        for (int parent : {0, static_cast<int>(idPanel1), static_cast<int>(idPanel2)}) {
            const HWND p = parent ? GetDlgItem(form, parent) : form;
            if (HWND c = GetDlgItem(p, id))
                return c;
        }
        return nullptr;
    }

    TWinProgram program;
    HWND form = nullptr;
};

TEST_F(WinLayoutTest, FrameOwnerAndControls)
{
    RECT outer;
    GetWindowRect(form, &outer);
    EXPECT_EQ(outer.right - outer.left, 424);
    EXPECT_EQ(outer.bottom - outer.top, 476);
    EXPECT_EQ(Utf8(WindowText(form)), "配信テスト");
    const LONG style = GetWindowLongA(form, GWL_STYLE);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);

    // The application's owner window: the application title, and WS_EX_TOOLWINDOW alone.
    const HWND app = GetWindow(form, GW_OWNER);
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(ClassOf(app), "TApplication");
    EXPECT_EQ(WindowText(app), "Tarnwick(Sedge)");
    EXPECT_EQ(GetWindowLongA(app, GWL_EXSTYLE), WS_EX_TOOLWINDOW);

    RECT client;
    GetClientRect(form, &client);
    const int w = client.right, h = client.bottom;
    // Aligned to the top and bottom; the result list takes what is left.
    const struct {
        int id;
        RECT r;
    } places[] = {
        {idListView1, {0, 0, w, 113}},
        {idListView2, {0, 113, w, h - 112}},
        {idPanel2, {0, h - 112, w, h - 42}},
        {idProgressBar1, {0, h - 42, w, h - 25}},
        {idPanel1, {0, h - 25, w, h}},
        {idColorButton2, {192, 8, 297, 57}},
        {idColorButton1, {304, 8, 409, 57}},
    };
    for (const auto& p : places) {
        const HWND c = Control(p.id);
        ASSERT_NE(c, nullptr) << p.id;
        const RECT r = ChildRect(c);
        EXPECT_TRUE(EqualRect(&r, &p.r)) << p.id << ": " << r.left << "," << r.top << "," << r.right << "," << r.bottom;
    }
    const struct {
        int id;
        POINT at;
        const char* text;
    } labels[] = {{idLabel1, {8, 7}, "残り時間（推定）"}, {idLabelRestTime, {8, 31}, ""},
                  {idLabelState, {8, 5}, ""},          {idLabelSend, {368, 6}, "送信中"}};
    for (const auto& l : labels) {
        const HWND c = Control(l.id);
        ASSERT_NE(c, nullptr) << l.id;
        const RECT r = ChildRect(c);
        EXPECT_EQ(r.left, l.at.x) << l.id;
        EXPECT_EQ(r.top, l.at.y) << l.id;
        EXPECT_EQ(Utf8(WindowText(c)), l.text);
    }
    EXPECT_FALSE(IsWindowVisible(Control(idLabelSend)));
    EXPECT_EQ(Utf8(WindowText(Control(idColorButton1))), "終了");
    EXPECT_EQ(Utf8(WindowText(Control(idColorButton2))), "一時停止");
    EXPECT_EQ(ClassOf(Control(idListView1)), "SysListView32");
    EXPECT_EQ(GetWindowLongA(Control(idListView2), GWL_STYLE) & LVS_TYPEMASK, LVS_REPORT);
    EXPECT_EQ(ClassOf(Control(idProgressBar1)), "msctls_progress32");
    // The end button holds the focus.
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    ASSERT_TRUE(GetGUIThreadInfo(GetWindowThreadProcessId(form, nullptr), &gui));
    EXPECT_EQ(gui.hwndFocus, Control(idColorButton1));
}

TEST_F(WinLayoutTest, DesignColoursBevelsAndTheRedRow)
{
    const TScreenShot shot;
    const HWND panel2 = Control(idPanel2);
    const HWND panel1 = Control(idPanel1);
    // Backgrounds: the window's panels in the design colour, inside their bevels.
    EXPECT_EQ(shot.Pixel(OnScreen(panel2, 100, 60)), Rgb(0xE0, 0xFF, 0xC0));
    EXPECT_EQ(shot.Pixel(OnScreen(panel1, 300, 12)), Rgb(0xE0, 0xFF, 0xC0));
    // Panel2: a raised outer bevel (highlight top-left), then a lowered inner
    // one (shadow top-left); Panel1: a lowered outer bevel alone.
    const auto sys = [](int index) {
        const COLORREF c = GetSysColor(index);
        return Rgb(GetRValue(c), GetGValue(c), GetBValue(c));
    };
    EXPECT_EQ(shot.Pixel(OnScreen(panel2, 0, 30)), sys(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(shot.Pixel(OnScreen(panel2, 1, 30)), sys(COLOR_BTNSHADOW));
    EXPECT_EQ(shot.Pixel(OnScreen(panel1, 0, 12)), sys(COLOR_BTNSHADOW));
    EXPECT_EQ(shot.Pixel(OnScreen(panel1, 1, 12)), Rgb(0xE0, 0xFF, 0xC0));

    // The end button: face 0x80C0FF (red FF, green C0, blue 80), light and dark shades.
    const HWND end = Control(idColorButton1);
    const HWND pause = Control(idColorButton2);
    EXPECT_EQ(shot.Pixel(OnScreen(end, 0, 10)), Rgb(0xC0, 0xFF, 0xFF));   // light: top-left edges
    EXPECT_EQ(shot.Pixel(OnScreen(end, 104, 10)), Rgb(0x40, 0x80, 0xBF)); // dark: bottom-right edges
    EXPECT_EQ(shot.Pixel(OnScreen(end, 104, 0)), Rgb(0x40, 0x80, 0xBF));  // the top-right corner is dark
    EXPECT_EQ(shot.Pixel(OnScreen(end, 6, 24)), Rgb(0x80, 0xC0, 0xFF));   // face
    EXPECT_EQ(shot.Pixel(OnScreen(pause, 6, 24)), Rgb(0xFF, 0xC0, 0x80));
    // The captions in their text colours: red on the end button, dark blue on the pause button.
    auto count = [&](HWND button, std::uint32_t colour) {
        int n = 0;
        for (int y = 4; y < 45; ++y) {
            for (int x = 4; x < 101; ++x)
                n += shot.Pixel(OnScreen(button, x, y)) == colour;
        }
        return n;
    };
    EXPECT_GT(count(end, Rgb(255, 0, 0)), 30);
    EXPECT_GT(count(pause, Rgb(0, 0, 0x80)), 30);
    // The end button holds the focus and shows the dotted rectangle from (3, 3) to (102, 46).
    int dots = 0;
    for (int x = 3; x < 102; ++x)
        dots += shot.Pixel(OnScreen(end, x, 3)) != Rgb(0x80, 0xC0, 0xFF);
    EXPECT_GT(dots, 30);

    // The result list: the top row (status 3) red, the second (status 0) not.
    const HWND list = Control(idListView2);
    RECT lr;
    GetClientRect(list, &lr);
    int firstRed = -1, lastRed = -1;
    for (int y = 0; y < lr.bottom; ++y) {
        for (int x = 0; x < lr.right; ++x) {
            if (shot.Pixel(OnScreen(list, x, y)) == Rgb(255, 0, 0)) {
                if (firstRed < 0)
                    firstRed = y;
                lastRed = y;
            }
        }
    }
    ASSERT_GE(firstRed, 0) << "no red row";
    EXPECT_LT(lastRed - firstRed, 20) << "one row only is red";
}

} // namespace
