#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

#include "platform/whole_number.h"
#include "serial/com_port_name.h"
#include "serial/serial_devices.h"

namespace qmx {
namespace {

// "COM12" into 12; 0 for any other name.
int ComNumber(const std::string& name) {
    if (name.size() < 4 || _strnicmp(name.c_str(), "COM", 3) != 0) return 0;
    return ParseWholeNumber(name.substr(3), 1, 255).value_or(0);
}

// The ports the serial drivers registered: value name the kernel device,
// value data the COM name.
void AddRegisteredPorts(std::map<int, TSerialDevice>& ports) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    for (DWORD index = 0;; ++index) {
        char device[256];
        BYTE data[256];
        DWORD deviceSize = sizeof device;
        DWORD dataSize = sizeof data - 1;
        DWORD type = 0;
        if (RegEnumValueA(key, index, device, &deviceSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS) break;
        if (type != REG_SZ) continue;
        data[dataSize] = 0;
        const std::string com(reinterpret_cast<const char*>(data));
        if (const int number = ComNumber(com); number != 0) ports[number].Driver = device;
    }
    RegCloseKey(key);
}

// The COM names the object manager knows, for ports whose driver does not
// register (some USB adapters, virtual ports).
void AddDosDevices(std::map<int, TSerialDevice>& ports) {
    std::vector<char> names(1 << 16);
    // The list grows with the machine's devices: a short buffer fails with
    // ERROR_INSUFFICIENT_BUFFER rather than truncating.
    while (QueryDosDeviceA(nullptr, names.data(), static_cast<DWORD>(names.size())) == 0) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || names.size() >= (1u << 24)) return;
        names.resize(names.size() * 4);
    }
    for (const char* name = names.data(); *name != '\0'; name += std::strlen(name) + 1) {
        const int number = ComNumber(name);
        if (number == 0) continue;
        char target[512] = {};
        if (QueryDosDeviceA(name, target, sizeof target) == 0) continue;
        if (ports[number].Driver.empty()) ports[number].Driver = target;
    }
}

}  // namespace

std::vector<TSerialDevice> ListSerialDevicesUnder(const TDeviceTree&, const std::map<int, std::string>&) {
    return ListSerialDevices();
}

std::vector<TSerialDevice> ListSerialDevices() {
    std::map<int, TSerialDevice> ports;
    AddRegisteredPorts(ports);
    AddDosDevices(ports);
    std::vector<TSerialDevice> devices;
    for (auto& [number, device] : ports) {
        device.Com = "COM" + std::to_string(number);
        device.Path = ComPortPath(number);
        devices.push_back(device);
    }
    return devices;
}

}  // namespace qmx
