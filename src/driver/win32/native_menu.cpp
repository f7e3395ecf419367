#include "driver/win32/native_menu.h"

#include <algorithm>
#include <vector>

#include "driver/win32/native_menu_search.h"
#include "platform/recursive_lock.h"

namespace qmx {
namespace {

// Posted to a click window: the entry with this id (wParam) was chosen.
constexpr UINT kEntryChosen = WM_APP + 0x51;

bool IsEntryId(UINT id) { return id >= kFirstEntryId && id < kFirstEntryId + kEntryIdCount; }

struct TEntry {
    void* Silo;
    UINT Id;
    std::string Caption;
    TEntryClick Click;
    DWORD Thread;              // installed it; the click runs there
    HWND Target = nullptr;     // whose menu bar holds the popup
    DWORD TargetThread = 0;
    HMENU Popup = nullptr;     // where the item was last put
};

struct THookedThread {
    DWORD Id;
    HHOOK MenuOpened = nullptr;  // WH_CALLWNDPROCRET
    HHOOK Messages = nullptr;    // WH_GETMESSAGE
    HWND ClickWindow = nullptr;  // on threads that installed an entry
    WNDPROC SystemProc = nullptr;
};

LRESULT CALLBACK MenuOpenedHook(int code, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK MessagesHook(int code, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK ClickWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

class TNativeEntries {
public:
    void Install(void* silo, const std::string& caption, TEntryClick click) {
        TLockGuard guard(FLock);
        const UINT id = FreeId();
        if (id == 0) return;
        FEntries.push_back(TEntry{silo, id, caption, click, GetCurrentThreadId()});
        if (Hooks(GetCurrentThreadId(), true) == nullptr) {
            FEntries.pop_back();
            ReleaseUnusedThreads();
            return;
        }
        Refresh(FEntries.back());
        PlaceIn(FEntries.back().Popup);
    }

    void Remove(void* silo) {
        TLockGuard guard(FLock);
        auto entry = std::find_if(FEntries.begin(), FEntries.end(), [&](const TEntry& e) { return e.Silo == silo; });
        if (entry == FEntries.end()) return;
        if (entry->Popup != nullptr) RemoveMenu(entry->Popup, entry->Id, MF_BYCOMMAND);
        FEntries.erase(entry);
        ReleaseUnusedThreads();
    }

    void ReleaseAll() {
        TLockGuard guard(FLock);
        for (const TEntry& entry : FEntries)
            if (entry.Popup != nullptr) RemoveMenu(entry.Popup, entry.Id, MF_BYCOMMAND);
        FEntries.clear();
        ReleaseUnusedThreads();
    }

    // WM_INITMENUPOPUP has been handled by the host: its items stand as it
    // wants them; ours go after them.
    void PopupOpened(HMENU popup) {
        TLockGuard guard(FLock);
        for (TEntry& entry : FEntries) Refresh(entry);
        PlaceIn(popup);
        ReleaseUnusedThreads();
    }

    // A menu command with an id of ours, about to reach the host.
    void Intercept(MSG& message) {
        const UINT id = LOWORD(message.wParam);
        message.message = WM_NULL;
        message.wParam = 0;
        message.lParam = 0;
        TLockGuard guard(FLock);
        const TEntry* entry = Find(id);
        if (entry == nullptr) return;  // its silo is gone
        if (const THookedThread* thread = Thread(entry->Thread); thread != nullptr && thread->ClickWindow != nullptr)
            PostMessageA(thread->ClickWindow, kEntryChosen, id, 0);
    }

    // On the click window's thread, in its window procedure.
    void Click(UINT id) {
        void* silo = nullptr;
        TEntryClick click = nullptr;
        {
            TLockGuard guard(FLock);
            const TEntry* entry = Find(id);
            if (entry == nullptr) return;
            silo = entry->Silo;
            click = entry->Click;
        }
        click(silo);
    }

    HHOOK NextHook(int kind) {
        TLockGuard guard(FLock);
        const THookedThread* thread = Thread(GetCurrentThreadId());
        if (thread == nullptr) return nullptr;
        return kind == WH_GETMESSAGE ? thread->Messages : thread->MenuOpened;
    }

    LRESULT SystemWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        WNDPROC proc = nullptr;
        {
            TLockGuard guard(FLock);
            for (const THookedThread& thread : FThreads)
                if (thread.ClickWindow == window) proc = thread.SystemProc;
        }
        return proc != nullptr ? CallWindowProcA(proc, window, message, wParam, lParam)
                               : DefWindowProcA(window, message, wParam, lParam);
    }

private:
    UINT FreeId() {
        for (UINT step = 0; step < kEntryIdCount; ++step) {
            // Round the range, so that a click queued for a silo just
            // destroyed does not reach a new one under the same id.
            const UINT id = kFirstEntryId + (FNextId + step) % kEntryIdCount;
            if (Find(id) != nullptr) continue;
            FNextId = (id - kFirstEntryId + 1) % kEntryIdCount;
            return id;
        }
        return 0;
    }

    const TEntry* Find(UINT id) const {
        for (const TEntry& entry : FEntries)
            if (entry.Id == id) return &entry;
        return nullptr;
    }

    THookedThread* Thread(DWORD id) {
        for (THookedThread& thread : FThreads)
            if (thread.Id == id) return &thread;
        return nullptr;
    }

    // The thread's hooks, set now if they are not; with the click window
    // when asked for (only on the calling thread, which owns it). Null when
    // the system refused either.
    THookedThread* Hooks(DWORD id, bool withClickWindow) {
        THookedThread* thread = Thread(id);
        if (thread == nullptr) {
            // A thread of this process: no module handle, the procedures are
            // called in place.
            THookedThread hooked{id};
            hooked.MenuOpened = SetWindowsHookExA(WH_CALLWNDPROCRET, &MenuOpenedHook, nullptr, id);
            hooked.Messages = SetWindowsHookExA(WH_GETMESSAGE, &MessagesHook, nullptr, id);
            if (hooked.MenuOpened == nullptr || hooked.Messages == nullptr) {
                Release(hooked);
                return nullptr;
            }
            FThreads.push_back(hooked);
            thread = &FThreads.back();
        }
        if (withClickWindow && thread->ClickWindow == nullptr) {
            // A system class, subclassed: whichever thread tears it down can
            // give it back its own procedure, and it then closes itself on
            // its thread (DestroyWindow works only there), leaving no class
            // of the library's registered.
            HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
            if (window == nullptr) return nullptr;
            thread->ClickWindow = window;
            thread->SystemProc = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ClickWindowProc)));
        }
        return thread;
    }

