// The Win32 main window in the test's own process: fonts, the tab order and
// the guard's one-instance rule within a process.
#include "ui_win32/ControlIds.h"
#include "ui_win32/TForm1.h"

#include "display/WindowWords.h"
#include "support/RunFakes.h"
#include "support/TempFolder.h"

#include <commctrl.h>

#include <gtest/gtest.h>

namespace {

LOGFONTA FontOf(HWND hwnd)
{
    LOGFONTA lf{};
    const auto font = reinterpret_cast<HFONT>(SendMessageA(hwnd, WM_GETFONT, 0, 0));
    GetObjectA(font, sizeof lf, &lf);
    return lf;
}

class Win32Form1Test : public ::testing::Test {
protected:
    // The controls' classes, as the program's entry registers them.
    Win32Form1Test()
    {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
        InitCommonControlsEx(&icc);
    }
    TTempFolder folder;
    TVirtualClock clock;
    TScriptedMailer mailer{clock};
};

TEST_F(Win32Form1Test, FontsOfTheWindowTheButtonsAndTheMarker)
{
    TForm1 form(nullptr, {}, folder.Cp932Path(), clock, mailer);
    ASSERT_TRUE(form.Started());
    const HWND panel1 = GetDlgItem(form.Handle(), idPanel1);
    const HWND panel2 = GetDlgItem(form.Handle(), idPanel2);
    const struct {
        const char* name;
        HWND hwnd;
        int height;
        bool bold;
    } cases[] = {
        {"ListView1", GetDlgItem(form.Handle(), idListView1), -12, false},
        {"ListView2", GetDlgItem(form.Handle(), idListView2), -12, false},
        {"Label1", GetDlgItem(panel2, idLabel1), -12, false},
        {"LabelState", GetDlgItem(panel1, idLabelState), -12, false},
        {"LabelSend", GetDlgItem(panel1, idLabelSend), -12, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const LOGFONTA lf = FontOf(c.hwnd);
        EXPECT_EQ(lf.lfHeight, c.height);
        EXPECT_EQ(lf.lfWeight >= FW_BOLD, c.bold);
        EXPECT_EQ(lf.lfCharSet, SHIFTJIS_CHARSET);
        EXPECT_EQ(std::string(lf.lfFaceName), std::string(jp::kFontFace));
    }
}

TEST_F(Win32Form1Test, TabOrderStartsAtTheEndButton)
{
    TForm1 form(nullptr, {}, folder.Cp932Path(), clock, mailer);
    ASSERT_TRUE(form.Started());
    form.Show();
    const HWND panel2 = GetDlgItem(form.Handle(), idPanel2);
    const HWND order[] = {GetDlgItem(panel2, idColorButton1), GetDlgItem(panel2, idColorButton2),
                          GetDlgItem(form.Handle(), idListView1), GetDlgItem(form.Handle(), idListView2),
                          GetDlgItem(panel2, idColorButton1)};
    EXPECT_EQ(GetFocus(), order[0]);
    for (std::size_t k = 1; k < std::size(order); ++k) {
        MSG msg{GetFocus(), WM_KEYDOWN, VK_TAB, 0, 0, {}};
        EXPECT_TRUE(form.PreTranslate(msg));
        EXPECT_EQ(GetFocus(), order[k]) << k;
    }
    // One guard per process.
    EXPECT_THROW(TSingleInstance second, EMultiSingleInstance);
}

// Every summary row inside the list's client area, with no scroll bar: at
// the system's dpi, and at 144 dpi in a copy of this program started with it.
TEST_F(Win32Form1Test, EverySummaryRowIsVisible)
{
    TForm1 form(nullptr, {}, folder.Cp932Path(), clock, mailer);
    ASSERT_TRUE(form.Started());
    form.Show();
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
    const HWND list = GetDlgItem(form.Handle(), idListView1);
    ASSERT_EQ(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0), 7);
    RECT client;
    GetClientRect(list, &client);
    const LONG style = GetWindowLongA(list, GWL_STYLE);
    EXPECT_FALSE(style & (WS_VSCROLL | WS_HSCROLL)) << "a scroll bar";
    for (int row = 0; row < 7; ++row) {
        RECT r{};
        r.left = LVIR_BOUNDS;
        ASSERT_TRUE(SendMessageA(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&r)));
        EXPECT_TRUE(r.top >= 0 && r.bottom <= client.bottom && r.left >= 0 && r.right <= client.right)
            << "row " << row << ": " << r.left << "," << r.top << "," << r.right << "," << r.bottom << " in "
            << client.right << "x" << client.bottom;
    }
}

// A status longer than the bar (the /v summary) ends in "..." there and is
// whole in the label's tooltip.
TEST_F(Win32Form1Test, ALongStatusIsWholeInItsTooltip)
{
    TForm1 form(nullptr, {}, folder.Cp932Path(), clock, mailer);
    ASSERT_TRUE(form.Started());
    const std::string status = "Check: " + std::string(70, 'x'); // wider than the bar, within what TTM_GETTEXTA copies
    form.SetLabelState(status);
    const HWND panel1 = GetDlgItem(form.Handle(), idPanel1), label = GetDlgItem(panel1, idLabelState);
    EXPECT_EQ(GetWindowLongA(label, GWL_STYLE) & SS_ELLIPSISMASK, SS_ENDELLIPSIS);
    struct Found { HWND owner, tip; } found{form.Handle(), nullptr};
    EnumThreadWindows(GetCurrentThreadId(), [](HWND h, LPARAM lp) {
        auto* f = reinterpret_cast<Found*>(lp);
        char cls[64] = "";
        GetClassNameA(h, cls, sizeof cls);
        if (std::string(cls) == TOOLTIPS_CLASSA && GetWindow(h, GW_OWNER) == f->owner)
            f->tip = h;
        return TRUE;
    }, reinterpret_cast<LPARAM>(&found));
    ASSERT_NE(found.tip, nullptr);
    char text[512] = "";
    TOOLINFOA tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = panel1;
    tool.uId = reinterpret_cast<UINT_PTR>(label);
    tool.lpszText = text;
    SendMessageA(found.tip, TTM_GETTEXTA, sizeof text, reinterpret_cast<LPARAM>(&tool));
    EXPECT_EQ(std::string(text), status);
}

} // namespace
