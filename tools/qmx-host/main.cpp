// qmx-host: a small station host for the driver, to see it as an operator
// does. It behaves as a host built with a toolkit: it loads
// DriverQuelmarox.dll, creates a silo with GetSiloEx (the connection comes
// from cnf.ini), hands InstallMenu a menu item object of its own (which the
// driver never calls), and only then makes its main window, whose native
// menu bar has "&Настройка"; the driver's entry appears there. It shows
// tanks 1 to 4, read through the measurement slots on a thread of its own.
// Every call into the driver is guarded: what the driver raises (a port
// that cannot be opened, a failed exchange) is shown, and the host runs on.

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "driver_calls.h"
#include "host_options.h"
#include "screen_capture.h"

namespace {

using qmx::host::TWord;

constexpr UINT kTanksRead = WM_APP + 1;
constexpr UINT kShowError = WM_APP + 2;
constexpr UINT_PTR kOpenMenuTimer = 1;
constexpr UINT_PTR kShootTimer = 2;
constexpr UINT_PTR kQuitTimer = 3;
constexpr int kListId = 10;
constexpr UINT kStationSettingsId = 1;
constexpr int kTanksShown = 4;

constexpr int kStarted = 0;
constexpr int kUsage = 2;

HWND gWindow = nullptr;
HWND gList = nullptr;
std::string gScreenshot;
std::FILE* gLog = nullptr;
qmx::host::TDriver gDriver;

// What the operator is shown, also to the log when there is one.
void Note(const std::string& text) {
    if (gLog == nullptr) return;
    std::fprintf(gLog, "%s\n", text.c_str());
    std::fflush(gLog);
}

// --- The host communication service: this host lends no blocks. ---------

struct THostService {
    void* const* Table;
};

TWord __stdcall NoLine(THostService*, TWord) { return 2; }
void __stdcall Ignore4(THostService*, TWord, TWord, TWord, TWord) {}
TWord __stdcall NoExchange(THostService*, TWord, TWord, TWord, TWord, TWord, TWord, TWord, TWord) { return 0; }
void __stdcall Ignore6(THostService*, TWord, TWord, TWord, TWord, TWord, TWord) {}
void __stdcall Ignore3(THostService*, TWord, TWord, TWord) {}
void __stdcall Ignore2(THostService*, TWord, TWord) {}

void* const* ServiceTable() {
    static void* table[32] = {};
    table[23] = reinterpret_cast<void*>(&NoLine);
    table[24] = reinterpret_cast<void*>(&Ignore4);
    table[25] = reinterpret_cast<void*>(&NoExchange);
    table[26] = reinterpret_cast<void*>(&Ignore6);
    table[27] = reinterpret_cast<void*>(&Ignore3);
    table[31] = reinterpret_cast<void*>(&Ignore2);
    return table;
}

// --- The menu item a toolkit hands over. ---------------------------------

// A toolkit's menu item object: its first word points to its class's table
// of methods, which the driver knows nothing of and must never call.
[[noreturn]] void NotForTheDriver() {
    std::fprintf(stderr, "qmx-host: the driver called into the host's menu item\n");
    std::abort();
}

struct TToolkitMenuItem {
    void* const* ClassTable;
};

void* const* ToolkitMethods() {
    static void* methods[16];
    for (void*& method : methods) method = reinterpret_cast<void*>(&NotForTheDriver);
    return methods;
}

// --- Reading. --------------------------------------------------------------

void* gSilo = nullptr;

struct TTankLine {
    int Tank;
    std::string Text;
};

// The protocol fixes the scales of the values, not their units: those are
// the gauge's, so none is claimed here.
std::string TankText(int tank, const qmx::host::TCallResult<qmx::host::TTankValues>& result) {
    char text[256];
    if (result.Failed()) {
        std::snprintf(text, sizeof text, "Резервуар %d:  ошибка: %s", tank,
                      qmx::host::DescribeError(result.Error).c_str());
    } else if (!result.Value->LevelValid) {
        std::snprintf(text, sizeof text, "Резервуар %d:  нет данных", tank);
    } else {
        char density[32] = "нет данных";
        if (result.Value->DensityValid) std::snprintf(density, sizeof density, "%.4f", result.Value->Density);
        std::snprintf(text, sizeof text, "Резервуар %d:  уровень %.2f   температура %.1f   плотность %s", tank,
                      result.Value->Level, result.Value->Temperature, density);
    }
    return text;
}

DWORD WINAPI ReadTanks(void*) {
    for (;;) {
        for (int tank = 1; tank <= kTanksShown; ++tank) {
            const auto result = gDriver.ReadTank(gSilo, static_cast<TWord>(tank - 1));
            PostMessageA(gWindow, kTanksRead, 0, reinterpret_cast<LPARAM>(new TTankLine{tank, TankText(tank, result)}));
        }
        Sleep(5000);
    }
}

void ShowLine(int tank, const std::string& text) {
    SendMessageA(gList, LB_DELETESTRING, static_cast<WPARAM>(tank - 1), 0);
    SendMessageA(gList, LB_INSERTSTRING, static_cast<WPARAM>(tank - 1), reinterpret_cast<LPARAM>(text.c_str()));
    Note(text);
}

// The window and, to its right, room for the open menu.
void SaveScreen(const std::string& path) {
    RECT area{};
    GetWindowRect(gWindow, &area);
    area.right += 200;
    qmx::tools::SaveScreenArea(area, path);
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

int gTanksShown = 0;

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            return 0;  // the host's own items; the driver's entry never comes here
        case kTanksRead: {
            std::unique_ptr<TTankLine> line(reinterpret_cast<TTankLine*>(lParam));
            ShowLine(line->Tank, line->Text);
            if (++gTanksShown == kTanksShown && !gScreenshot.empty()) SetTimer(window, kOpenMenuTimer, 300, nullptr);
            return 0;
        }
        case kShowError: {
            std::unique_ptr<std::string> text(reinterpret_cast<std::string*>(lParam));
            Note("Ошибка: " + *text);
            MessageBoxA(window, text->c_str(), "Ошибка", MB_OK | MB_ICONERROR);
            return 0;
        }
        case WM_TIMER:
            KillTimer(window, wParam);
            if (wParam == kOpenMenuTimer) {
                // Opens the settings menu as the operator would from the
                // keyboard: F10, one step right, down, and up to the last
                // item, the driver's entry. The shot is taken
                // inside the menu's loop.
                SetTimer(window, kShootTimer, 700, nullptr);
                for (UINT key : {VK_F10, VK_RIGHT, VK_DOWN, VK_UP}) {
                    const bool system = key == VK_F10;
                    PostMessageA(window, system ? WM_SYSKEYDOWN : WM_KEYDOWN, key, 1);
                    PostMessageA(window, system ? WM_SYSKEYUP : WM_KEYUP, key, 0xC0000001);
                }
            } else if (wParam == kShootTimer) {
                SaveScreen(gScreenshot);
                EndMenu();
                PostQuitMessage(0);
            } else if (wParam == kQuitTimer) {
                // Timers reach this window inside a message box's own loop
                // too: the box is closed from here.
                Note("qmx-host: running; quitting as asked");
                CloseMessageBoxes();
                PostQuitMessage(0);
            }
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const auto parsed = qmx::host::ParseHostOptions({argv + 1, argv + argc});
    if (const auto* refusal = std::get_if<std::string>(&parsed)) {
        std::fputs(refusal->c_str(), stderr);
        return kUsage;
    }
    const auto& options = std::get<qmx::host::THostOptions>(parsed);
    if (options.Help) {
        std::fputs(qmx::host::HostUsage().c_str(), stdout);
        return kStarted;
    }
    if (options.Version) {
        std::printf("qmx-host %s\n", QMX_VERSION);
        return kStarted;
    }
    gScreenshot = options.Screenshot;
    if (!options.Log.empty()) {
        gLog = std::fopen(options.Log.c_str(), "a");
        if (gLog == nullptr) {
            std::fprintf(stderr, "qmx-host: cannot write the log %s\n", options.Log.c_str());
            return kUsage;
        }
    }
    const int quitAfter = options.QuitAfterSeconds;

    if (!gDriver.Load()) {
        std::fprintf(stderr, "qmx-host: cannot load DriverQuelmarox.dll (it belongs next to qmx-host.exe)\n");
        MessageBoxA(nullptr, "Не удается загрузить DriverQuelmarox.dll", "Ошибка", MB_OK | MB_ICONERROR);
        return kUsage;
    }
    static THostService service{ServiceTable()};
    // A port that cannot be opened raises out of the factory: the host
    // shows why and runs on without a silo.
    std::string factoryError;
    const auto silo = gDriver.NewSilo(&service);
    if (silo.Failed())
        factoryError = qmx::host::DescribeError(silo.Error);
    else
        gSilo = *silo.Value;

    // Slot 15, before any window exists, as a toolkit host calls it: the
    // driver finds the menu bar later, when the operator opens it.
    static TToolkitMenuItem mainMenuItem{ToolkitMethods()};
    std::string menuError;
    if (gSilo != nullptr) {
        if (const auto error = gDriver.InstallMenu(gSilo, &mainMenuItem))
            menuError = qmx::host::DescribeError(*error);
    }

    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &MainProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = "QmxHost";
    RegisterClassA(&windowClass);

    // The menu bar: "&Файл", "&Настройка" with an item of the host's own,
    // "&Справка".
    HMENU bar = CreateMenu();
    HMENU settings = nullptr;
    for (const char* caption : {"&Файл", "&Настройка", "&Справка"}) {
        HMENU popup = CreatePopupMenu();
        AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), caption);
        if (settings == nullptr && std::strcmp(caption, "&Настройка") == 0) settings = popup;
    }
    AppendMenuA(settings, MF_STRING | MF_GRAYED, kStationSettingsId, "Параметры станции...");

    gWindow = CreateWindowExA(0, "QmxHost", "АЗС — qmx-host", WS_OVERLAPPEDWINDOW, 40, 40, 520, 220, nullptr, bar,
                              windowClass.hInstance, nullptr);
    gList = CreateWindowExA(WS_EX_CLIENTEDGE, "LISTBOX", "", WS_CHILD | WS_VISIBLE | WS_VSCROLL, 8, 8, 490, 140, gWindow,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(kListId)), windowClass.hInstance, nullptr);
    SendMessageA(gList, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    ShowWindow(gWindow, SW_SHOW);
    SetForegroundWindow(gWindow);
    if (quitAfter > 0) SetTimer(gWindow, kQuitTimer, static_cast<UINT>(quitAfter) * 1000, nullptr);
    if (!menuError.empty())
        PostMessageA(gWindow, kShowError, 0, reinterpret_cast<LPARAM>(new std::string(menuError)));
    if (gSilo != nullptr) {
        CreateThread(nullptr, 0, &ReadTanks, nullptr, 0, nullptr);
    } else {
        ShowLine(1, "Нет связи с уровнемером: " + factoryError);
        PostMessageA(gWindow, kShowError, 0, reinterpret_cast<LPARAM>(new std::string(factoryError)));
    }

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    // The reading thread may still be inside the driver; the process ends
    // with it.
    if (gLog != nullptr) std::fclose(gLog);
    ExitProcess(0);
}
