#include "timing_priority.h"

#include <sched.h>

namespace qmx::sim {

bool RaiseTimingPriority() {
    // The lowest real-time priority is above every process of normal
    // priority, which is all it needs; the kernel's own real-time threads
    // stay above it.
    sched_param lowest{};
    lowest.sched_priority = ::sched_get_priority_min(SCHED_FIFO);
    return ::sched_setscheduler(0, SCHED_FIFO | SCHED_RESET_ON_FORK, &lowest) == 0;
}

}  // namespace qmx::sim
