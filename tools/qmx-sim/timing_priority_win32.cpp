#include "timing_priority.h"

namespace qmx::sim {

// Windows gives a new thread normal priority whatever its creator's, and
// the replay's timing is held to its figures on Linux: the simulator there
// runs as it is.
bool RaiseTimingPriority() { return false; }

}  // namespace qmx::sim
