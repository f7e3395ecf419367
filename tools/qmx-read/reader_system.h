#pragma once

// What the reader does differently on Linux and on Windows: how it learns of
// an interrupt or of its output's reader gone, and how it pauses.

#include <chrono>
#include <cstdio>
#include <string>

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

// Whether `path` names the regular file standard output writes to (a
// trace to /dev/stdout with the rows redirected to a file): two writers at
// offsets of their own would write over each other's lines. A terminal or
// a pipe takes both in turn.
bool SharesStandardOutput(const std::string& path);

// Ends the reader as the broken pipe's signal does, when standard output's
// reader has gone (`qmx-read | head -1`), as Unix tools end in a pipeline;
// returns where there is no such signal.
void EndAsBrokenPipe();

void PauseFor(std::chrono::milliseconds time);

}  // namespace qmx::tools
