// The library's load and unload. A host may free the library and go on
// running: nothing may stay behind that the system would still call into
// the freed code (hooks, window procedures, window classes).

#include <windows.h>

#include "driver/win32/native_menu.h"
#include "ui/application.h"

// The library carries no TLS directory. For every library with one that it
// loads at run time, Wine's loader (8.0) walks a list of the process's
// threads, and a thread ended from outside stays on that list: a host that
// loaded the library again after a port's worker had been terminated died
// in that walk. Windows XP never ran such a directory's callbacks for a
// library loaded at run time. The start-up code's own thread storage (the
// keys behind thread_local, and the destructors that free each thread's
// values) is driven from DllMain instead, the same on every system. A
// thread_local of this library holds plain data only: one with a destructor
// would be destroyed by a second mechanism, after the keys' destructors have
// freed it.
extern "C" {
// Left null, the link takes none of the start-up code's TLS directory.
extern const PIMAGE_TLS_CALLBACK __dyn_tls_init_callback = nullptr;
BOOL __mingw_TLScallback(HANDLE module, DWORD reason, LPVOID reserved);
}

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
    // What the directory's callbacks did: set up at process attach, run a
    // thread's destructors at its detach, and all of them at process detach.
    if (reason != DLL_THREAD_ATTACH) __mingw_TLScallback(module, reason, reserved);
    // A non-null `reserved` means the process is ending: the system takes
    // everything down itself, and threads that ended abruptly may have left
    // the library's locks held.
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        qmx::ReleaseNativeEntries();
        qmx::UnregisterDialogClass();
    }
    return TRUE;
}
