#pragma once

// SIGINT and SIGTERM (Ctrl+C, a service manager's stop) end the simulator
// cleanly, its link removed, however soon after the start they come. On
// Linux they are taken by the main thread alone, and only where it waits
// for them or writes: a stop that another thread took, or that came just
// before the main thread began to wait, would otherwise go unnoticed until a
// second one came.

#include <string>

namespace qmx::sim {

// First thing in main: the handlers, before anything is written, so that a
// write blocked on an output nobody reads is broken off by a stop rather
// than taken up again.
void WatchForStops();

bool StopRequested();

// While one lives, threads started by this one never take a stop.
class TStopsHeldOff {
public:
    TStopsHeldOff();
    ~TStopsHeldOff();
    TStopsHeldOff(const TStopsHeldOff&) = delete;
    TStopsHeldOff& operator=(const TStopsHeldOff&) = delete;

private:
    bool FHeld = false;
};

// Writes `line` and a new line on standard output, unless a stop comes
// first (then false), even while the output takes nothing.
bool SayUnlessStopped(const std::string& line);

// Returns once a stop has come (at once when one came before).
void AwaitStop();

}  // namespace qmx::sim
