#pragma once

// A COM port a monitor listens on through the comm layer, as Windows
// gives it: opened for reading only, set to the gauge's rate and frame and
// nothing else.

#include <memory>
#include <string>

#include "serial/comm_api.h"
#include "serial/monitor_line.h"

namespace qmx {

// `path` as CreateFileA takes it (\\.\COM12). Nothing, with the reason,
// when it cannot be opened or set up. `comm` outlives the line.
std::unique_ptr<TMonitorLine> OpenComMonitorLine(TCommApi& comm, const std::string& path, std::string& problem);

}  // namespace qmx
