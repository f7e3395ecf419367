#include "serial/wire_trace.h"

#include <chrono>
#include <cstdio>

#include "platform/environment.h"
#include "platform/time_stamp.h"

namespace qmx {

std::string ConfiguredTracePath() { return EnvironmentValue("QMX_TRACE"); }

TWireTrace::~TWireTrace() { Flush(); }

bool TWireTrace::Open(const std::string& path, std::string* problem) {
    TLockGuard guard(FLock);
    // A trace that stopped stays stopped, though the port opens again.
    if (FStopped) return false;
    std::string reason;
    if (!FFile.Open(path, reason)) {
        if (problem != nullptr) *problem = reason;
        return false;
    }
    FPath = path;
    return true;
}

bool TWireTrace::IsOpen() {
    TLockGuard guard(FLock);
    return FFile.IsOpen();
}

// Under the lock. A trace that fails is closed for good, and said once;
// on standard error only when it is not standard error itself that failed.
void TWireTrace::Put(const std::string& text) {
    std::string problem;
    if (!FFile.IsOpen() || FFile.Write(text, problem)) return;
    const bool onStandardError = FFile.IsStandardError();
    FFile.Close();
    FStopped = true;
    if (onStandardError) return;
    TAppendFile standardError;
    std::string ignored;
    if (standardError.Open("-", ignored))
        standardError.Write(ProgramName() + ": the trace to " + FPath + " stopped: " + problem + "\n", ignored);
}

// The wall clock's time, which a person reads, with its offset from UTC;
// then the steady clock's milliseconds since the section began, which no
// step of the wall clock nor change of summer time moves, for what reads
// the trace back. A step of the wall clock (an NTP step, the clock set by
// hand) is still noted as it is seen, for the person.
TTraceStamp TWireTrace::CheckedStamp(std::chrono::steady_clock::time_point steady) {
    const auto wall = std::chrono::system_clock::now();
    const auto stepped = std::chrono::duration_cast<std::chrono::milliseconds>((wall - FWallBase) - (steady - FSteadyBase));
    if (!FSectionBegun) {
        FSectionStart = steady;
        FSectionBegun = true;
    }
    const TTraceStamp stamp{TimeStamp(wall, TTimeZone::LocalWithOffset),
                            std::chrono::duration_cast<std::chrono::milliseconds>(steady - FSectionStart).count()};
    if (FClocksTaken && (stepped >= kClockStepNoted || stepped <= -kClockStepNoted)) {
        char note[96];
        std::snprintf(note, sizeof note, " # %s%+.3f s\n", kClockSteppedNote,
                      static_cast<double>(stepped.count()) / 1000.0);
        Put(stamp.Wall + SectionSeconds(stamp.SectionMs) + note);
    }
    FWallBase = wall;
    FSteadyBase = steady;
    FClocksTaken = true;
    return stamp;
}

void TWireTrace::Section(const std::string& header) {
    TLockGuard guard(FLock);
    if (!FFile.IsOpen()) return;
    FBurst.Flush(FPutLine);
    FClocksTaken = false;  // a new section, a new reckoning
    FSectionBegun = false;
    const TTraceStamp stamp = CheckedStamp(std::chrono::steady_clock::now());
    Put("\n=== " + stamp.Wall + SectionSeconds(stamp.SectionMs) + " " + header + "\n");
}

// A note comes after the bytes before it: an attempt's verdict right
// after its answer.
void TWireTrace::Note(const std::string& text) {
    TLockGuard guard(FLock);
    if (!FFile.IsOpen()) return;
    FBurst.Flush(FPutLine);
    const TTraceStamp stamp = CheckedStamp(std::chrono::steady_clock::now());
    Put(stamp.Wall + SectionSeconds(stamp.SectionMs) + " # " + text + "\n");
}

void TWireTrace::Flush() {
    TLockGuard guard(FLock);
    FBurst.Flush(FPutLine);
}

void TWireTrace::FlushEnded() {
    TLockGuard guard(FLock);
    FBurst.FlushEnded(std::chrono::steady_clock::now(), FPutLine);
}

void TWireTrace::Log(TDirection direction, const void* data, std::size_t count) {
    if (count == 0) return;
    TLockGuard guard(FLock);
    // Nothing made, not even the stamp, when there is no trace: every
    // byte on the line passes here.
    if (!FFile.IsOpen()) return;
    const auto at = std::chrono::steady_clock::now();
    FBurst.Take(direction, static_cast<const std::uint8_t*>(data), count, at, [this, at] { return CheckedStamp(at); },
                FPutLine);
}

}  // namespace qmx
