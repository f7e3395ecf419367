#include "stop_signals.h"

#include <windows.h>

#include <csignal>
#include <cstdio>

namespace qmx::sim {
namespace {

volatile std::sig_atomic_t gStop = 0;
void OnSignal(int) { gStop = 1; }

}  // namespace

// The C runtime takes Ctrl+C and Ctrl+Break on a thread of its own, and
// sets the flag the waits below look at.
void WatchForStops() {
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
}

bool StopRequested() { return gStop != 0; }

TStopsHeldOff::TStopsHeldOff() = default;
TStopsHeldOff::~TStopsHeldOff() = default;

bool SayUnlessStopped(const std::string& line) {
    if (gStop) return false;
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    return !gStop;
}

void AwaitStop() {
    while (!gStop) Sleep(100);
}

}  // namespace qmx::sim
