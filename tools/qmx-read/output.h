#pragma once

// The reader's output as it goes: the opening lines, a row as each tank is
// read, the closing lines; all under one lock, so that a signal handled on
// another thread can close the output between two rows and leave it whole
// (valid JSON included). Every write is flushed and checked. A stop does
// not wait long for the lock: a row blocked on an output nobody reads
// holds it.

#include <atomic>
#include <cstdio>
#include <string>

#include "platform/recursive_lock.h"
#include "reading.h"

namespace qmx::tools {

enum class TFormat { Table, Json, Csv };

class TOutput {
public:
    // Timed output goes on round after round: each row carries its time,
    // and JSON is one object a line rather than one array.
    // With `inventory`, rows have a tank file's columns.
    TOutput(std::FILE* out, TFormat format, bool timed = false, bool inventory = false)
        : FOut(out), FFormat(format), FTimed(timed), FInventory(inventory) {}

    // Each false when the output could not be written (a full disk).
    bool Begin();
    bool Row(const TTankReading& reading, const TInventory* inventory = nullptr);
    bool End();
    // Without the lock, for a stop.
    std::size_t Rows() const { return FRows; }
    // The error of the write that failed (errno), 0 before one did.
    int Error() const { return FError; }

    // Closes the output for good from any thread (rows after it are not
    // written) and says why on standard error. Waits at most `patience`
    // milliseconds for a row being written; without the closing lines
    // after that.
    void Interrupt(const std::string& why, unsigned patience = 250);

    // The progress line, and a note on a line of its own, on standard
    // error, under the same lock.
    void Progress(const std::string& line);
    void Note(const std::string& line);

private:
    bool BeginLocked();
    bool EndLocked();
    bool Write(const std::string& text);
    void ClearProgressLocked();

    TRecursiveLock FLock;
    std::FILE* const FOut;
    const TFormat FFormat;
    const bool FTimed;
    const bool FInventory;
    bool FBegun = false;
    bool FEnded = false;
    int FProgressWidth = 0;  // of the progress line shown, 0 when none is
    std::atomic<std::size_t> FRows{0};
    std::atomic<int> FError{0};
};

}  // namespace qmx::tools
