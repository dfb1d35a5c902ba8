// The single-instance guard of the main window on Windows: the named mutex of
// the platform's instance marker. A later instance finds the first one's
// application window among the top-level windows (class "TApplication", title
// the executable's name) and brings that application's most recently active
// window to the front as it ends.
#pragma once

#include "display/TInstanceGuard.h"

#include <windows.h>

class TSingleInstance : public TInstanceGuard {
public:
    // `ownApplication` is this instance's application window, left out of the search.
    explicit TSingleInstance(HWND ownApplication = nullptr) : ownApplication_(ownApplication) {}

    // The first instance's application window, or nullptr (class and title compared).
    static HWND FindFirstInstance(HWND ownApplication);
    // As the process ends: the remembered window, if any, comes to the front.
    static void BringForwardAtExit();

protected:
    void ActivateFirst() override;

private:
    HWND ownApplication_;
};
