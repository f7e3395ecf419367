#pragma once

// What the reader does differently on Linux and on Windows: how it learns of
// an interrupt, which device the driver is to open, and how it checks that
// device before the driver tries.

#include <chrono>
#include <cstdio>
#include <string>

#include "chosen_device.h"
#include "options.h"

namespace qmx::tools {

// Before any other thread starts. A write to a pipe whose reader has gone
// fails from then on rather than end the reader: a trace FIFO's reader may
// leave while the reading goes on.
void PrepareForStops();

// Calls `stop` with the exit status, once, when the reader is interrupted
// (Ctrl-C or SIGINT: 130; SIGTERM, or the console closing: 143), on a
// thread of its own. `stop` does not return.
void WatchForStops(void (*stop)(int status));

bool IsTerminal(std::FILE* stream);

// Ends the reader as the broken pipe's signal does, when standard output's
// reader has gone (`qmx-read | head -1`), as Unix tools end in a pipeline;
// returns where there is no such signal.
void EndAsBrokenPipe();

// The device the options name, checked; false with the problem otherwise.
bool ChooseDevice(const TOptions& options, TChosenDevice& device, std::string& problem);

void PauseFor(std::chrono::milliseconds time);

}  // namespace qmx::tools
