// The single-instance guard of the main window on Windows: the shared guard on
// the platform's marker, the named mutex. A later instance finds the first
// one's application window among the top-level windows (class "TApplication",
// title the executable's name) and brings that application's most recently
// active window to the front before it ends.
#pragma once

#include "display/TInstanceGuard.h"

class TSingleInstance : public TInstanceGuard {};
