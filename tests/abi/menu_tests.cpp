// A toolkit host, under Wine on a virtual display: a native menu bar, a main
// window made after the silo, popups rebuilt as a toolkit rebuilds them, and
// a menu item object of the toolkit's own that the DLL must never call. An
// operator thread opens the menus with the keyboard and chooses the entry.

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "dll_calls.h"
#include "gui_operator.h"
#include "harness.h"

namespace qmx::abi {
namespace {

const char kFile[] = "\xD4\xE0\xE9\xEB";                              // Файл
const char kSettingsPlain[] = "\xCD\xE0\xF1\xF2\xF0\xEE\xE9\xEA\xE0";  // Настройка
const char kSettings[] = "&\xCD\xE0\xF1\xF2\xF0\xEE\xE9\xEA\xE0";      // &Настройка

// "Настройка уровнемера Quelmarox4 (БС №<block>)"
std::string EntryCaption(int block) {
    return "\xCD\xE0\xF1\xF2\xF0\xEE\xE9\xEA\xE0 \xF3\xF0\xEE\xE2\xED\xE5\xEC\xE5\xF0\xE0 Quelmarox4 (\xC1\xD1 \xB9" +
           std::to_string(block) + ")";
}

// The host's own commands; toolkits number from 1.
enum : UINT { kExit = 1, kStation = 2, kService = 3, kOther = 4 };

// The toolkit's menu item: its first word points to its class's method
// table. A call into it counts, and (with whatever arguments) fails.
int gToolkitCalls = 0;
void ToolkitMethod() { ++gToolkitCalls; }
void* gToolkitMethods[32];
void* const gToolkitItem[4] = {gToolkitMethods, nullptr, nullptr, nullptr};

std::string MenuText(HMENU menu, int position) {
    char text[128] = {};
    GetMenuStringA(menu, static_cast<UINT>(position), text, sizeof text, MF_BYPOSITION);
    return text;
}

// The host's main window, with the menu bar "Файл", "Настройка",
// "&Настройка"; it records every command that reaches it.
struct THost {
    HWND Window = nullptr;
    HMENU Settings = nullptr;
    HMENU SettingsPlain = nullptr;
    bool RebuildOnOpen = false;
    std::vector<UINT> Commands;

    // As a toolkit does when one of the popup's items changes: every
    // native item removed, then its own added again.
    void Rebuild() {
        while (GetMenuItemCount(Settings) > 0) RemoveMenu(Settings, 0, MF_BYPOSITION);
        AppendMenuA(Settings, MF_STRING, kStation, "Station");
        AppendMenuA(Settings, MF_STRING, kService, "Service");
    }
};

THost* gHost = nullptr;

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND) {
        gHost->Commands.push_back(LOWORD(wParam));
        return 0;
    }
    if (message == WM_INITMENUPOPUP && gHost->RebuildOnOpen && reinterpret_cast<HMENU>(wParam) == gHost->Settings)
        gHost->Rebuild();
    return DefWindowProcA(window, message, wParam, lParam);
}

void CreateHostWindow(THost& host) {
    static const bool registered = [] {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = &HostProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = "ToolkitHost";
        return RegisterClassA(&windowClass) != 0;
    }();
    (void)registered;
    HMENU bar = CreateMenu();
    HMENU file = CreatePopupMenu();
    AppendMenuA(file, MF_STRING, kExit, "Exit");
    host.SettingsPlain = CreatePopupMenu();
    AppendMenuA(host.SettingsPlain, MF_STRING, kOther, "Other");
    host.Settings = CreatePopupMenu();
    host.Rebuild();
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), kFile);
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(host.SettingsPlain), kSettingsPlain);
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(host.Settings), kSettings);
    gHost = &host;
    host.Window = CreateWindowExA(0, "ToolkitHost", "Host", WS_OVERLAPPEDWINDOW, 100, 100, 400, 200, nullptr, bar,
                                  GetModuleHandleA(nullptr), nullptr);
    ShowWindow(host.Window, SW_SHOW);
    SetForegroundWindow(host.Window);
}

void InstallMenu(void* silo) {
    const TCallResult call = CallSlot(silo, 15, {Word(gToolkitItem), 0});
    CHECK_EQ(call.StackDelta, 0);
}

// Ids of the popup's last `count` items.
std::vector<UINT> LastIds(HMENU menu, int count) {
    std::vector<UINT> ids;
    const int items = GetMenuItemCount(menu);
    for (int i = items - count; i < items; ++i) ids.push_back(i >= 0 ? GetMenuItemID(menu, i) : 0);
    return ids;
}

bool PopupShown() {
    HWND popup = FindWindowA("#32768", nullptr);
    return popup != nullptr && IsWindowVisible(popup);
}

// Opens "&Настройка" from the keyboard: F10, two steps right, down.
bool OpenSettings(HWND window) {
    Press(window, VK_F10, true);
    Press(window, VK_RIGHT);
    Press(window, VK_RIGHT);
    Press(window, VK_DOWN);
    return WaitFor(&PopupShown);
}

