#pragma once

// What a toolkit's modal show does to the rest of the application: every
// window of the thread that takes input is disabled while the modal window
// runs, and enabled again after it, so that nothing else of the host (its
// other windows, their menus) can be used meanwhile.

#include <windows.h>

#include <vector>

namespace qmx {

class TThreadWindowsDisabled {
public:
    // Disables the calling thread's visible, enabled top-level windows,
    // except `keep`: the dialog manager disables and enables the dialog's
    // owner itself, in the order that keeps it the window activated after.
    explicit TThreadWindowsDisabled(HWND keep);
    // Enables those of them that still exist.
    ~TThreadWindowsDisabled();
    TThreadWindowsDisabled(const TThreadWindowsDisabled&) = delete;
    TThreadWindowsDisabled& operator=(const TThreadWindowsDisabled&) = delete;

private:
    std::vector<HWND> FDisabled;
};

}  // namespace qmx
