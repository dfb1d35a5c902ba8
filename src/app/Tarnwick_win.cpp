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
#include <shellapi.h>

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

// True when the command line asks for invisible mode, read in Unicode: the
// "A" arguments are not to be trusted under another code page.
bool InvisibleAsked()
{
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    bool invisible = false;
    for (int i = 1; args && i < count; ++i)
        invisible = invisible || std::wstring(args[i]) == L"/i";
    LocalFree(args);
    return invisible;
}

// Texts are Shift_JIS throughout, through the "A" functions: under another
// ANSI code page every name and text would be misread, and the mailer would
// read the mails' bytes as another code page. Said on standard error in
// ASCII, and in a box in Unicode (which any system shows) where someone can
// see one; the program then ends with 1 before reading anything.
bool RunsUnderCodePage932()
{
    const UINT codePage = GetACP();
    if (codePage == 932)
        return true;
    std::fprintf(stderr,
                 "Tarnwick: the system's ANSI code page is %u, not 932 (Japanese); Tarnwick needs Japanese as the "
                 "language for non-Unicode programs\n",
                 codePage);
    std::fflush(stderr);
    if (!TForm1::Unattended() && !InvisibleAsked())
        MessageBoxW(nullptr,
                    L"このシステムの ANSI コードページは 932（日本語）ではありません。"
                    L"Unicode 対応ではないプログラムの言語を日本語にしてから起動してください。\n\n"
                    L"The system's ANSI code page is not 932 (Japanese): set the language for non-Unicode "
                    L"programs to Japanese.",
                    L"Tarnwick", MB_OK | MB_ICONERROR);
    return false;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    if (!RunsUnderCodePage932())
        return 1;
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
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
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
