#pragma once

// The serial device a program is to open, as the user named it, checked
// before a port opens it so that what is wrong can be said plainly: not
// there, in use, no permission, no serial device.

#include <string>

namespace qmx {

struct TSerialChoice {
    int Com = 0;       // the COM port number a silo opens it by
    std::string Path;  // the device COM`Com` stands for, given by path; empty: COM`Com` itself
    std::string Name;  // for messages
};

// The device `device` names (a path; on Windows \\.\COMn or COMn), or
// COM`com` when it names none; false, with the problem, when it will not
// do. `choice` holds what is known of it even then.
bool ChooseSerialDevice(const std::string& device, int com, TSerialChoice& choice, std::string& problem);

}  // namespace qmx