    // Finds the entry's window again when it has none or the one it had lost
    // its settings popup, and the popup as it stands now.
    void Refresh(TEntry& entry) {
        if (entry.Target == nullptr || !IsWindow(entry.Target) || SettingsPopupOf(entry.Target) == nullptr) {
            entry.Target = FindSettingsWindow(entry.Thread);
            entry.TargetThread = entry.Target != nullptr ? GetWindowThreadProcessId(entry.Target, nullptr) : 0;
        }
        HMENU popup = entry.Target != nullptr ? SettingsPopupOf(entry.Target) : nullptr;
        if (entry.Popup != nullptr && entry.Popup != popup) RemoveMenu(entry.Popup, entry.Id, MF_BYCOMMAND);
        entry.Popup = popup;
        // The window's own thread sees its menus open and its commands.
        if (entry.Target != nullptr && Hooks(entry.TargetThread, false) == nullptr) entry.Popup = nullptr;
    }

    void PlaceIn(HMENU popup) {
        if (popup == nullptr) return;
        std::vector<TMenuEntryItem> items;
        for (const TEntry& entry : FEntries)
            if (entry.Popup == popup) items.push_back({entry.Id, &entry.Caption});
        KeepAtEnd(popup, items);
    }

    void ReleaseUnusedThreads() {
        for (auto thread = FThreads.begin(); thread != FThreads.end();) {
            const bool used = std::any_of(FEntries.begin(), FEntries.end(), [&](const TEntry& entry) {
                return entry.Thread == thread->Id || (entry.Target != nullptr && entry.TargetThread == thread->Id);
            });
            if (used) {
                ++thread;
                continue;
            }
            Release(*thread);
            thread = FThreads.erase(thread);
        }
    }

    static void Release(const THookedThread& thread) {
        // Any thread may unhook; a hook procedure already running on the
        // hooked thread finishes, and finds no record of its thread.
        if (thread.MenuOpened != nullptr) UnhookWindowsHookEx(thread.MenuOpened);
        if (thread.Messages != nullptr) UnhookWindowsHookEx(thread.Messages);
        if (thread.ClickWindow == nullptr) return;
        if (thread.Id == GetCurrentThreadId()) {
            DestroyWindow(thread.ClickWindow);
            return;
        }
        // Another thread's window: no procedure of ours stays on it, and the
        // system's own closes it when its thread next takes its messages.
        SetWindowLongPtrA(thread.ClickWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(thread.SystemProc));
        PostMessageA(thread.ClickWindow, WM_CLOSE, 0, 0);
    }

    TRecursiveLock FLock;
    std::vector<TEntry> FEntries;  // in the order installed
    std::vector<THookedThread> FThreads;
    UINT FNextId = 0;
};

TNativeEntries& NativeEntries() {
    static TNativeEntries entries;
    return entries;
}

LRESULT CALLBACK MenuOpenedHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const auto& call = *reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        // HIWORD of lParam: the window menu, not one of the bar's popups.
        if (call.message == WM_INITMENUPOPUP && HIWORD(call.lParam) == 0)
            NativeEntries().PopupOpened(reinterpret_cast<HMENU>(call.wParam));
    }
    return CallNextHookEx(NativeEntries().NextHook(WH_CALLWNDPROCRET), code, wParam, lParam);
}

LRESULT CALLBACK MessagesHook(int code, WPARAM wParam, LPARAM lParam) {
    // Only a message being taken off the queue: a peek that leaves it there
    // is followed by the call that takes it.
    if (code == HC_ACTION && (wParam & PM_REMOVE) != 0) {
        auto& message = *reinterpret_cast<MSG*>(lParam);
        // From a menu: notification code 0 and no control.
        if (message.message == WM_COMMAND && HIWORD(message.wParam) == 0 && message.lParam == 0 &&
            IsEntryId(LOWORD(message.wParam)))
            NativeEntries().Intercept(message);
    }
    return CallNextHookEx(NativeEntries().NextHook(WH_GETMESSAGE), code, wParam, lParam);
}

LRESULT CALLBACK ClickWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kEntryChosen) {
        NativeEntries().Click(static_cast<UINT>(wParam));
        return 0;
    }
    return NativeEntries().SystemWindowProc(window, message, wParam, lParam);
}

}  // namespace

void InstallNativeEntry(void* silo, const std::string& caption, TEntryClick click) {
    NativeEntries().Install(silo, caption, click);
}

void RemoveNativeEntry(void* silo) { NativeEntries().Remove(silo); }

void ReleaseNativeEntries() { NativeEntries().ReleaseAll(); }

}  // namespace qmx
