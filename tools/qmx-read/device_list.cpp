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

}  // namespace

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
        if (!device.UsbVid.empty()) text += "        " + UsbIdentity(device) + "\n";
        if (!device.ById.empty()) text += "        " + device.ById + "\n";
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
                field("serial_number", d.SerialNumber) + field("by_id", d.ById) + field("note", d.Note) + "}";
    }
    return json + (devices.empty() ? "]\n" : "\n]\n");
}

}  // namespace qmx::tools
