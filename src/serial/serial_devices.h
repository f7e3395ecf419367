#pragma once

// The serial devices a program could open, found without opening any: opening
// a tty to probe it can disturb what is on it (the system console, a
// modem), so the list comes from what the system already knows.

#include <map>
#include <string>
#include <vector>

namespace qmx {

struct TSerialDevice {
    std::string Path;    // what --device takes
    std::string Com;     // "COM3" when --com reaches it, else empty
    std::string Driver;  // the kernel's driver, or the name the system gives the port
    std::string Note;    // why it may not do ("permission denied ..."); empty when it should
    // Of a USB adapter, as its descriptors give them; empty otherwise.
    std::string UsbVid = {};  // "0403"
    std::string UsbPid = {};  // "6001"
    std::string Manufacturer = {};
    std::string Product = {};
    std::string SerialNumber = {};
    // The name udev gives it by its identity, which stays when adapters
    // are renumbered: /dev/serial/by-id/usb-FTDI_...-if00-port0.
    std::string ById = {};
    // Where it is plugged in, which stays while the hub and its ports do:
    // the USB interface's port path (1-1.4:1.0), and udev's link by it,
    // /dev/serial/by-path/pci-0000:00:14.0-usb-0:1.4:1.0-port0. Two
    // adapters without a serial number are told apart by these.
    std::string Location = {};
    std::string ByPath = {};
};

// The system's serial devices, in natural order of their paths (ttyS2
// before ttyS10; on Windows by port number).
std::vector<TSerialDevice> ListSerialDevices();

// Where a Linux system shows its serial devices.
struct TDeviceTree {
    std::string SysClassTty = "/sys/class/tty";
    std::string Dev = "/dev";
    std::string ById = "/dev/serial/by-id";
    std::string ByPath = "/dev/serial/by-path";
};

// On Linux: the ttys under `tree` that have a device behind them, and the
// devices `comVariables` (QMX_COMn, by n) give COM numbers.
std::vector<TSerialDevice> ListSerialDevicesUnder(const TDeviceTree& tree,
                                                  const std::map<int, std::string>& comVariables);

// "ttyS2" before "ttyS10": runs of digits compare as numbers.
bool NaturallyBefore(const std::string& a, const std::string& b);

}  // namespace qmx
