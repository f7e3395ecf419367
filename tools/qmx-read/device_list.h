#pragma once

// The serial devices --list shows.

#include <string>
#include <vector>

#include "serial/serial_devices.h"

namespace qmx::tools {

// For people: a header over the columns, a line a device, and under it
// lines with a USB adapter's identity and udev's names for it. With no
// device, a line saying so; when `filtered`, the header alone (nothing
// matched).
std::string FormatDeviceList(const std::vector<TSerialDevice>& devices, bool filtered = false);
// For programs: a JSON array of objects, one a device.
std::string FormatDeviceListJson(const std::vector<TSerialDevice>& devices);

}  // namespace qmx::tools
