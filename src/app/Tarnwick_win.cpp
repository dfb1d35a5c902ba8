// Program entry on Windows: the common controls, the application's owner
// window and its title, the main window, the message loop and the exit code.
#include "app/NameCheck.h"
#include "app/StartWords.h"
#include "platform/CodePage.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "ui_win32/ControlIds.h"
#include "ui_win32/TForm1.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// The application's owner window: it owns the main window and carries the
// application title, by which a later instance looks for this one.
HWND CreateApplicationWindow()
{
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kApplicationClass;
    RegisterClassExA(&wc);
    return CreateWindowExA(0, kApplicationClass, "Tarnwick(Sedge)", WS_POPUP | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                           0, 0, 0, 0, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

// The program's own arguments as CP932 texts, split as the C runtime splits them.
std::vector<std::string> Arguments()
{
    std::vector<std::string> args = platform::SplitCommandLine(GetCommandLineA());
    if (!args.empty())
        args.erase(args.begin());
    return args;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    // A name without a CP932 form reaches the "A" functions with "?" or a
    // look-alike in its place, and would name another file.
    if (!CheckNamesHaveCp932Form(__argc, __argv))
        return 1;
    const std::vector<std::string> args = Arguments();
    if (AsksForUsage(args)) {
        std::fputs(platform::ToConsoleText(UsageText()).c_str(), stderr);
        return 0;
    }
    // Without a job list and where nobody sees a window: the usage, never a wait.
    if (args.empty() && TForm1::Unattended()) {
        std::fputs(platform::ToConsoleText(UsageText()).c_str(), stderr);
        return 1;
    }
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);

    // Termination requests end the run in order (see TDelivery::TerminationRequested).
    TSystemTermination termination;
    TSystemClock clock;
    TSystemMailerProcess mailer;

    HWND application = CreateApplicationWindow();
    int code = 0;
    {
        TForm1 form(application, args, platform::ProgramFolder(), clock, mailer);
        if (!form.Started()) {
            // Another instance runs, or the guard cannot be used: nothing
            // shown, nothing read or written, one line on standard error.
            DestroyWindow(application);
            return EndBeforeWindow(form.GuardFailed());
        }
        form.Delivery().SetTermination(termination);
        form.Show();
        MSG msg{};
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
            if (form.PreTranslate(msg))
                continue;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        // The record's last chance: lines it could not write make the exit code 1.
        code = form.Delivery().FinishProcess(static_cast<int>(msg.wParam));
    }
    DestroyWindow(application);
    return code;
}
