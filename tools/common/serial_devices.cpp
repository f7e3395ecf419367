#include "serial_devices.h"

#include "json_string.h"

#include <cctype>
#include <cstdio>

namespace qmx::tools {
namespace {

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// "USB 0403:6001 FTDI FT232R USB UART, serial A10K7QZ1".
std::string UsbIdentity(const TSerialDevice& device) {
    std::string text = "USB " + device.UsbVid + ":" + device.UsbPid;
    for (const std::string* part : {&device.Manufacturer, &device.Product})
        if (!part->empty()) text += " " + *part;
    if (!device.SerialNumber.empty()) text += ", serial " + device.SerialNumber;
    return text;
}

}  // namespace

bool NaturallyBefore(const std::string& a, const std::string& b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            // Leading zeros aside, a longer run is the larger number.
            std::size_t endA = i, endB = j;
            while (endA < a.size() && IsDigit(a[endA])) ++endA;
            while (endB < b.size() && IsDigit(b[endB])) ++endB;
            std::size_t startA = i, startB = j;
            while (startA + 1 < endA && a[startA] == '0') ++startA;
            while (startB + 1 < endB && b[startB] == '0') ++startB;
            const std::string numberA = a.substr(startA, endA - startA), numberB = b.substr(startB, endB - startB);
            if (numberA.size() != numberB.size()) return numberA.size() < numberB.size();
            if (numberA != numberB) return numberA < numberB;
            i = endA;
            j = endB;
            continue;
        }
        if (a[i] != b[j]) return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j || (a.size() - i == b.size() - j && a < b);
}

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
