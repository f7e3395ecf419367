#pragma once

// A replayed answer keeps its recorded time only if the thread that sends it
// runs the moment it is due. On a busy machine a thread of normal priority
// waits its turn behind the others when it wakes, for ten milliseconds and
// more beside a few processes that keep the processors busy; a real-time
// one is run at once.

namespace qmx::sim {

// Puts the calling thread, and the threads it starts from now on, at the
// lowest real-time priority (SCHED_FIFO) where that is permitted (root,
// CAP_SYS_NICE, or a real-time limit in ulimit -r); a process it starts
// runs at normal priority. True when done; when not permitted nothing
// changes, and the timing is what the machine gives.
bool RaiseTimingPriority();

}  // namespace qmx::sim
