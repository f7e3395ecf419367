#pragma once

// qmx-read's command line, taken strictly: what the usage does not show is
// refused, so that a typing error cannot read another port or other tanks.

#include <string>
#include <variant>
#include <vector>

#include "output.h"

namespace qmx::tools {

struct TOptions {
    int Com = 0;          // COMn, 0 when a device path is given
    std::string Device;   // the device path, empty with --com
    std::vector<int> Tanks;
    TFormat Format = TFormat::Table;
    std::string Trace;    // empty: no trace
    bool Quiet = false;
    bool Help = false;
};

// The options, or what is wrong with them (a line for the user).
std::variant<TOptions, std::string> ParseOptions(const std::vector<std::string>& arguments);

}  // namespace qmx::tools
