#pragma once

// The serial devices a tool could open, found without opening any: opening
// a tty to probe it can disturb what is on it (the system console, a
// modem), so the list comes from what the system already knows.

#include <map>
#include <string>
#include <vector>

namespace qmx::tools {

struct TSerialDevice {
    std::string Path;    // what --device takes
    std::string Com;     // "COM3" when --com reaches it, else empty
    std::string Driver;  // the kernel's driver, or the name the system gives the port
    std::string Note;    // why it may not do ("permission denied ..."); empty when it should
};

// The system's serial devices, ordered by path (on Windows by port number).
std::vector<TSerialDevice> ListSerialDevices();

// On Linux: the ttys under `sysClassTty` (as /sys/class/tty) that have a
// device behind them, with their nodes under `devDir` (as /dev), and the
// devices `comVariables` (QMX_COMn, by n) give COM numbers.
std::vector<TSerialDevice> ListSerialDevicesUnder(const std::string& sysClassTty, const std::string& devDir,
                                                  const std::map<int, std::string>& comVariables);

// One line a device, for people; a line saying so when there is none.
std::string FormatDeviceList(const std::vector<TSerialDevice>& devices);

}  // namespace qmx::tools
