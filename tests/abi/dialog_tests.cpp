// The connection dialog in a real window (under Wine on a virtual display):
// a second thread plays the operator from outside, as a person would.

#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "dll_calls.h"
#include "fake_host.h"
#include "fake_menu.h"
#include "harness.h"
#include "gui_operator.h"
#include "screen_capture.h"

namespace qmx::abi {
namespace {

// "Ошибка" in code page 1251.
const char kErrorCaption[] = "\xCE\xF8\xE8\xE1\xEA\xE0";

constexpr int kComboId = 101;
constexpr int kLabelId = 102;
constexpr int kTabsId = 100;

std::string ConfigPath() {
    char directory[MAX_PATH] = {};
    GetWindowsDirectoryA(directory, sizeof directory);
    return std::string(directory) + "\\cnf.ini";
}

// The operator, on a thread of its own; what it found wrong is kept for the
// test's own thread to report.
struct TOperator {
    TFakeHost* Host = nullptr;
    std::vector<std::string> Problems;
    std::string ScreenshotDirectory;

    void Expect(bool condition, const std::string& what) {
        if (!condition) Problems.push_back(what);
    }

    HWND FindMessageBox() {
        HWND box = nullptr;
        WaitFor([&] { return (box = FindWindowA("#32770", kErrorCaption)) != nullptr; }, 5000);
        return box;
    }

