// The library's unload. A host may free the library and go on running:
// nothing may stay behind that the system would still call into the freed
// code (hooks, window procedures, window classes).

#include <windows.h>

#include "driver/win32/native_menu.h"
#include "ui/application.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE /*module*/, DWORD reason, LPVOID reserved) {
    // A non-null `reserved` means the process is ending: the system takes
    // everything down itself, and threads that ended abruptly may have left
    // the library's locks held.
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        qmx::ReleaseNativeEntries();
        qmx::UnregisterDialogClass();
    }
    return TRUE;
}
