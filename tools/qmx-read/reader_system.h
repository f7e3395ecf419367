#pragma once

// What the reader does differently on Linux and on Windows: how it learns of
// an interrupt, which device the driver is to open, and how it checks that
// device before the driver tries.

#include <chrono>
#include <cstdio>
#include <string>

#include "options.h"

namespace qmx::tools {

// Before any other thread starts.
void PrepareForStops();

// Calls `stop` with the exit status, once, when the reader is interrupted
// (Ctrl-C or SIGINT: 130; SIGTERM, or the console closing: 143), on a
// thread of its own. `stop` does not return.
void WatchForStops(void (*stop)(int status));

bool IsTerminal(std::FILE* stream);

struct TChosenDevice {
    int Com = 0;       // what the driver opens
    std::string Name;  // for messages
};

// The device the options name, checked; false with the problem otherwise.
bool ChooseDevice(const TOptions& options, TChosenDevice& device, std::string& problem);

void PauseFor(std::chrono::milliseconds time);

// Turns on the driver's own trace of every byte, into `path`.
void TraceDriverTo(const std::string& path);

}  // namespace qmx::tools