void CloseMenus(HWND window) {
    for (int i = 0; i < 3 && PopupShown(); ++i) {
        Press(window, VK_ESCAPE);
        WaitFor([] { return !PopupShown(); }, 1000);
    }
    Press(window, VK_ESCAPE);  // leaves the menu bar
}

template <class F>
void OnAnotherThread(F body) {
    HANDLE thread = StartThread(body);
    WaitForSingleObject(thread, 30000);
    CloseHandle(thread);
}

// Runs the host's message loop until `act` has finished on its own thread.
template <class F>
void RunWhileOperating(F act) {
    volatile LONG done = 0;
    const DWORD host = GetCurrentThreadId();
    auto operate = [&] {
        act();
        CloseLeftDialogs();
        InterlockedExchange(&done, 1);
        PostThreadMessageA(host, WM_NULL, 0, 0);
    };
    HANDLE thread = StartThread(operate);
    MSG message;
    while (done == 0 && GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    WaitForSingleObject(thread, 30000);
    CloseHandle(thread);
}

ABI_TEST(ToolkitHostGetsANativeEntry) {
    for (void*& method : gToolkitMethods) method = reinterpret_cast<void*>(&ToolkitMethod);
    struct TCase {
        const char* Name;
        std::vector<int> Blocks;  // one silo on each block
        bool InstallBeforeWindow;
        bool RebuildAfterInstall;
        bool RebuildOnOpen;
        int Destroyed;              // this silo is destroyed, on another thread, before the menu opens; -1: none
        std::vector<int> Expected;  // the blocks whose entries end the popup, in this order
        int Chosen;                 // the entry chosen, counted back from the last (1: the last); 0: none
    };
    const TCase cases[] = {
        {"window made after InstallMenu", {2}, true, false, false, -1, {2}, 1},
        {"popup rebuilt after InstallMenu", {1}, false, true, false, -1, {1}, 1},
        {"popup rebuilt on every opening", {3}, true, false, true, -1, {3}, 1},
        {"two silos, two entries", {1, 3}, true, false, false, -1, {1, 3}, 2},
        {"a destroyed silo's entry is gone", {1, 2}, false, false, true, 0, {2}, 0},
        {"the last silo destroyed", {3}, false, false, false, 0, {}, 0},
    };
    for (const TCase& c : cases) {
        std::printf("  case: %s\n", c.Name);
        THost host;
        host.RebuildOnOpen = c.RebuildOnOpen;
        std::vector<void*> silos;
        for (int block : c.Blocks) silos.push_back(NewSiloEx3(nullptr, static_cast<TWord>(block), 1));
        if (c.InstallBeforeWindow)
            for (void* silo : silos) InstallMenu(silo);
        CreateHostWindow(host);
        if (!c.InstallBeforeWindow) {
            for (void* silo : silos) InstallMenu(silo);
            // The window was there: the entries are at once.
            CHECK_EQ(GetMenuItemCount(host.Settings), 2 + static_cast<int>(silos.size()));
        }
        if (c.RebuildAfterInstall) host.Rebuild();
        std::vector<UINT> staleIds;
        if (c.Destroyed >= 0) {
            staleIds = LastIds(host.Settings, static_cast<int>(silos.size()));
            staleIds = {staleIds[static_cast<std::size_t>(c.Destroyed)]};
            void* gone = silos[static_cast<std::size_t>(c.Destroyed)];
            OnAnotherThread([&] { DestroySilo(gone); });
            silos.erase(silos.begin() + c.Destroyed);
        }

        TOperatorProblems person;
        int selected = -2;
        RunWhileOperating([&] {
            HWND window = host.Window;
            if (!OpenSettings(window)) {
                person.Expect(false, "the popup opens");
                return;
            }
            const int count = GetMenuItemCount(host.Settings);
            person.Expect(count == 2 + static_cast<int>(c.Expected.size()), "the host's two items and the entries");
            person.Expect(MenuText(host.Settings, 0) == "Station", "the host's items come first");
            for (std::size_t i = 0; i < c.Expected.size(); ++i)
                person.Expect(MenuText(host.Settings, count - static_cast<int>(c.Expected.size() - i)) ==
                                  EntryCaption(c.Expected[i]),
                              "entry " + std::to_string(i) + " reads " + EntryCaption(c.Expected[i]));
            person.Expect(GetMenuItemCount(host.SettingsPlain) == 1, "\"Настройка\" without & gets nothing");
            if (c.Chosen == 0) {
                CloseMenus(window);
            } else {
                for (int i = 0; i < c.Chosen; ++i) Press(window, VK_UP);  // from the first item, round to the last
                Press(window, VK_RETURN);
                HWND dialog = ShownConnectionDialog();
                person.Expect(dialog != nullptr, "the dialog opens");
                if (dialog == nullptr) return;
                person.Expect(GetWindow(dialog, GW_OWNER) == window, "owned by the host's active window");
                person.Expect(!IsWindowEnabled(window), "the host's window is disabled");
                selected = static_cast<int>(SendMessageA(GetDlgItem(dialog, 101), CB_GETCURSEL, 0, 0));
                Press(GetDlgItem(dialog, 101), VK_ESCAPE);
                person.Expect(WaitFor([] { return ConnectionDialog() == nullptr; }), "Esc closes the dialog");
                person.Expect(WaitFor([&] { return IsWindowEnabled(window) != FALSE; }), "the host's window is back");
            }
            // A click queued for an entry whose silo is gone.
            for (UINT id : staleIds) PostMessageA(window, WM_COMMAND, id, 0);
            Sleep(300);
            person.Expect(ConnectionDialog() == nullptr, "a destroyed silo's click opens nothing");
        });
        for (const auto& problem : person.Problems) ReportFailure(__FILE__, __LINE__, problem);
        if (c.Chosen != 0) {
            // The chosen silo's block, as the dialog selects it: block - 1.
            CHECK_EQ(selected, c.Expected[c.Expected.size() - static_cast<std::size_t>(c.Chosen)] - 1);
        }
        // The host's window procedure never saw a command of the entries.
        // (With no silo left, nothing of the library's is there to take a
        // stale one from it: the host gets an id it never gave out.)
        if (!silos.empty()) CHECK_EQ(host.Commands.size(), 0u);
        for (void* silo : silos) DestroySilo(silo);
        DestroyWindow(host.Window);
    }
    CHECK_EQ(gToolkitCalls, 0);
}

// --- The library's unload, each in a process of its own. -----------------

struct TUnloaded {
    MODULEINFO Module{};
    UINT EntryId = 0;
};

// One silo's entry in use (chosen once, the dialog opened and closed), then
// the library freed by `unload` with the silo still alive.
template <class F>
void UnloadWithAnEntry(F unload) {
    for (void*& method : gToolkitMethods) method = reinterpret_cast<void*>(&ToolkitMethod);
    THost host;
    CreateHostWindow(host);
    void* silo = NewSiloEx3(nullptr, 1, 1);
    InstallMenu(silo);
    TUnloaded state;
    GetModuleInformation(GetCurrentProcess(), Driver(), &state.Module, sizeof state.Module);
    state.EntryId = LastIds(host.Settings, 1)[0];
    TOperatorProblems person;
    RunWhileOperating([&] {
        if (!OpenSettings(host.Window)) return person.Expect(false, "the popup opens");
        Press(host.Window, VK_UP);
        Press(host.Window, VK_RETURN);
        HWND dialog = ShownConnectionDialog();
        if (dialog == nullptr) return person.Expect(false, "the dialog opens");
        Press(GetDlgItem(dialog, 101), VK_ESCAPE);
        person.Expect(WaitFor([] { return ConnectionDialog() == nullptr; }), "the dialog closes");
    });

    unload();
    CHECK(GetModuleHandleA("DriverQuelmarox.dll") == nullptr);
    const auto base = reinterpret_cast<std::uintptr_t>(state.Module.lpBaseOfDll);
    auto insideLibrary = [&](LONG_PTR address) {
        const auto at = static_cast<std::uintptr_t>(address);
        return at >= base && at < base + state.Module.SizeOfImage;
    };
    // The menu opened and the stale command taken, as the host goes on: a
    // hook left behind would run in freed code. (Wine carries on past the
    // fault and says so; the test's runner fails on that.)
    RunWhileOperating([&] {
        if (OpenSettings(host.Window)) {
            person.Expect(GetMenuItemCount(host.Settings) == 2, "the entry left with the library");
            CloseMenus(host.Window);
        }
        PostMessageA(host.Window, WM_COMMAND, state.EntryId, 0);
        Sleep(300);
    });
    // No hook took the command on its way: the host has it.
    CHECK(std::find(host.Commands.begin(), host.Commands.end(), state.EntryId) != host.Commands.end());
    for (HWND window = FindWindowExA(HWND_MESSAGE, nullptr, nullptr, nullptr); window != nullptr;
         window = FindWindowExA(HWND_MESSAGE, window, nullptr, nullptr))
        CHECK(!insideLibrary(GetWindowLongPtrA(window, GWLP_WNDPROC)));
    WNDCLASSA dialogClass{};
    CHECK(!GetClassInfoA(static_cast<HINSTANCE>(state.Module.lpBaseOfDll), kDialogClass, &dialogClass));
    for (const auto& problem : person.Problems) ReportFailure(__FILE__, __LINE__, problem);
    CHECK_EQ(gToolkitCalls, 0);
}

ABI_TEST(UnloadOnTheHostsThread) {
    UnloadWithAnEntry([] { FreeLibrary(Driver()); });
}

ABI_TEST(UnloadOnAnotherThread) {
    UnloadWithAnEntry([] { OnAnotherThread([] { FreeLibrary(Driver()); }); });
}

}  // namespace
}  // namespace qmx::abi
