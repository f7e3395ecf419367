#include <windows.h>

#include "serial/com_port_name.h"
#include "serial/serial_choice.h"

namespace qmx {
namespace {

std::string SystemMessage(DWORD error) {
    char text[256] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, sizeof text,
                   nullptr);
    std::string message = text;
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return message.empty() ? "error " + std::to_string(error) : message;
}

// A COM port is opened exclusively: opening it is the check, as the driver
// will open it a moment later.
bool CheckPort(int number, std::string& problem) {
    const std::string path = ComPortPath(number);
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        return true;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        problem = "no such device";
    else if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)
        problem = "in use by another program";
    else
        problem = SystemMessage(error);
    return false;
}

}  // namespace

bool ChooseSerialDevice(const std::string& device, int com, TSerialChoice& choice, std::string& problem) {
    choice.Com = com;
    if (!device.empty()) {
        choice.Com = ComPortNumberOf(device);
        if (choice.Com == 0) {
            problem = "the driver opens COM ports by number: give --device \\\\.\\COMn or --com n, not '" + device +
                      "'";
            return false;
        }
    }
    choice.Name = device.empty() ? "COM" + std::to_string(choice.Com) : device;
    return CheckPort(choice.Com, problem);
}

}  // namespace qmx