    void Run() {
        HWND dialog = nullptr;
        if (!WaitFor([&] { return (dialog = ConnectionDialog()) != nullptr; })) {
            Problems.push_back("the dialog never appeared");
            return;
        }
        WaitFor([&] { return IsWindowVisible(dialog) != FALSE; });
        HWND combo = GetDlgItem(dialog, kComboId);
        HWND save = GetDlgItem(dialog, IDOK);
        HWND cancel = GetDlgItem(dialog, IDCANCEL);

        RECT client{};
        GetClientRect(dialog, &client);
        Expect(client.right == 358 && client.bottom == 106, "client area 358 x 106");
        RECT frame{};
        GetWindowRect(dialog, &frame);
        const int centreX = (frame.left + frame.right) / 2 - GetSystemMetrics(SM_CXSCREEN) / 2;
        const int centreY = (frame.top + frame.bottom) / 2 - GetSystemMetrics(SM_CYSCREEN) / 2;
        Expect(centreX >= -2 && centreX <= 2 && centreY >= -2 && centreY <= 2, "centred on the desktop");

        Expect(SendMessageA(combo, CB_GETCOUNT, 0, 0) == 12, "twelve entries");
        char entry[64] = {};
        SendMessageA(combo, CB_GETLBTEXT, 3, reinterpret_cast<LPARAM>(entry));
        Expect(std::string(entry) == "\xCF\xEE\xF0\xF2 COM1", "entry 3 is Порт COM1");
        SendMessageA(combo, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(entry));
        Expect(std::string(entry) == "\xC1\xEB\xEE\xEA \xF1\xE2\xFF\xE7\xE8 \xB9" "1", "entry 0 is Блок связи №1");
        SendMessageA(combo, CB_GETLBTEXT, 11, reinterpret_cast<LPARAM>(entry));
        Expect(std::string(entry).empty(), "entry 11 is empty");
        Expect(SendMessageA(combo, CB_GETCURSEL, 0, 0) == 1, "the current type (block 2) is selected");
        Expect(IsWindowEnabled(save) == FALSE, "Save is disabled on show");
        Expect(Text(save) == "\xD1\xEE\xF5\xF0\xE0\xED\xE8\xF2\xFC", "Save reads Сохранить");
        Expect(Text(cancel) == "\xCE\xF2\xEC\xE5\xED\xE0", "Cancel reads Отмена");
        Expect(Text(GetDlgItem(dialog, kLabelId)) ==
                   "\xC7\xEE\xF0\xED\xE0 \xEF\xEE\xE4\xEA\xEB\xFE\xF7\xE5\xED\xE0 \xEA:",
               "the label");
        char tab[64] = {};
        TCITEMA item{};
        item.mask = TCIF_TEXT;
        item.pszText = tab;
        item.cchTextMax = sizeof tab;
        SendMessageA(GetDlgItem(dialog, kTabsId), TCM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
        Expect(std::string(tab) == "\xCD\xE0\xF1\xF2\xF0\xEE\xE9\xEA\xE8 \xE4\xF0\xE0\xE9\xE2\xE5\xF0\xE0",
               "the tab reads Настройки драйвера");
        POINT cancelAt{0, 0};
        RECT cancelBounds{};
        GetWindowRect(cancel, &cancelBounds);
        cancelAt = {cancelBounds.left, cancelBounds.top};
        ScreenToClient(dialog, &cancelAt);
        Expect(cancelAt.x == 280 && cancelAt.y == 696, "Cancel stands at 280, 696, out of sight");
        LOGFONTA font{};
        GetObjectA(reinterpret_cast<HFONT>(SendMessageA(combo, WM_GETFONT, 0, 0)), sizeof font, &font);
        Expect(std::string(font.lfFaceName) == "MS Sans Serif" && font.lfHeight == -11, "MS Sans Serif, 11 pixels");

        if (!ScreenshotDirectory.empty()) {
            Sleep(300);
            RECT area{};
            GetWindowRect(dialog, &area);
            Expect(tools::SaveScreenArea(area, ScreenshotDirectory + "\\connection-dialog.png"), "the screenshot");
        }

        // Enter does nothing while Save is disabled.
        PostMessageA(combo, WM_KEYDOWN, VK_RETURN, 0);
        Sleep(300);
        Expect(Host->TakeCalls().empty(), "Enter with Save disabled changes nothing");

        // The operator picks block 3 and presses Enter.
        SendMessageA(combo, CB_SETCURSEL, 2, 0);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(kComboId, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
        Expect(IsWindowEnabled(save) != FALSE, "a new selection enables Save");
        PostMessageA(combo, WM_KEYDOWN, VK_RETURN, 0);
        Expect(WaitFor([&] { return IsWindowEnabled(save) == FALSE; }), "Save is disabled again after saving");
        Expect(GetPrivateProfileIntA("QX", "ConnectionType", -1, ConfigPath().c_str()) == 2, "cnf.ini holds 2");
        const auto calls = Host->TakeCalls();
        Expect(!calls.empty() && calls[0] == "RegisterLineSetup(49)", "the silo set up block 3");

        // COM3 cannot be opened here: the driver says so in a message box.
        SendMessageA(combo, CB_SETCURSEL, 5, 0);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(kComboId, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
        PostMessageA(save, BM_CLICK, 0, 0);
        HWND box = FindMessageBox();
        Expect(box != nullptr, "a message box for the port");
        if (box != nullptr) {
            std::string text;
            for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
                text += Text(child) + "|";
            Expect(text.find("\xCD\xE5\xE2\xEE\xE7\xEC\xEE\xE6\xED\xEE \xEE\xF2\xEA\xF0\xFB\xF2\xFC \xEF\xEE\xF0\xF2 COM "
                             "\xE4\xEB\xFF \xF3\xF0\xEE\xE2\xED\xE5\xEC\xE5\xF0\xE0!") != std::string::npos,
                   "the message reads Невозможно открыть порт COM для уровнемера!");
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        }
        Expect(WaitFor([&] { return IsWindowEnabled(save) == FALSE; }), "Save disabled after the failed switch");
        Expect(GetPrivateProfileIntA("QX", "ConnectionType", -1, ConfigPath().c_str()) == 5, "cnf.ini holds 5");

        // Esc closes the dialog though no Cancel button is seen.
        PostMessageA(combo, WM_KEYDOWN, VK_ESCAPE, 0);
        Expect(WaitFor([&] { return ConnectionDialog() == nullptr; }), "Esc closes");
    }
};

DWORD WINAPI OperatorMain(void* operatorState) {
    static_cast<TOperator*>(operatorState)->Run();
    return 0;
}

ABI_TEST(DialogInARealWindow) {
    const std::string config = ConfigPath();
    {
        HANDLE file = CreateFileA(config.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        const char text[] = "; station\r\n[QX]\r\nConnectionType=1\r\n";
        DWORD written = 0;
        WriteFile(file, text, sizeof text - 1, &written, nullptr);
        CloseHandle(file);
    }
    TFakeHost host;
    void* silo = NewSiloEx(&host);
    TFakeMenuItem* root = NewMenuItem(1);
    TFakeMenuItem* settings = root->AddChild("&\xCD\xE0\xF1\xF2\xF0\xEE\xE9\xEA\xE0");
    CallSlot(silo, 15, {Word(root), 0});
    CHECK_EQ(settings->Children.size(), 1u);
    if (settings->Children.empty()) return;
    const TFakeMenuItem& entry = *settings->Children[0];

    TOperator person;
    person.Host = &host;
    if (const char* directory = std::getenv("QMX_SCREENSHOT_DIR")) person.ScreenshotDirectory = directory;
    HANDLE thread = CreateThread(nullptr, 0, &OperatorMain, &person, 0, nullptr);
    // The host calls the entry's click handler: the dialog runs modally here.
    const TCallResult click = CallEntry(reinterpret_cast<const void*>(entry.ClickEntry), {entry.ClickObject, Word(&entry)});
    CHECK_EQ(click.StackDelta, 0);
    CHECK(WaitForSingleObject(thread, 30000) == WAIT_OBJECT_0);
    CloseHandle(thread);
    for (const auto& problem : person.Problems) ReportFailure(__FILE__, __LINE__, problem);
    DestroySilo(silo);
    DeleteFileA(config.c_str());
}

// --- The dialog as a modal window of a host with windows of its own. ------

// A key as the keyboard gives it, to the window in front.
void Type(WORD key, bool shift = false) {
    std::vector<INPUT> inputs;
    auto add = [&](WORD code, DWORD flags) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = code;
        input.ki.dwFlags = flags;
        inputs.push_back(input);
    };
    if (shift) add(VK_SHIFT, 0);
    add(key, 0);
    add(key, KEYEVENTF_KEYUP);
    if (shift) add(VK_SHIFT, KEYEVENTF_KEYUP);
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

BOOL CALLBACK CountDialog(HWND window, LPARAM counter) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    if (std::string(name) == kDialogClass) ++*reinterpret_cast<int*>(counter);
    return TRUE;
}

int CountDialogs() {
    int count = 0;
    EnumWindows(&CountDialog, reinterpret_cast<LPARAM>(&count));
    return count;
}

struct TModalHost {
    HWND Main = nullptr;
    HWND Toolbox = nullptr;
    TWord ClickEntry = 0, ClickObject = 0;
    volatile LONG NestedReturned = 0;
};
TModalHost* gModalHost = nullptr;

// The host's window: WM_APP clicks the entry again, from inside the dialog's
// loop, as a host's own code might.
LRESULT CALLBACK ModalHostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) {
        CallEntry(reinterpret_cast<const void*>(gModalHost->ClickEntry), {gModalHost->ClickObject, 0});
        InterlockedExchange(&gModalHost->NestedReturned, 1);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND HostWindow(const char* title, int left) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &ModalHostProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "ModalHost";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "ModalHost", title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, left, 60, 300, 150,
                                  nullptr, nullptr, windowClass.hInstance, nullptr);
    return window;
}

ABI_TEST(DialogIsModalToTheWholeHost) {
    enum class TAct { TabOrder, SecondClick, Quit };
    const TAct acts[] = {TAct::TabOrder, TAct::SecondClick, TAct::Quit};
    for (TAct act : acts) {
        TModalHost host;
        gModalHost = &host;
        host.Toolbox = HostWindow("Toolbox", 420);
        host.Main = HostWindow("Station", 60);
        SetForegroundWindow(host.Main);
        void* silo = NewSiloEx3(nullptr, 2, 1);
        TFakeMenuItem* root = NewMenuItem(1);
        TFakeMenuItem* settings = root->AddChild("&\xCD\xE0\xF1\xF2\xF0\xEE\xE9\xEA\xE0");
        CallSlot(silo, 15, {Word(root), 0});
        host.ClickEntry = settings->Children.at(0)->ClickEntry;
        host.ClickObject = settings->Children.at(0)->ClickObject;

        struct TPerson : TOperatorProblems {
            TModalHost* Host;
            TAct Act;
            DWORD HostThread;
            void Run() {
                HWND dialog = ShownConnectionDialog();
                if (dialog == nullptr) return Expect(false, "the dialog opens");
                HWND combo = GetDlgItem(dialog, kComboId), save = GetDlgItem(dialog, IDOK),
                     cancel = GetDlgItem(dialog, IDCANCEL);
                Expect(GetWindow(dialog, GW_OWNER) == Host->Main, "owned by the host's active window");
                Expect(!IsWindowEnabled(Host->Main) && !IsWindowEnabled(Host->Toolbox),
                       "every window of the host is disabled");
                Expect(WaitFor([&] { return FocusOf(dialog) == combo; }), "the list has the focus");
                if (Act == TAct::TabOrder) {
                    struct TStep {
                        bool Shift;
                        HWND Focus;
                        const char* What;
                    };
                    // Save is disabled at first: Tab passes it.
                    for (const TStep& step : {TStep{false, cancel, "Tab: list to Cancel"},
                                              TStep{false, combo, "Tab: Cancel to list"}}) {
                        Type(VK_TAB, step.Shift);
                        Expect(WaitFor([&] { return FocusOf(dialog) == step.Focus; }, 3000), step.What);
                    }
                    SendMessageA(combo, CB_SETCURSEL, 4, 0);
                    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(kComboId, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
                    for (const TStep& step :
                         {TStep{false, save, "Tab: list to Save"}, TStep{false, cancel, "Tab: Save to Cancel"},
                          TStep{false, combo, "Tab: Cancel to list"}, TStep{true, cancel, "Shift+Tab: list to Cancel"},
                          TStep{true, save, "Shift+Tab: Cancel to Save"}, TStep{true, combo, "Shift+Tab: Save to list"}}) {
                        Type(VK_TAB, step.Shift);
                        Expect(WaitFor([&] { return FocusOf(dialog) == step.Focus; }, 3000), step.What);
                    }
                    Press(combo, VK_ESCAPE);
                } else if (Act == TAct::SecondClick) {
                    PostMessageA(Host->Main, WM_APP, 0, 0);
                    Expect(WaitFor([&] { return Host->NestedReturned != 0; }), "the second click returns at once");
                    Expect(CountDialogs() == 1, "no second dialog");
                    Press(combo, VK_ESCAPE);
                } else {
                    PostThreadMessageA(HostThread, WM_QUIT, 42, 0);
                }
                Expect(WaitFor([] { return ConnectionDialog() == nullptr; }), "the dialog closes");
            }
        } person;
        person.Host = &host;
        person.Act = act;
        person.HostThread = GetCurrentThreadId();
        auto run = [&] {
            person.Run();
            CloseLeftDialogs();
        };
        HANDLE thread = StartThread(run);
        const TCallResult click = CallEntry(reinterpret_cast<const void*>(host.ClickEntry), {host.ClickObject, 0});
        CHECK_EQ(click.StackDelta, 0);
        CHECK(WaitForSingleObject(thread, 30000) == WAIT_OBJECT_0);
        CloseHandle(thread);
        for (const auto& problem : person.Problems) ReportFailure(__FILE__, __LINE__, problem);
        CHECK(IsWindowEnabled(host.Main) && IsWindowEnabled(host.Toolbox));
        MSG quit{};
        const bool quitSeen = PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
        CHECK_EQ(quitSeen, act == TAct::Quit);
        if (quitSeen) CHECK_EQ(quit.wParam, 42u);
        DestroySilo(silo);
        DestroyWindow(host.Main);
        DestroyWindow(host.Toolbox);
    }
}

}  // namespace
}  // namespace qmx::abi
