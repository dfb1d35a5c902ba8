// The single-instance guard of Tarnwick.exe: a later start ends with 0 and
// touches nothing; the first instance comes forward when its application
// title is the executable's name.
#include "WinProgram.h"

#include <gtest/gtest.h>

namespace {

// A window of this test process that holds the foreground.
class TForegroundWindow {
public:
    TForegroundWindow()
    {
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "GuardTestWindow";
        RegisterClassA(&wc);
        hwnd_ = CreateWindowExA(0, "GuardTestWindow", "guard test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 500, 300, 200, 100,
                                nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        SetForegroundWindow(hwnd_);
        WaitFor([this] { return GetForegroundWindow() == hwnd_; }, 5000);
    }
    ~TForegroundWindow() { DestroyWindow(hwnd_); }
    HWND Handle() const { return hwnd_; }

private:
    HWND hwnd_;
};

void ExpectSecondStartEndsAtOnce(const std::string& exeName, bool comesForward)
{
    TWinProgram first(exeName);
    first.WriteLines("$mail_result.csv", {});
    first.Start({});
    const HWND form = first.FindWindowOf("TForm1");
    ASSERT_NE(form, nullptr);
    const TForegroundWindow mine;
    ASSERT_EQ(GetForegroundWindow(), mine.Handle());

    // The later instance: its own folder with a job list, which it never reads.
    TWinProgram second(exeName);
    second.WriteJobs(1);
    const TFinished f = second.Run({"/P", "jobs.txt"}, 20000);
    ASSERT_FALSE(f.timedOut);
    EXPECT_EQ(f.exitCode, 0u);
    EXPECT_TRUE(f.boxes.empty());
    EXPECT_FALSE(second.Exists("$mail_result.csv"));
    EXPECT_FALSE(second.Exists("temp\\body.txt"));
    EXPECT_FALSE(second.Exists("mailer.rec"));
    EXPECT_EQ(second.ReadBytes(exeName.substr(0, exeName.rfind('.')) + ".ini").find("[Pos]"), std::string::npos);

    if (comesForward)
        EXPECT_TRUE(WaitFor([&] { return GetForegroundWindow() == form; }, 5000));
    else
        EXPECT_EQ(GetForegroundWindow(), mine.Handle());
    EXPECT_TRUE(IsWindow(form)); // the first instance runs on

    PostMessageA(form, WM_CLOSE, 0, 0);
    EXPECT_EQ(first.Wait(20000).exitCode, 0u);

    // Once the first has ended, a new start runs normally.
    TWinProgram third(exeName);
    third.WriteJobs(1);
    const TFinished t = third.Run({"/P", "jobs.txt", "/i"});
    EXPECT_EQ(t.exitCode, 0u);
    EXPECT_TRUE(third.Exists("$mail_result.csv"));
}

TEST(WinGuard, LaterInstanceEndsWithZeroAndLeavesTheFirstAlone)
{
    // The application title "Tarnwick(Sedge)" is not the name "Tarnwick": nothing comes forward.
    ExpectSecondStartEndsAtOnce("Tarnwick.exe", false);
}

TEST(WinGuard, FirstInstanceComesForwardWhenItsTitleIsTheExecutableName)
{
    ExpectSecondStartEndsAtOnce("tarnwick(sedge).exe", true);
}

} // namespace
