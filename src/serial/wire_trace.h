#pragma once

// A timestamped hex and ASCII trace of the bytes on a line, both ways, for
// the technician who has to see what the gauge said.
//
//   === 2026-12-08 09:14:03.100+02:00 [0.000] COM1, 9600 baud 7E1, RTS low; > sent by this program, < received by it
//   2026-12-08 09:14:03.120+02:00 [0.020] > 02 4C 30 35 03 48                       .L05.H
//   2026-12-08 09:14:03.180+02:00 [0.080+0.041] < 02 4C 30 35 30 30 30 30 ... 30 30 03 7E  .L050000...00.~
//   2026-12-08 09:14:04.121+02:00 [1.021] # attempt 1 of 3 (L05): 43 bytes from the STX, accepted
//   2026-12-08 10:14:04.500+02:00 [1.400] # the clock stepped by +3600.000 s
//
// The stamps are local wall-clock time with its offset from UTC, then in
// brackets the seconds since the section's header on the steady clock,
// which neither a step of the clock nor the end of summer time moves: the
// time between two lines is always known. A step of the wall clock of
// 100 ms or more is also noted where it is first seen, with its size.
//
// A line holds a burst (serial/trace_burst.h; the answer above, 43 bytes,
// is shortened): the bytes one way with no pause longer than kBurstGap,
// however many reads brought them, stamped when the first came; one that
// took time has its span after a "+", from its first bytes to its last. A
// burst is written once it has ended: when bytes go the other way, after
// the pause, before a note or a section, when asked (Flush, FlushEnded)
// and when the trace goes.
//
// Every run appends a section of its own, opened by its header line. The
// trace never holds up the line: a trace file that cannot be written (its
// reader gone, a full disk, a reader that takes nothing) is said once on
// standard error, and tracing stops while the program goes on.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/append_file.h"
#include "platform/recursive_lock.h"
#include "serial/trace_burst.h"

namespace qmx {

// The note of a clock step, then its size: "+3600.000 s".
inline constexpr char kClockSteppedNote[] = "the clock stepped by ";
inline constexpr std::chrono::milliseconds kClockStepNoted{100};

// The trace the environment's QMX_TRACE names, empty for none: how one asks
// a program, or a host that passes the library no arguments, for one (the
// library in a host also takes cnf.ini's, see driver/config_file.h).
std::string ConfiguredTracePath();

class TWireTrace {
public:
    using TDirection = TTraceDirection;

    TWireTrace() = default;
    // The burst still gathered is written.
    ~TWireTrace();
    TWireTrace(const TWireTrace&) = delete;
    TWireTrace& operator=(const TWireTrace&) = delete;

    // Appends to the file at `path`; "-" is standard error. False when the
    // file cannot be opened, with the reason in `problem` when given (a
    // FIFO with no reader is refused at once rather than waited on).
    bool Open(const std::string& path, std::string* problem = nullptr);

    void Log(TDirection direction, const void* data, std::size_t count);
    // The line that opens a run's section: the time, then `header` (the
    // device, its settings, what > and < mean), after an empty line.
    void Section(const std::string& header);
    // A line of the trace's own, such as an attempt's verdict.
    void Note(const std::string& text);
    // Writes the burst gathered so far now: for a port that closes.
    void Flush();
    // Writes it once it has ended (the line quiet longer than kBurstGap):
    // for a program that wakes now and then and would otherwise hold the
    // line's last burst until the next bytes come.
    void FlushEnded();
    bool IsOpen();

private:
    void Put(const std::string& text);
    // Under the lock, with the file open: the stamp for `steady` (now),
    // after the note of a step of the clock when there was one.
    TTraceStamp CheckedStamp(std::chrono::steady_clock::time_point steady);

    TRecursiveLock FLock;
    TTraceBurst FBurst;
    // Put, as the burst writes its lines (under the lock).
    const TTraceBurst::TWrite FPutLine = [this](const std::string& line) { Put(line); };
    TAppendFile FFile;
    std::string FPath;
    bool FStopped = false;
    // The two clocks read together, when the last stamp was made: a step
    // is seen between two stamps.
    bool FClocksTaken = false;
    std::chrono::system_clock::time_point FWallBase;
    std::chrono::steady_clock::time_point FSteadyBase;
    // When the section began, on the steady clock: the bracketed seconds.
    bool FSectionBegun = false;
    std::chrono::steady_clock::time_point FSectionStart;
};

}  // namespace qmx
