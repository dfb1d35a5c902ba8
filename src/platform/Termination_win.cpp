#include "platform/Termination.h"

#include <windows.h>

#include <atomic>
#include <csignal>

namespace platform {
namespace {

// The console's control events are the requests to end; the handler runs on a
// thread of its own, so it only touches lock-free atomics. Each is noted under
// the number of the signal the C runtime names for it.
std::atomic<int> received{0};
std::atomic<int> lastSignal{0};
int taken = 0;

BOOL WINAPI NoteTermination(DWORD event)
{
    int signal = SIGTERM; // closing the console, logging off, shutting down
    if (event == CTRL_C_EVENT)
        signal = SIGINT;
    else if (event == CTRL_BREAK_EVENT)
        signal = SIGBREAK;
    lastSignal.store(signal);
    received.fetch_add(1);
    return TRUE;
}

} // namespace

void WatchTerminationSignals() { ::SetConsoleCtrlHandler(NoteTermination, TRUE); }

int TakeTerminationSignal()
{
    if (received.load() == taken)
        return 0;
    ++taken;
    return lastSignal.load();
}

} // namespace platform
