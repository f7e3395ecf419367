#pragma once

// A stop that must end the program within a bound, though a thread may be
// blocked on an output nobody reads (holding that output's lock, even):
// the orderly close gets this much time, then the process ends regardless.

#include <chrono>

namespace qmx::tools {

// From now on, the process ends with `status` after `grace`, wherever its
// threads are; the first call counts.
void ExitAfter(int status, std::chrono::milliseconds grace);

}  // namespace qmx::tools
