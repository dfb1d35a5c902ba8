#include "platform/Termination.h"

#include <csignal>
#include <initializer_list>

namespace platform {
namespace {

extern "C" void NoteTermination(int signal) { NoteTerminationRequest(signal); }

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

} // namespace platform
