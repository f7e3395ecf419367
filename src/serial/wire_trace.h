#pragma once

// A timestamped hex and ASCII trace of the bytes on a line, both ways, for
// the technician who has to see what the gauge said.
//
//   2026-12-08 09:14:03.120 >  02 4C 30 35 03 48                       .L05.H
//   2026-12-08 09:14:03.180 <  02 4C 30 35 30 30 ...                   .L0500...

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/recursive_lock.h"

namespace qmx {

class TWireTrace {
public:
    enum class TDirection { Sent, Received };

    // Appends to the file at `path`; "-" is standard error. False when the
    // file cannot be opened.
    bool Open(const std::string& path);
    ~TWireTrace();

    void Log(TDirection direction, const void* data, std::size_t count);
    bool IsOpen() const { return FFile != nullptr; }

    // One line of the trace, without the time stamp (for tests).
    static std::string Format(TDirection direction, const std::uint8_t* data, std::size_t count);

private:
    TRecursiveLock FLock;
    std::FILE* FFile = nullptr;
    bool FOwned = false;
};

}  // namespace qmx
