#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/whole_number.h"
#include "serial/com_port_name.h"
#include "serial/serial_devices.h"

namespace qmx {
namespace {

namespace fs = std::filesystem;

std::string FirstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// COMn for /dev/ttyS<n-1>, the driver's default for a port number.
std::string ComOfTtyS(const std::string& name) {
    if (name.rfind("ttyS", 0) != 0) return {};
    const auto index = ParseWholeNumber(name.substr(4), 0, kHighestComPort - 1);
    return index ? "COM" + std::to_string(*index + 1) : std::string();
}

std::string AccessNote(const std::string& path) {
    if (::access(path.c_str(), R_OK | W_OK) == 0) return {};
    return "permission denied (is the user in the dialout group?)";
}

// The driver that serves the device. Newer kernels put a port device and
// its controller between a UART's tty and the device that has the chip,
// both bound to drivers of the serial-base bus ("port", "ctrl"): those are
// skipped for the first driver on another bus.
std::string DriverOf(const fs::path& device) {
    std::error_code error;
    std::string fallback;
    for (fs::path at = device; !at.empty() && at != at.root_path(); at = at.parent_path()) {
        const fs::path driver = fs::canonical(at / "driver", error);
        if (error) {
            error.clear();
            if (at == device) continue;
            break;
        }
        const std::string bus = driver.parent_path().parent_path().filename().string();
        if (bus != "serial-base") return driver.filename().string();
        if (fallback.empty()) fallback = driver.filename().string();
    }
    return fallback;
}

// The USB device the tty hangs from, whether its tty sits on the interface
// (cdc_acm) or on a usb-serial port below it (ftdi_sio, cp210x): the
// nearest ancestor with the descriptors' vendor and product ids. The
// interface is the directory just below it, named by its port path.
void AddUsbIdentity(const fs::path& device, TSerialDevice& out) {
    std::error_code error;
    fs::path below = device;
    for (fs::path at = device; !at.empty() && at != at.root_path(); below = at, at = at.parent_path()) {
        if (!fs::exists(at / "idVendor", error) || !fs::exists(at / "idProduct", error)) continue;
        out.Location = below.filename().string();
        out.UsbVid = FirstLine(at / "idVendor");
        out.UsbPid = FirstLine(at / "idProduct");
        out.Manufacturer = FirstLine(at / "manufacturer");
        out.Product = FirstLine(at / "product");
        out.SerialNumber = FirstLine(at / "serial");
        return;
    }
}

// udev's links in `directory` (by identity, by place), by the node each
// names.
std::map<std::string, std::string> LinksIn(const std::string& directory) {
    std::map<std::string, std::string> links;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(directory, error)) {
        const fs::path target = fs::canonical(entry.path(), error);
        if (error) {
            error.clear();
            continue;
        }
        // Several links may name one node (interfaces); the first in
        // natural order is shown.
        auto& link = links[target.string()];
        if (link.empty() || NaturallyBefore(entry.path().string(), link)) link = entry.path().string();
    }
    return links;
}

}  // namespace

std::vector<TSerialDevice> ListSerialDevicesUnder(const TDeviceTree& tree,
                                                  const std::map<int, std::string>& comVariables) {
    std::vector<TSerialDevice> devices;
    std::error_code error;
    const auto byId = LinksIn(tree.ById);
    const auto byPath = LinksIn(tree.ByPath);
    for (const auto& entry : fs::directory_iterator(tree.SysClassTty, error)) {
        const std::string name = entry.path().filename().string();
        // Virtual terminals and ptys have no device behind them.
        if (!fs::exists(entry.path() / "device", error)) continue;
        // A legacy UART slot that the kernel found no chip in reports type 0.
        if (fs::exists(entry.path() / "type", error) && FirstLine(entry.path() / "type") == "0") continue;
        const fs::path node = fs::path(tree.Dev) / name;
        if (!fs::exists(node, error)) continue;
        TSerialDevice device;
        device.Path = node.string();
        const fs::path behind = fs::canonical(entry.path() / "device", error);
        device.Driver = DriverOf(behind);
        AddUsbIdentity(behind, device);
        const std::string target = fs::canonical(node, error).string();
        if (const auto link = byId.find(target); link != byId.end()) device.ById = link->second;
        if (const auto link = byPath.find(target); link != byPath.end()) device.ByPath = link->second;
        device.Com = ComOfTtyS(name);
        device.Note = AccessNote(device.Path);
        if (FirstLine(entry.path() / "console") == "Y")
            device.Note = "the system console" + (device.Note.empty() ? "" : "; " + device.Note);
        devices.push_back(device);
    }
    for (const auto& variable : comVariables) {
        const std::string& path = variable.second;
        const std::string com = "COM" + std::to_string(variable.first);
        // The variable takes the number from the ttyS that would have it.
        for (auto& device : devices)
            if (device.Com == com) device.Com.clear();
        auto known = std::find_if(devices.begin(), devices.end(), [&](const TSerialDevice& d) { return d.Path == path; });
        if (known == devices.end()) {
            if (!fs::exists(path, error)) continue;
            TSerialDevice named;
            named.Path = path;
            named.Com = com;
            named.Driver = "QMX_" + com;
            named.Note = AccessNote(path);
            devices.push_back(named);
        } else {
            known->Com = com;
        }
    }
    std::sort(devices.begin(), devices.end(),
              [](const TSerialDevice& a, const TSerialDevice& b) { return NaturallyBefore(a.Path, b.Path); });
    return devices;
}

std::vector<TSerialDevice> ListSerialDevices() {
    std::map<int, std::string> variables;
    for (int number = 1; number <= kHighestComPort; ++number) {
        const char* value = std::getenv(("QMX_COM" + std::to_string(number)).c_str());
        if (value != nullptr && *value != '\0') variables[number] = value;
    }
    return ListSerialDevicesUnder(TDeviceTree{}, variables);
}

}  // namespace qmx
