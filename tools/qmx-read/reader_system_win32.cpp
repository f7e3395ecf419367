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

bool SharesStandardOutput(const std::string& path) {
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == INVALID_HANDLE_VALUE || out == nullptr || ::GetFileType(out) != FILE_TYPE_DISK) return false;
    // Only its identity is asked: no access to its contents.
    const HANDLE named = ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (named == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION a{}, b{};
    const bool known = ::GetFileInformationByHandle(named, &a) && ::GetFileInformationByHandle(out, &b);
    ::CloseHandle(named);
    return known && a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

void EndAsBrokenPipe() {}

// The toolchain's threads model has no std::this_thread.
void PauseFor(std::chrono::milliseconds time) { Sleep(static_cast<DWORD>(time.count())); }

}  // namespace qmx::tools
