#pragma once

// poll with a wait finer than poll's own millisecond: a character at 9600
// baud is about one, and a replayed answer keeps its recorded time to one.

#include <poll.h>

#include <chrono>

#include "sim_line.h"

namespace qmx::sim {

// ppoll on `fds` for at most `longest` (kUntilBytes: no bound); what ppoll
// returns.
int PollFor(pollfd* fds, nfds_t count, std::chrono::microseconds longest);

}  // namespace qmx::sim
