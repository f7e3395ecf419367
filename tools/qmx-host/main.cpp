// qmx-host: a small station host for the driver, to see it as an operator
// does. It behaves as a host built with a toolkit: it loads
// DriverQuelmarox.dll, creates a silo with GetSiloEx (the connection comes
// from cnf.ini), hands InstallMenu a menu item object of its own (which the
// driver never calls), and only then makes its main window, whose native
// menu bar has "&Настройка"; the driver's entry appears there. It shows
// tanks 1 to 4, read through the measurement slots on a thread of its own.
//
//   qmx-host [--screenshot FILE]   FILE: a PNG of the window with the
//                                  settings menu open, then exit

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "screen_capture.h"

namespace {

using TWord = std::uint32_t;

// The link state as a host reads it from GetState's low byte: 1 is a valid
// answer. The host knows the contract, not the driver's headers.
constexpr TWord kValidAnswer = 1;


constexpr UINT kTanksRead = WM_APP + 1;
constexpr UINT_PTR kOpenMenuTimer = 1;
constexpr UINT_PTR kShootTimer = 2;
constexpr int kListId = 10;
constexpr UINT kStationSettingsId = 1;

HWND gWindow = nullptr;
HWND gList = nullptr;
std::string gScreenshot;

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

// --- The silo, by position. ----------------------------------------------

void* gSilo = nullptr;

template <class TEntry>
TEntry SiloSlot(int slot) {
    return reinterpret_cast<TEntry>((*static_cast<void* const* const*>(gSilo))[slot]);
}

struct TTankLine {
    int Tank;
    std::string Text;
};

DWORD WINAPI ReadTanks(void*) {
    for (;;) {
        for (int tank = 1; tank <= 4; ++tank) {
            const TWord index = static_cast<TWord>(tank - 1);
            const double level = SiloSlot<double(__stdcall*)(void*, TWord)>(9)(gSilo, index);
            const TWord state = SiloSlot<TWord(__stdcall*)(void*)>(4)(gSilo) & 0xFF;
            double temperature[4] = {};
            SiloSlot<void(__stdcall*)(void*, TWord, double*)>(10)(gSilo, index, temperature);
            const double density = SiloSlot<double(__stdcall*)(void*, TWord)>(12)(gSilo, index);
            const TWord after = SiloSlot<TWord(__stdcall*)(void*)>(4)(gSilo) & 0xFF;
            char text[160];
            if (state == kValidAnswer && after == kValidAnswer)
                std::snprintf(text, sizeof text, "Резервуар %d:  %.2f мм   %.1f °C   %.4f", tank,
                              level, temperature[0], density);
            else
                std::snprintf(text, sizeof text, "Резервуар %d:  нет данных", tank);
            PostMessageA(gWindow, kTanksRead, 0, reinterpret_cast<LPARAM>(new TTankLine{tank, text}));
        }
        Sleep(5000);
    }
}

// The window and, to its right, room for the open menu.
void SaveScreen(const std::string& path) {
    RECT area{};
    GetWindowRect(gWindow, &area);
    area.right += 200;
    qmx::tools::SaveScreenArea(area, path);
}

int gTanksShown = 0;

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            return 0;  // the host's own items; the driver's entry never comes here
        case kTanksRead: {
            std::unique_ptr<TTankLine> line(reinterpret_cast<TTankLine*>(lParam));
            SendMessageA(gList, LB_DELETESTRING, static_cast<WPARAM>(line->Tank - 1), 0);
            SendMessageA(gList, LB_INSERTSTRING, static_cast<WPARAM>(line->Tank - 1), reinterpret_cast<LPARAM>(line->Text.c_str()));
            if (++gTanksShown == 4 && !gScreenshot.empty()) SetTimer(window, kOpenMenuTimer, 300, nullptr);
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
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--screenshot") == 0) gScreenshot = argv[i + 1];

    HMODULE driver = LoadLibraryA("DriverQuelmarox.dll");
    auto* getSiloEx = driver != nullptr
                          ? reinterpret_cast<void*(__stdcall*)(void*, TWord)>(
                                reinterpret_cast<void*>(GetProcAddress(driver, "GetSiloEx")))
                          : nullptr;
    if (getSiloEx == nullptr) {
        std::fprintf(stderr, "qmx-host: cannot load DriverQuelmarox.dll\n");
        return 2;
    }
    static THostService service{ServiceTable()};
    gSilo = getSiloEx(&service, 0);

    // Slot 15, before any window exists, as a toolkit host calls it: the
    // driver finds the menu bar later, when the operator opens it.
    static TToolkitMenuItem mainMenuItem{ToolkitMethods()};
    reinterpret_cast<void(__stdcall*)(void*, void*, TWord)>((*static_cast<void* const* const*>(gSilo))[15])(
        gSilo, &mainMenuItem, 0);

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
    CreateThread(nullptr, 0, &ReadTanks, nullptr, 0, nullptr);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    // The reading thread still runs; the process ends with it.
    ExitProcess(0);
}
