#include "host_window.h"

#include <cstring>
#include <memory>
#include <utility>

#include "screen_capture.h"

namespace qmx::host {
namespace {

constexpr UINT kTanksRead = WM_APP + 1;
constexpr UINT kShowError = WM_APP + 2;
constexpr UINT_PTR kOpenMenuTimer = 1;
constexpr UINT_PTR kShootTimer = 2;
constexpr UINT_PTR kQuitTimer = 3;
constexpr int kListId = 10;
constexpr UINT kStationSettingsId = 1;
constexpr char kClassName[] = "QmxHost";

struct TTankLine {
    int Tank;
    std::string Text;
};

// "&Файл", "&Настройка" with an item of the host's own, "&Справка".
HMENU MakeMenuBar() {
    HMENU bar = CreateMenu();
    HMENU settings = nullptr;
    for (const char* caption : {"&Файл", "&Настройка", "&Справка"}) {
        HMENU popup = CreatePopupMenu();
        AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), caption);
        if (settings == nullptr && std::strcmp(caption, "&Настройка") == 0) settings = popup;
    }
    AppendMenuA(settings, MF_STRING | MF_GRAYED, kStationSettingsId, "Параметры станции...");
    return bar;
}

// Opens the settings menu as the operator would from the keyboard: F10, one
// step right, down, and up to the last item, the driver's entry.
void OpenSettingsMenu(HWND window) {
    for (UINT key : {VK_F10, VK_RIGHT, VK_DOWN, VK_UP}) {
        const bool system = key == VK_F10;
        PostMessageA(window, system ? WM_SYSKEYDOWN : WM_KEYDOWN, key, 1);
        PostMessageA(window, system ? WM_SYSKEYUP : WM_KEYUP, key, 0xC0000001);
    }
}

BOOL CALLBACK CloseIfMessageBox(HWND window, LPARAM) {
    char name[16] = {};
    GetClassNameA(window, name, sizeof name);
    // "#32770" is the system's dialog class, a message box's.
    if (std::strcmp(name, "#32770") == 0) PostMessageA(window, WM_COMMAND, IDOK, 0);
    return TRUE;
}

// Closes the message boxes this thread has open, as the operator's OK.
void CloseMessageBoxes() { EnumThreadWindows(GetCurrentThreadId(), &CloseIfMessageBox, 0); }

}  // namespace

THostWindow::THostWindow(TShownLog& log, std::string screenshot) : FLog(log), FScreenshot(std::move(screenshot)) {}

void THostWindow::Create() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &THostWindow::Procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    RegisterClassA(&windowClass);

    FWindow = CreateWindowExA(0, kClassName, "АЗС — qmx-host", WS_OVERLAPPEDWINDOW, 40, 40, 520, 220, nullptr,
                              MakeMenuBar(), windowClass.hInstance, this);
    FList =
        CreateWindowExA(WS_EX_CLIENTEDGE, "LISTBOX", "", WS_CHILD | WS_VISIBLE | WS_VSCROLL, 8, 8, 490, 140, FWindow,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kListId)), windowClass.hInstance, nullptr);
    SendMessageA(FList, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    ShowWindow(FWindow, SW_SHOW);
    SetForegroundWindow(FWindow);
}

void THostWindow::QuitAfter(int seconds) { SetTimer(FWindow, kQuitTimer, static_cast<UINT>(seconds) * 1000, nullptr); }

void THostWindow::ShowLine(int tank, const std::string& text) {
    SendMessageA(FList, LB_DELETESTRING, static_cast<WPARAM>(tank - 1), 0);
    SendMessageA(FList, LB_INSERTSTRING, static_cast<WPARAM>(tank - 1), reinterpret_cast<LPARAM>(text.c_str()));
    FLog.Note(text);
}

void THostWindow::PostTankLine(int tank, const std::string& text) const {
    PostMessageA(FWindow, kTanksRead, 0, reinterpret_cast<LPARAM>(new TTankLine{tank, text}));
}

void THostWindow::PostError(const std::string& text) const {
    PostMessageA(FWindow, kShowError, 0, reinterpret_cast<LPARAM>(new std::string(text)));
}

// The system calls the procedure with no word of the object: the object
// comes with the window's creation and is kept in the window itself.
LRESULT CALLBACK THostWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* creation = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    auto* host = reinterpret_cast<THostWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (host == nullptr) return DefWindowProcA(window, message, wParam, lParam);
    return host->Handle(window, message, wParam, lParam);
}

LRESULT THostWindow::Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            return 0;  // the host's own items; the driver's entry never comes here
        case kTanksRead:
            ShowTankRead(window, lParam);
            return 0;
        case kShowError:
            ShowError(window, lParam);
            return 0;
        case WM_TIMER:
            OnTimer(window, wParam);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

void THostWindow::ShowTankRead(HWND window, LPARAM line) {
    const std::unique_ptr<TTankLine> read(reinterpret_cast<TTankLine*>(line));
    ShowLine(read->Tank, read->Text);
    if (++FTanksShown == kTanksShown && !FScreenshot.empty()) SetTimer(window, kOpenMenuTimer, 300, nullptr);
}

void THostWindow::ShowError(HWND window, LPARAM text) {
    const std::unique_ptr<std::string> error(reinterpret_cast<std::string*>(text));
    FLog.Note("Ошибка: " + *error);
    MessageBoxA(window, error->c_str(), "Ошибка", MB_OK | MB_ICONERROR);
}

void THostWindow::OnTimer(HWND window, UINT_PTR timer) {
    KillTimer(window, timer);
    if (timer == kOpenMenuTimer) {
        // The shot is taken inside the menu's loop.
        SetTimer(window, kShootTimer, 700, nullptr);
        OpenSettingsMenu(window);
    } else if (timer == kShootTimer) {
        SaveScreen();
        EndMenu();
        PostQuitMessage(0);
    } else if (timer == kQuitTimer) {
        // Timers reach this window inside a message box's own loop too: the
        // box is closed from here.
        FLog.Note("qmx-host: running; quitting as asked");
        CloseMessageBoxes();
        PostQuitMessage(0);
    }
}

void THostWindow::SaveScreen() {
    RECT area{};
    GetWindowRect(FWindow, &area);
    area.right += 200;
    tools::SaveScreenArea(area, FScreenshot);
}

}  // namespace qmx::host
