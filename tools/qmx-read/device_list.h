#pragma once

// The serial devices --list shows.

#include <string>
#include <vector>

#include "serial/serial_devices.h"

namespace qmx::tools {

// For people: a line a device, and for a USB adapter a second line with
// its identity; a line saying so when there is none.
std::string FormatDeviceList(const std::vector<TSerialDevice>& devices);
// For programs: a JSON array of objects, one a device.
std::string FormatDeviceListJson(const std::vector<TSerialDevice>& devices);

}  // namespace qmx::tools
