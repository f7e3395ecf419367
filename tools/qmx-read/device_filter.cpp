#include "device_filter.h"

#include <algorithm>
#include <cctype>

namespace qmx::tools {
namespace {

bool IsHexId(const std::string& text) {
    return text.size() == 4 &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isxdigit(c) != 0; });
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

std::string HardwareId(const TSerialDevice& device) {
    if (device.UsbVid.empty()) return {};
    std::string id = "USB VID:PID=" + device.UsbVid + ":" + device.UsbPid;
    if (!device.SerialNumber.empty()) id += " SER=" + device.SerialNumber;
    if (!device.Location.empty()) id += " LOCATION=" + device.Location;
    return id;
}

std::optional<TDeviceFilter> TDeviceFilter::Parse(const std::string& pattern, std::string& problem) {
    TDeviceFilter filter;
    const auto colon = pattern.find(':');
    if (colon == 4 && IsHexId(pattern.substr(0, 4)) &&
        (pattern.size() == 5 || (pattern.size() == 9 && IsHexId(pattern.substr(5))))) {
        filter.FVid = Lower(pattern.substr(0, 4));
        filter.FPid = Lower(pattern.substr(5));
        return filter;
    }
    try {
        filter.FExpression.emplace(pattern, std::regex::ECMAScript | std::regex::icase);
    } catch (const std::regex_error& error) {
        problem = "--match takes VID:PID (like 0403:6001) or a regular expression; '" + pattern +
                  "' is neither: " + error.what();
        return std::nullopt;
    }
    return filter;
}

bool TDeviceFilter::Matches(const TSerialDevice& device) const {
    if (!FExpression) {
        return !device.UsbVid.empty() && Lower(device.UsbVid) == FVid &&
               (FPid.empty() || Lower(device.UsbPid) == FPid);
    }
    std::string description = device.Manufacturer;
    if (!device.Product.empty()) description += (description.empty() ? "" : " ") + device.Product;
    for (const std::string& text : {device.Path, device.ById, device.ByPath, description, HardwareId(device)})
        if (!text.empty() && std::regex_search(text, *FExpression)) return true;
    return false;
}

std::vector<TSerialDevice> TDeviceFilter::Keep(const std::vector<TSerialDevice>& devices) const {
    std::vector<TSerialDevice> kept;
    std::copy_if(devices.begin(), devices.end(), std::back_inserter(kept),
                 [this](const TSerialDevice& device) { return Matches(device); });
    return kept;
}

}  // namespace qmx::tools
