// Stands in for another running instance: creates the named mutex given as its
// first argument and, when a second argument is given, a top-level window of
// the application window's class with that title. Prints one line, "created"
// or "exists" or "failed", followed by " window" or " nowindow" when a window
// was asked for, then waits (at most a minute) until it is ended.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    HANDLE mutex = ::CreateMutexA(nullptr, FALSE, argv[1]);
    const DWORD error = ::GetLastError();
    std::printf("%s", !mutex ? "failed" : error == ERROR_ALREADY_EXISTS ? "exists" : "created");
    if (argc >= 3) {
        WNDCLASSA windowClass {};
        windowClass.lpfnWndProc = ::DefWindowProcA;
        windowClass.hInstance = ::GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "TApplication";
        ::RegisterClassA(&windowClass);
        HWND window = ::CreateWindowExA(0, "TApplication", argv[2], WS_POPUP, 0, 0, 0, 0, nullptr,
                                        nullptr, windowClass.hInstance, nullptr);
        std::printf(window ? " window" : " nowindow");
    }
    std::printf("\n");
    std::fflush(stdout);
    ::Sleep(60000);
    return 0;
}
