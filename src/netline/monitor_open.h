#pragma once

// A line to listen on, opened by the name a user gives it.

#include <memory>
#include <string>

#include "serial/monitor_line.h"

namespace qmx::net {

// The line `name` gives: a path, or socket://HOST:PORT; on Windows COMn or
// \\.\COMn. Nothing, with the reason, when it cannot be opened or set up.
std::unique_ptr<TMonitorLine> OpenMonitorLine(const std::string& name, std::string& problem);

}  // namespace qmx::net
