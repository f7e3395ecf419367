#pragma once

#include <string>

namespace qmx {

// `value` for a reason people read: six significant digits, no trailing
// zeros ("1001.19", "29000").
std::string NumberText(double value);

}  // namespace qmx
