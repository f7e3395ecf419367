#pragma once

// Playing the operator of a host's windows from a thread of its own, as a
// person would: keys posted to the windows, and waiting to see what comes
// up. What the operator finds wrong is kept for the test's own thread to
// report. Also: running a body on a thread of its own.

#include <windows.h>

#include <string>
#include <vector>

namespace qmx::abi {

// "Параметры уровнемера Зорна": the connection dialog's caption.
inline constexpr char kDialogCaption[] =
    "\xCF\xE0\xF0\xE0\xEC\xE5\xF2\xF0\xFB \xF3\xF0\xEE\xE2\xED\xE5\xEC\xE5\xF0\xE0 \xC7\xEE\xF0\xED\xE0";
inline constexpr char kDialogClass[] = "TfmTuneParamsQX";

template <class Condition>
bool WaitFor(Condition condition, int milliseconds = 10000) {
    for (int waited = 0; waited < milliseconds; waited += 20) {
        if (condition()) return true;
        Sleep(20);
    }
    return condition();
}

inline std::string Text(HWND window) {
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

inline HWND ConnectionDialog() { return FindWindowA(kDialogClass, kDialogCaption); }

// The connection dialog once it is on screen with its controls; null when
// it does not come up.
inline HWND ShownConnectionDialog() {
    HWND dialog = nullptr;
    WaitFor([&] {
        dialog = ConnectionDialog();
        return dialog != nullptr && IsWindowVisible(dialog) && GetDlgItem(dialog, IDCANCEL) != nullptr;
    });
    return dialog != nullptr && IsWindowVisible(dialog) ? dialog : nullptr;
}

// A key pressed and released, as the window's thread takes it from its queue.
inline void Press(HWND window, UINT key, bool system = false) {
    PostMessageA(window, system ? WM_SYSKEYDOWN : WM_KEYDOWN, key, 1);
    PostMessageA(window, system ? WM_SYSKEYUP : WM_KEYUP, key, 0xC0000001);
}

// The focused window of the thread that owns `window`.
inline HWND FocusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndFocus;
}

// Whatever went wrong before, the host's thread gets out of the dialogs
// left open.
inline void CloseLeftDialogs() {
    for (int i = 0; i < 20; ++i) {
        HWND dialog = ConnectionDialog();
        if (dialog == nullptr) return;
        PostMessageA(dialog, WM_CLOSE, 0, 0);
        WaitFor([&] { return !IsWindow(dialog); }, 2000);
    }
}

template <class F>
DWORD WINAPI ThreadMain(void* body) {
    (*static_cast<F*>(body))();
    return 0;
}

// Runs `body` on a new thread; the caller waits for the handle and closes it.
template <class F>
HANDLE StartThread(F& body) {
    return CreateThread(nullptr, 0, &ThreadMain<F>, &body, 0, nullptr);
}

struct TOperatorProblems {
    std::vector<std::string> Problems;
    void Expect(bool condition, const std::string& what) {
        if (!condition) Problems.push_back(what);
    }
};

}  // namespace qmx::abi
