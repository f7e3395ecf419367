#include "ui/win32_thread_windows.h"

#include <utility>

namespace qmx {
namespace {

BOOL CALLBACK DisableOne(HWND window, LPARAM context) {
    auto& self = *reinterpret_cast<std::pair<HWND, std::vector<HWND>*>*>(context);
    if (window != self.first && IsWindowVisible(window) && IsWindowEnabled(window)) {
        EnableWindow(window, FALSE);
        self.second->push_back(window);
    }
    return TRUE;
}

}  // namespace

TThreadWindowsDisabled::TThreadWindowsDisabled(HWND keep) {
    std::pair<HWND, std::vector<HWND>*> context{keep, &FDisabled};
    EnumThreadWindows(GetCurrentThreadId(), &DisableOne, reinterpret_cast<LPARAM>(&context));
}

TThreadWindowsDisabled::~TThreadWindowsDisabled() {
    for (HWND window : FDisabled)
        if (IsWindow(window)) EnableWindow(window, TRUE);
}

}  // namespace qmx
