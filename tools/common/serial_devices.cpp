#include "serial_devices.h"

#include <cstdio>

namespace qmx::tools {

std::string FormatDeviceList(const std::vector<TSerialDevice>& devices) {
    if (devices.empty()) return "no serial devices found\n";
    std::string text;
    for (const auto& device : devices) {
        char line[512];
        std::snprintf(line, sizeof line, "%-6s  %-24s  %-16s  %s", device.Com.c_str(), device.Path.c_str(),
                      device.Driver.c_str(), device.Note.empty() ? "" : device.Note.c_str());
        std::string row = line;
        row.erase(row.find_last_not_of(' ') + 1);
        text += row + "\n";
    }
    return text;
}

}  // namespace qmx::tools
