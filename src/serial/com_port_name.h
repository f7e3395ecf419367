#pragma once

// COM ports by the names Windows gives them: COM12, and \\.\COM12, the
// name that opens any COM port.

#include <string>

namespace qmx {

// The highest COM port a connection type reaches (255 is COM253).
constexpr int kHighestComPort = 253;

// "\\.\COM12" or "COM12" (any case) into 12; 0 for any other name.
int ComPortNumberOf(const std::string& name);

// "\\.\COM12" for 12.
std::string ComPortPath(int number);

}  // namespace qmx
