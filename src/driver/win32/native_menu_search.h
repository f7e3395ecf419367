#pragma once

// Finding the host's settings popup among its windows' menu bars, and
// keeping items at its end.

#include <windows.h>

#include <string>
#include <vector>

namespace qmx {

// The first direct popup of the window's menu bar captioned "&Настройка"
// exactly, or null.
HMENU SettingsPopupOf(HWND window);

// The first top-level window of this process that has such a popup: the
// windows of `thread` first, then all others; null when there is none.
HWND FindSettingsWindow(DWORD thread);

struct TMenuEntryItem {
    UINT Id;
    const std::string* Caption;
};

// Makes `items` the last items of `popup`, in this order, unless they are
// already. Items with these ids elsewhere in the popup move to the end.
void KeepAtEnd(HMENU popup, const std::vector<TMenuEntryItem>& items);

}  // namespace qmx
