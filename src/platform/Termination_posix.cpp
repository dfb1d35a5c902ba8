#include "platform/Termination.h"

#include <atomic>
#include <csignal>

namespace platform {
namespace {

// A handler may only touch lock-free atomics. Requests are counted; the number
// of the latest one is kept (they all mean the same: end in order).
std::atomic<int> received{0};
std::atomic<int> lastSignal{0};
int taken = 0;

extern "C" void NoteTermination(int signal)
{
    lastSignal.store(signal);
    received.fetch_add(1);
}

} // namespace

void WatchTerminationSignals()
{
    struct sigaction action {};
    action.sa_handler = NoteTermination;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

int TakeTerminationSignal()
{
    if (received.load() == taken)
        return 0;
    ++taken;
    return lastSignal.load();
}

} // namespace platform
