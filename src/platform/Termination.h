// Requests from outside to end the program: on POSIX the signals SIGTERM,
// SIGINT and SIGHUP, on Windows the console's control events. They are only noted when they arrive; the program takes
// them at its own points and ends in order.
#pragma once

namespace platform {

// From now on the termination signals are noted instead of ending the process.
void WatchTerminationSignals();
// The signal number of the oldest request not yet taken, 0 when there is none.
int TakeTerminationSignal();
// Notes a request; safe in a signal handler and on another thread.
void NoteTerminationRequest(int signal);

} // namespace platform
