#pragma once

// The settings entry in a host's native Win32 menu bar: the way a toolkit
// host gets it. The toolkit's own menu objects are never called; the entry
// is a plain menu item that the library keeps in the host's "&Настройка"
// popup.
//
// - The popup: among the process's top-level windows (those of the thread
//   that installed the entry first, then the others), the first whose menu
//   bar has a direct popup captioned exactly "&Настройка", in code page 1251
//   as the host's ANSI calls see it. A window found once stays the one as
//   long as it has that popup.
// - The entry is appended there at once when the window exists, and made
//   the popup's last item again whenever the popup opens: a hook on the
//   thread sees WM_INITMENUPOPUP after the host has handled it, since
//   toolkits create their main window after the silo and rebuild a popup's
//   items (all removed, then added again) whenever one of them changes.
// - Choosing it: the menu posts WM_COMMAND with the entry's id to the
//   window. A message hook turns that message into WM_NULL before the host
//   gets it and posts the click to a message-only window of the library on
//   the thread that installed the entry, whose window procedure runs the
//   click outside any hook.
// - Command ids 0xD500 to 0xD5FF, one per live entry (so at most 256 at
//   once). Toolkits number their own items upwards from 1; every WM_COMMAND
//   from a menu with an id in this range is taken from the host, also one
//   that arrives after its entry is gone.
//
// Hooks run on the thread that installed an entry and on the thread of the
// window that holds it, while an entry uses them.

#include <windows.h>

#include <string>

namespace qmx {

constexpr UINT kFirstEntryId = 0xD500;
constexpr UINT kEntryIdCount = 256;

// Runs when the operator chooses the entry; `silo` as installed.
using TEntryClick = void (*)(void* silo);

// Installs the entry of `silo` with its caption. Call on the host's
// user-interface thread; the click runs there.
void InstallNativeEntry(void* silo, const std::string& caption, TEntryClick click);

// Takes the entry of `silo` out of the menu and out of use, with the hooks
// and the window no entry needs any more. Any thread.
void RemoveNativeEntry(void* silo);

// Leaves nothing behind that points into the library: every entry, hook and
// window. For the library's unload.
void ReleaseNativeEntries();

}  // namespace qmx
