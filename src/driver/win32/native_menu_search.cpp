#include "driver/win32/native_menu_search.h"

#include <cstring>

#include "driver/silo.h"

namespace qmx {
namespace {

struct TSearch {
    HWND Found = nullptr;
    DWORD Process = 0;  // 0: any window handed over
};

BOOL CALLBACK TakeFirstWithPopup(HWND window, LPARAM context) {
    auto& search = *reinterpret_cast<TSearch*>(context);
    if (search.Process != 0) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process != search.Process) return TRUE;
    }
    if (SettingsPopupOf(window) == nullptr) return TRUE;
    search.Found = window;
    return FALSE;
}

}  // namespace

HMENU SettingsPopupOf(HWND window) {
    HMENU bar = GetMenu(window);
    if (bar == nullptr || !IsMenu(bar)) return nullptr;
    const std::size_t length = std::strlen(kSettingsMenuCaption);
    const int count = GetMenuItemCount(bar);
    for (int i = 0; i < count; ++i) {
        HMENU popup = GetSubMenu(bar, i);
        if (popup == nullptr) continue;
        // The ANSI text, as the host's own ANSI calls put it there: the
        // caption's code page 1251 bytes on the station's Russian Windows.
        char text[64] = {};
        const int copied = GetMenuStringA(bar, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
        if (copied == static_cast<int>(length) && std::memcmp(text, kSettingsMenuCaption, length) == 0) return popup;
    }
    return nullptr;
}

HWND FindSettingsWindow(DWORD thread) {
    TSearch search;
    EnumThreadWindows(thread, &TakeFirstWithPopup, reinterpret_cast<LPARAM>(&search));
    if (search.Found != nullptr) return search.Found;
    search.Process = GetCurrentProcessId();
    EnumWindows(&TakeFirstWithPopup, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

void KeepAtEnd(HMENU popup, const std::vector<TMenuEntryItem>& items) {
    if (popup == nullptr || items.empty()) return;
    const int count = GetMenuItemCount(popup);
    const int first = count - static_cast<int>(items.size());
    bool inPlace = first >= 0;
    for (std::size_t i = 0; inPlace && i < items.size(); ++i)
        inPlace = GetMenuItemID(popup, first + static_cast<int>(i)) == items[i].Id;
    if (inPlace) return;
    for (const auto& item : items) RemoveMenu(popup, item.Id, MF_BYCOMMAND);
    for (const auto& item : items) AppendMenuA(popup, MF_STRING, item.Id, item.Caption->c_str());
}

}  // namespace qmx
