// qmx-host: a small station host for the driver, to see it as an operator
// does. It loads DriverQuelmarox.dll, creates a silo with GetSiloEx (the
// connection comes from cnf.ini), lends its "&Настройка" menu to the
// driver's InstallMenu and shows tanks 1 to 4, read through the measurement
// slots on a thread of its own.
//
//   qmx-host [--screenshot FILE]   FILE: a PNG of the window with the
//                                  settings menu open, then exit

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "screen_capture.h"

namespace {

using TWord = std::uint32_t;

TWord Word(const void* pointer) { return static_cast<TWord>(reinterpret_cast<std::uintptr_t>(pointer)); }

constexpr UINT kTanksRead = WM_APP + 1;
constexpr UINT_PTR kOpenMenuTimer = 1;
constexpr UINT_PTR kShootTimer = 2;
constexpr int kListId = 10;
constexpr UINT kFirstItemId = 1000;

HWND gWindow = nullptr;
HWND gList = nullptr;
std::string gScreenshot;
HMENU gSettingsMenu = nullptr;

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

// --- The menu, lent to the driver through its menu-item table. -----------

struct TMenuItemObject {
    void* const* Table;  // must stay the first word
    std::string Caption;
    HMENU Submenu = nullptr;  // where this item's children stand
    TMenuItemObject* Parent = nullptr;
    UINT Id = 0;
    TWord ClickEntry = 0;
    TWord ClickObject = 0;
    std::vector<TMenuItemObject*> Children;
};

std::vector<std::unique_ptr<TMenuItemObject>> gItems;
void* const* MenuTable();

TMenuItemObject* NewItem(const std::string& caption) {
    gItems.push_back(std::make_unique<TMenuItemObject>());
    TMenuItemObject* item = gItems.back().get();
    item->Table = MenuTable();
    item->Caption = caption;
    item->Id = kFirstItemId + static_cast<UINT>(gItems.size());
    return item;
}

TWord __stdcall MenuGetCount(TMenuItemObject* self) { return static_cast<TWord>(self->Children.size()); }
TWord __stdcall MenuGetItem(TMenuItemObject* self, TWord index) {
    return index < self->Children.size() ? Word(self->Children[index]) : 0;
}
TWord __stdcall MenuGetCaption(TMenuItemObject* self, char* buffer, TWord size) {
    if (size != 0) {
        const std::size_t copied = self->Caption.size() < size ? self->Caption.size() : size - 1;
        std::memcpy(buffer, self->Caption.data(), copied);
        buffer[copied] = '\0';
    }
    return static_cast<TWord>(self->Caption.size());
}
TWord __stdcall MenuCreateItem(TMenuItemObject*) { return Word(NewItem("")); }
void __stdcall MenuAdd(TMenuItemObject* self, TMenuItemObject* child) {
    if (self->Submenu == nullptr) return;
    self->Children.push_back(child);
    child->Parent = self;
    AppendMenuA(self->Submenu, MF_STRING, child->Id, child->Caption.c_str());
}
void __stdcall MenuInsert(TMenuItemObject* self, TWord index, TMenuItemObject* child) {
    if (self->Submenu == nullptr) return;
    self->Children.insert(self->Children.begin() + index, child);
    child->Parent = self;
    InsertMenuA(self->Submenu, index, MF_BYPOSITION | MF_STRING, child->Id, child->Caption.c_str());
}
void __stdcall MenuSetCaption(TMenuItemObject* self, const char* text) {
    self->Caption = text;
    if (self->Parent != nullptr && self->Parent->Submenu != nullptr)
        ModifyMenuA(self->Parent->Submenu, self->Id, MF_BYCOMMAND | MF_STRING, self->Id, text);
    if (gWindow != nullptr) DrawMenuBar(gWindow);
}
void __stdcall MenuSetText(TMenuItemObject*, const char*) {}
void __stdcall MenuSetValue(TMenuItemObject*, TWord) {}
void __stdcall MenuSetOnClick(TMenuItemObject* self, TWord entry, TWord object) {
    self->ClickEntry = entry;
    self->ClickObject = object;
}

void* const* MenuTable() {
    static void* const table[] = {
        reinterpret_cast<void*>(&MenuGetCount),   reinterpret_cast<void*>(&MenuGetItem),
        reinterpret_cast<void*>(&MenuGetCaption), reinterpret_cast<void*>(&MenuCreateItem),
        reinterpret_cast<void*>(&MenuAdd),        reinterpret_cast<void*>(&MenuInsert),
        reinterpret_cast<void*>(&MenuSetCaption), reinterpret_cast<void*>(&MenuSetText),
        reinterpret_cast<void*>(&MenuSetValue),   reinterpret_cast<void*>(&MenuSetValue),
        reinterpret_cast<void*>(&MenuSetOnClick),
    };
    return table;
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
            if (state == 1 && after == 1)
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
            for (const auto& item : gItems)
                if (item->Id == LOWORD(wParam) && item->ClickEntry != 0) {
                    // The click handler the driver handed over: stdcall, the silo first.
                    reinterpret_cast<void(__stdcall*)(TWord, void*)>(item->ClickEntry)(item->ClickObject, item.get());
                    return 0;
                }
            return 0;
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
                // Opens the settings menu; the shot is taken inside its loop.
                SetTimer(window, kShootTimer, 500, nullptr);
                RECT bounds{};
                GetWindowRect(window, &bounds);
                TrackPopupMenu(gSettingsMenu, TPM_LEFTALIGN, bounds.left + 60, bounds.top + 45, 0, window, nullptr);
                PostQuitMessage(0);
            } else if (wParam == kShootTimer) {
                SaveScreen(gScreenshot);
                EndMenu();
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

    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &MainProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = "QmxHost";
    RegisterClassA(&windowClass);

    // The menu bar: "&Файл", "&Настройка" with an item of the host's own,
    // "&Справка". The driver finds "&Настройка" among the bar's children.
    HMENU bar = CreateMenu();
    TMenuItemObject* root = NewItem("");
    const char* captions[] = {"&Файл", "&Настройка", "&Справка"};
    for (const char* caption : captions) {
        TMenuItemObject* item = NewItem(caption);
        item->Submenu = CreatePopupMenu();
        item->Parent = root;
        root->Children.push_back(item);
        AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(item->Submenu), caption);
    }
    gSettingsMenu = root->Children[1]->Submenu;
    AppendMenuA(gSettingsMenu, MF_STRING | MF_GRAYED, 1, "Параметры станции...");

    gWindow = CreateWindowExA(0, "QmxHost", "АЗС — qmx-host", WS_OVERLAPPEDWINDOW, 40, 40, 520, 220, nullptr, bar,
                              windowClass.hInstance, nullptr);
    gList = CreateWindowExA(WS_EX_CLIENTEDGE, "LISTBOX", "", WS_CHILD | WS_VISIBLE | WS_VSCROLL, 8, 8, 490, 140, gWindow,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(kListId)), windowClass.hInstance, nullptr);
    SendMessageA(gList, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);

    // Slot 15: the driver's entry goes under "&Настройка".
    reinterpret_cast<void(__stdcall*)(void*, void*, TWord)>((*static_cast<void* const* const*>(gSilo))[15])(gSilo, root, 0);
    DrawMenuBar(gWindow);
    ShowWindow(gWindow, SW_SHOW);
    CreateThread(nullptr, 0, &ReadTanks, nullptr, 0, nullptr);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    // The reading thread still runs; the process ends with it.
    ExitProcess(0);
}
