#include "platform/Termination.h"

#include <windows.h>

#include <csignal>

namespace platform {
namespace {

// The console's control events are the requests to end; the handler runs on a
// thread of its own. Each is noted under the number of the signal the C
// runtime names for it.
BOOL WINAPI NoteTermination(DWORD event)
{
    int signal = SIGTERM; // closing the console, logging off, shutting down
    if (event == CTRL_C_EVENT)
        signal = SIGINT;
    else if (event == CTRL_BREAK_EVENT)
        signal = SIGBREAK;
    NoteTerminationRequest(signal);
    return TRUE;
}

} // namespace

void WatchTerminationSignals() { ::SetConsoleCtrlHandler(NoteTermination, TRUE); }

} // namespace platform
