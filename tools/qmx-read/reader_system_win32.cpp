#include <windows.h>
#include <io.h>

#include <cstdlib>

#include "exit_status.h"
#include "netline/net_address.h"
#include "network_device.h"
#include "reader_system.h"
#include "serial/com_port_name.h"

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

std::string SystemMessage(DWORD error) {
    char text[256] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, sizeof text,
                   nullptr);
    std::string message = text;
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return message.empty() ? "error " + std::to_string(error) : message;
}

}  // namespace

void PrepareForStops() {}

void WatchForStops(void (*stop)(int status)) {
    gStop = stop;
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

void EndAsBrokenPipe() {}

bool ChooseDevice(const TOptions& options, TChosenDevice& device, std::string& problem) {
    if (options.Network) return ChooseNetworkDevice(options, device, problem);
    device.Com = options.Com;
    if (!options.Device.empty()) {
        device.Com = ComPortNumberOf(options.Device);
        if (device.Com == 0) {
            problem = "the driver opens COM ports by number: give --device \\\\.\\COMn or --com n, not '" +
                      options.Device + "'";
            return false;
        }
    }
    device.Name = options.Device.empty() ? "COM" + std::to_string(device.Com) : options.Device;
    // A COM port is opened exclusively: opening it is the check, as the
    // driver will open it a moment later.
    const std::string path = ComPortPath(device.Com);
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            problem = "no such device";
        else if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)
            problem = "in use by another program";
        else
            problem = SystemMessage(error);
        return false;
    }
    CloseHandle(handle);
    return true;
}

// The toolchain's threads model has no std::this_thread.
void PauseFor(std::chrono::milliseconds time) { Sleep(static_cast<DWORD>(time.count())); }

}  // namespace qmx::tools
