#pragma once

// A COM port the monitor listens on through the comm layer, as Windows
// gives it: opened for reading only, set to the gauge's 9600 baud 7E1 and
// nothing else.

#include <memory>
#include <string>

#include "monitor_line.h"
#include "serial/comm_api.h"

namespace qmx::tools {

// `path` as CreateFileA takes it (\\.\COM12). Nothing, with the reason,
// when it cannot be opened or set up. `comm` outlives the line.
std::unique_ptr<TMonitorLine> OpenComMonitorLine(TCommApi& comm, const std::string& path, std::string& problem);

}  // namespace qmx::tools
