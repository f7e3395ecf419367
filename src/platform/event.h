#pragma once

// An event as Win32 has them: set, reset, and waited for with a time limit;
// a wait that finds an auto-reset event set clears it, a manual-reset one
// stays set until reset. The serial port's workers wait on these, and its
// overlapped records carry them for the device to set.

#include <cstdint>

#ifndef _WIN32
#include <condition_variable>
#include <mutex>
#endif

namespace qmx {

// The time limit of a wait that has none.
constexpr std::uint32_t kWaitForever = 0xFFFFFFFF;

class TEvent {
public:
    enum class TReset { Auto, Manual };

    TEvent() = default;
    ~TEvent() { Close(); }
    TEvent(const TEvent&) = delete;
    TEvent& operator=(const TEvent&) = delete;

    // Makes the event, not set; false when the system has none to give.
    bool Create(TReset reset);
    void Close();

    void Set();
    void Reset();
    // True when the event was set within `milliseconds` (kWaitForever: no
    // limit).
    bool Wait(std::uint32_t milliseconds);

    // What an overlapped record carries for the device to set when its
    // operation completes: the system's event on Windows; on POSIX, where
    // every device call completes at once and none sets it, the event
    // itself.
    void* Handle();

private:
#ifdef _WIN32
    void* FHandle = nullptr;
#else
    std::mutex FMutex;
    std::condition_variable FChanged;
    bool FManualReset = false;
    bool FSignalled = false;
#endif
};

}  // namespace qmx
