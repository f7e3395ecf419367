#include "serial/wire_trace.h"

#include <chrono>
#include <cstdio>

#include "platform/environment.h"
#include "platform/time_stamp.h"

namespace qmx {
namespace {

constexpr std::size_t kBytesPerLine = 16;

}  // namespace

std::string ConfiguredTracePath() { return EnvironmentValue("QMX_TRACE"); }

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

std::string TWireTrace::Format(TDirection direction, const std::uint8_t* data, std::size_t count) {
    std::string hex, ascii;
    for (std::size_t i = 0; i < count; ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02X ", data[i]);
        hex += byte;
        ascii += (data[i] >= 0x20 && data[i] < 0x7F) ? static_cast<char>(data[i]) : '.';
    }
    hex.resize(kBytesPerLine * 3, ' ');
    return std::string(direction == TDirection::Sent ? "> " : "< ") + hex + " " + ascii;
}

// The wall clock's time, which a person reads, with its offset from UTC;
// then the steady clock's seconds since the section began, which no step
// of the wall clock nor change of summer time moves, for what reads the
// trace back. A step of the wall clock (an NTP step, the clock set by
// hand) is still noted as it is seen, for the person.
std::string TWireTrace::CheckedStamp() {
    const auto wall = std::chrono::system_clock::now();
    const auto steady = std::chrono::steady_clock::now();
    const auto stepped = std::chrono::duration_cast<std::chrono::milliseconds>((wall - FWallBase) - (steady - FSteadyBase));
    if (!FSectionBegun) {
        FSectionStart = steady;
        FSectionBegun = true;
    }
    const long long sinceStart = std::chrono::duration_cast<std::chrono::milliseconds>(steady - FSectionStart).count();
    char monotonic[32];
    std::snprintf(monotonic, sizeof monotonic, " [%lld.%03lld]", sinceStart / 1000, sinceStart % 1000);
    const std::string stamp = TimeStamp(wall, TTimeZone::LocalWithOffset) + monotonic;
    if (FClocksTaken && (stepped >= kClockStepNoted || stepped <= -kClockStepNoted)) {
        char note[96];
        std::snprintf(note, sizeof note, " # %s%+.3f s\n", kClockSteppedNote,
                      static_cast<double>(stepped.count()) / 1000.0);
        Put(stamp + note);
    }
    FWallBase = wall;
    FSteadyBase = steady;
    FClocksTaken = true;
    return stamp;
}

void TWireTrace::Section(const std::string& header) {
    TLockGuard guard(FLock);
    if (!FFile.IsOpen()) return;
    FClocksTaken = false;  // a new section, a new reckoning
    FSectionBegun = false;
    Put("\n=== " + CheckedStamp() + " " + header + "\n");
}

void TWireTrace::Note(const std::string& text) {
    TLockGuard guard(FLock);
    if (FFile.IsOpen()) Put(CheckedStamp() + " # " + text + "\n");
}

void TWireTrace::Log(TDirection direction, const void* data, std::size_t count) {
    if (count == 0) return;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    TLockGuard guard(FLock);
    // Nothing made, not even the stamp, when there is no trace: every
    // byte on the line passes here.
    if (!FFile.IsOpen()) return;
    const std::string stamp = CheckedStamp();
    std::string lines;
    for (std::size_t at = 0; at < count; at += kBytesPerLine) {
        const std::size_t n = count - at < kBytesPerLine ? count - at : kBytesPerLine;
        lines += stamp + " " + Format(direction, bytes + at, n) + "\n";
    }
    Put(lines);
}

}  // namespace qmx
