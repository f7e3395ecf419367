#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "serial_devices.h"
#include "text_file.h"
#include "whole_number.h"

namespace qmx::tools {
namespace {

namespace fs = std::filesystem;

std::string FirstLine(const fs::path& file) {
    std::istringstream in(ReadWholeFile(file.string()).value_or(""));
    std::string line;
    std::getline(in, line);
    return line;
}

// COMn for /dev/ttyS<n-1>, the driver's default for a port number.
std::string ComOfTtyS(const std::string& name) {
    if (name.rfind("ttyS", 0) != 0) return {};
    const auto index = ParseWholeNumber(name.substr(4), 0, 252);
    return index ? "COM" + std::to_string(*index + 1) : std::string();
}

std::string AccessNote(const std::string& path) {
    if (::access(path.c_str(), R_OK | W_OK) == 0) return {};
    return "permission denied (is the user in the dialout group?)";
}

}  // namespace

std::vector<TSerialDevice> ListSerialDevicesUnder(const std::string& sysClassTty, const std::string& devDir,
                                                  const std::map<int, std::string>& comVariables) {
    std::vector<TSerialDevice> devices;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(sysClassTty, error)) {
        const std::string name = entry.path().filename().string();
        // Virtual terminals and ptys have no device behind them.
        if (!fs::exists(entry.path() / "device", error)) continue;
        // A legacy UART slot that the kernel found no chip in reports type 0.
        if (fs::exists(entry.path() / "type", error) && FirstLine(entry.path() / "type") == "0") continue;
        const fs::path node = fs::path(devDir) / name;
        if (!fs::exists(node, error)) continue;
        TSerialDevice device;
        device.Path = node.string();
        device.Driver = fs::read_symlink(entry.path() / "device" / "driver", error).filename().string();
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
            devices.push_back(TSerialDevice{path, com, "QMX_" + com, AccessNote(path)});
        } else {
            known->Com = com;
        }
    }
    std::sort(devices.begin(), devices.end(),
              [](const TSerialDevice& a, const TSerialDevice& b) { return a.Path < b.Path; });
    return devices;
}

std::vector<TSerialDevice> ListSerialDevices() {
    std::map<int, std::string> variables;
    for (int number = 1; number <= 253; ++number) {
        const char* value = std::getenv(("QMX_COM" + std::to_string(number)).c_str());
        if (value != nullptr && *value != '\0') variables[number] = value;
    }
    return ListSerialDevicesUnder("/sys/class/tty", "/dev", variables);
}

}  // namespace qmx::tools
