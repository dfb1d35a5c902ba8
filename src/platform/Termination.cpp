#include "platform/Termination.h"

#include <atomic>

namespace platform {
namespace {

// The handler may only touch lock-free atomics. Requests are counted; the
// number of the latest one is kept (they all mean the same: end in order).
std::atomic<int> received{0};
std::atomic<int> lastSignal{0};
int taken = 0;

} // namespace

void NoteTerminationRequest(int signal)
{
    lastSignal.store(signal);
    received.fetch_add(1);
}

int TakeTerminationSignal()
{
    if (received.load() == taken)
        return 0;
    ++taken;
    return lastSignal.load();
}

} // namespace platform
