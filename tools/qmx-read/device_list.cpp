#include "device_list.h"

#include <cstdio>

#include "json_string.h"

namespace qmx::tools {
namespace {

// "USB 0403:6001 FTDI FT232R USB UART, serial A10K7QZ1".
std::string UsbIdentity(const TSerialDevice& device) {
    std::string text = "USB " + device.UsbVid + ":" + device.UsbPid;
    for (const std::string* part : {&device.Manufacturer, &device.Product})
        if (!part->empty()) text += " " + *part;
    if (!device.SerialNumber.empty()) text += ", serial " + device.SerialNumber;
    return text;
}

// One line of the table, its columns aligned, no trailing spaces.
std::string Row(const std::string& com, const std::string& path, const std::string& driver,
                const std::string& location, const std::string& note) {
    char line[512];
    std::snprintf(line, sizeof line, "%-6s  %-24s  %-16s  %-13s  %s", com.c_str(), path.c_str(), driver.c_str(),
                  location.c_str(), note.c_str());
    std::string row = line;
    row.erase(row.find_last_not_of(' ') + 1);
    return row + "\n";
}

}  // namespace

std::string FormatDeviceList(const std::vector<TSerialDevice>& devices, bool filtered) {
    // Unfiltered, an empty list says so; filtered, the header alone says
    // that nothing matched, and a script sees no row.
    if (devices.empty() && !filtered) return "no serial devices found\n";
    std::string text = Row("COM", "DEVICE", "DRIVER", "LOCATION", "NOTE");
    for (const auto& device : devices) {
        text += Row(device.Com, device.Path, device.Driver, device.Location, device.Note);
        if (!device.UsbVid.empty()) text += "        " + UsbIdentity(device) + "\n";
        for (const std::string* link : {&device.ById, &device.ByPath})
            if (!link->empty()) text += "        " + *link + "\n";
    }
    return text;
}

std::string FormatDeviceListJson(const std::vector<TSerialDevice>& devices) {
    std::string json = "[";
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const TSerialDevice& d = devices[i];
        const auto field = [](const char* name, const std::string& value) {
            return std::string(", \"") + name + "\": " + (value.empty() ? "null" : JsonString(value));
        };
        json += std::string(i == 0 ? "\n" : ",\n") + "  {\"path\": " + JsonString(d.Path) + field("com", d.Com) +
                field("driver", d.Driver) + field("vid", d.UsbVid) + field("pid", d.UsbPid) +
                field("manufacturer", d.Manufacturer) + field("product", d.Product) +
                field("serial_number", d.SerialNumber) + field("by_id", d.ById) + field("location", d.Location) +
                field("by_path", d.ByPath) + field("note", d.Note) + "}";
    }
    return json + (devices.empty() ? "]\n" : "\n]\n");
}

}  // namespace qmx::tools
