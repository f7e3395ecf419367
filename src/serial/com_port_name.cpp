#include "serial/com_port_name.h"

#include <cctype>

#include "platform/whole_number.h"

namespace qmx {
namespace {

constexpr char kDevicePrefix[] = "\\\\.\\";

bool StartsWith(const std::string& text, const std::string& start) { return text.rfind(start, 0) == 0; }

}  // namespace

int ComPortNumberOf(const std::string& name) {
    std::string lower = name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (StartsWith(lower, kDevicePrefix)) lower.erase(0, sizeof kDevicePrefix - 1);
    if (!StartsWith(lower, "com")) return 0;
    return ParseWholeNumber(lower.substr(3), 1, kHighestComPort).value_or(0);
}

std::string ComPortPath(int number) { return kDevicePrefix + std::string("COM") + std::to_string(number); }

}  // namespace qmx
