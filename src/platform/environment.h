#pragma once

// A process environment variable, read the way the system keeps it: on
// Windows a tool that sets one with SetEnvironmentVariable after start-up
// is seen (the C runtime's copy would not show it).

#include <string>

namespace qmx {

// The value, empty when the variable is not set.
std::string EnvironmentValue(const char* name);

// The running program's name without directory or extension ("qmx-read"),
// for the messages the library says on standard error.
std::string ProgramName();

}  // namespace qmx
