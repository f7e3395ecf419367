#include <windows.h>
#include <io.h>

#include <cstdlib>

#include "exit_status.h"
#include "reader_system.h"

namespace qmx::tools {
namespace {

void (*gStop)(int) = nullptr;

// Windows runs a console control handler on a thread it makes for the
// event, so the handler may take the output's lock like a signal thread.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (gStop == nullptr) return FALSE;
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT: gStop(kInterrupted); return TRUE;
        // Windows ends the process soon after the handler returns from
        // these: the output is closed before.
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT: gStop(kTerminated); return TRUE;
        default: return FALSE;
    }
}

}  // namespace

void PrepareForStops() {}

void WatchForStops(void (*stop)(int status)) {
    gStop = stop;
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

void EndAsBrokenPipe() {}

// The toolchain's threads model has no std::this_thread.
void PauseFor(std::chrono::milliseconds time) { Sleep(static_cast<DWORD>(time.count())); }

}  // namespace qmx::tools
